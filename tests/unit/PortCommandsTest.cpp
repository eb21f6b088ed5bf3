// The editing commands that depend on the number of output ports, run on a
// sequencer with exactly the ports each case needs.

#include "TestShell.h"

namespace {

class PortCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        mSequencer.SetScale(1, 4);
        mSequencer.AddTrack(KRVTrack());
        mSequencer.SelectAll();
    }
    void AddPorts(int inCount) {
        for (int i = 0; i < inCount; i++) {
            mSequencer.AddPort(mClient.MakeOutputPort("out"));
        }
    }
    std::string Run(std::string inInput) { return RunShell(mSequencer, inInput); }
    const KRVEvent& Event(int inStep1) const { return mSequencer.GetEvent(1, inStep1); }

    MIDICLClient mClient{"test", "none"};
    KRVSequencer mSequencer;
};

TEST_F(PortCommandsTest, SetPortTakesOnlyPortsThatExist) {
    AddPorts(2);
    EXPECT_EQ(Run("setport 1\n"), "set port 1 on 4 selections\n");
    EXPECT_EQ(Event(4).GetPort(), 1);
    EXPECT_EQ(Run("setport 2\nsetport -1\n"), "bad port number\nbad port number\n");
    EXPECT_EQ(Event(4).GetPort(), 1);
    // A word with no number is port 0.
    EXPECT_EQ(Run("setport x\n"), "set port 0 on 4 selections\n");
    EXPECT_EQ(Event(4).GetPort(), 0);
}

TEST_F(PortCommandsTest, ChannelNamesCarryTheirPort) {
    AddPorts(2);
    mSequencer.SetChannelName(1, 10, "drums");
    EXPECT_EQ(Run("setchannel drums\n"), "set port/channel drums on 4 selections\n");
    EXPECT_EQ(Event(1).GetPort(), 1);
    EXPECT_EQ(Event(1).GetChannel(), 10);

    // A number matches its channel on any port and keeps the port.
    mSequencer.UnSelectEvent(1, 2);
    mSequencer.SetPort(1, 3, 0);
    EXPECT_EQ(Run("changechannel 10 2\n"), "changed channel on 3 selections\n");
    EXPECT_EQ(Event(1).GetChannel(), 2);
    EXPECT_EQ(Event(2).GetChannel(), 10);
    EXPECT_EQ(Event(3).GetChannel(), 2);
    EXPECT_EQ(Event(3).GetPort(), 0);

    // A name on the from side matches its port only; on the to side it moves
    // the event to its port.
    mSequencer.SetChannelName(0, 2, "bass");
    mSequencer.SelectAll();
    EXPECT_EQ(Run("changechannel bass drums\n"), "changed channel on 4 selections\n");
    EXPECT_EQ(Event(1).GetChannel(), 2);  // port 1, not bass
    EXPECT_EQ(Event(3).GetPort(), 1);
    EXPECT_EQ(Event(3).GetChannel(), 10);
}

TEST_F(PortCommandsTest, RandomPortDrawsWithinThePorts) {
    EXPECT_EQ(Run("randomport\nrandomport 0 0\n"), "");
    AddPorts(2);
    EXPECT_EQ(Run("randomport 1\nrandomport 2\nrandomport 0 2\nrandomport 0 -1\n"),
              "base + range must be 0-1\nbase must be 0-1\nrange must be 0-1\nrange must be 0-1\n");
    EXPECT_EQ(Run("randomport 1 0\n"),
              "randomised port on 4 selections\nbase port 1 range 0 ports\n");
    EXPECT_EQ(Event(1).GetPort() + Event(4).GetPort(), 2);
    EXPECT_EQ(Run("randomport\n"), "randomised port on 4 selections\nbase port 0 range 1 ports\n");
}

}  // namespace
