// The editing commands that depend on the number of output ports, run in
// turn on one track of four steps, all selected, with no port and then two.

#include "KRVDestinations.h"
#include "TestShell.h"

namespace {

// The steps of track 1 as "port/channel".
std::string Steps(const KRVSequencer& inSequencer) {
    std::vector<std::string> steps;
    for (int step1 = 1; step1 <= 4; step1++) {
        const KRVEvent& event = inSequencer.GetEvent(1, step1);
        steps.push_back(std::to_string(event.GetPort()) + "/" + std::to_string(event.GetChannel()));
    }
    return Joined(steps);
}

// A row: the ports, lines whose answers do not matter, the line, what it
// says and then the steps (nullptr: drawn at random).
TEST(PortCommands, TakeOnlyPortsThatExist) {
    const std::tuple<int, const char*, const char*, const char*, const char*> kRows[] = {
        {0, "", "randomport\nrandomport 0 0\n", "", "0/1, 0/1, 0/1, 0/1"},
        {2, "", "randomport 1\nrandomport 2\nrandomport 0 2\nrandomport 0 -1\n",
         "base + range must be 0-1\nbase must be 0-1\nrange must be 0-1\nrange must be 0-1\n",
         "0/1, 0/1, 0/1, 0/1"},
        {2, "", "randomport 1 0\n", "randomised port on 4 selections\nbase port 1 range 0 ports\n",
         "1/1, 1/1, 1/1, 1/1"},
        {2, "", "randomport\n", "randomised port on 4 selections\nbase port 0 range 1 ports\n",
         nullptr},
        {2, "", "setport 1\n", "set port 1 on 4 selections\n", "1/1, 1/1, 1/1, 1/1"},
        {2, "", "setport 2\nsetport -1\n", "bad port number\nbad port number\n",
         "1/1, 1/1, 1/1, 1/1"},
        // A word with no number is port 0.
        {2, "", "setport x\n", "set port 0 on 4 selections\n", "0/1, 0/1, 0/1, 0/1"},
        // A name carries its port.
        {2, "namechannel 1 10 drums\n", "setchannel drums\n",
         "set port/channel drums on 4 selections\n", "1/10, 1/10, 1/10, 1/10"},
        // A number matches its channel on any port and keeps the port.
        {2, "clear\nsele 1 3\nsetport 0\nselectall\nunsele 1 2\n", "changechannel 10 2\n",
         "changed channel on 3 selections\n", "1/2, 1/10, 0/2, 1/2"},
        // A name on the from side matches its port only (step 1's channel 2
        // is not bass); on the to side it moves the event to its port.
        {2, "namechannel 0 2 bass\nselectall\n", "changechannel bass drums\n",
         "changed channel on 4 selections\n", "1/2, 1/10, 1/10, 1/2"},
    };
    MIDICLClient client("test", "none");
    KRVSequencer sequencer;
    sequencer.SetScale(1, 4);
    sequencer.AddTrack(KRVTrack());
    sequencer.SelectAll();
    for (const auto& [ports, before, line, said, steps] : kRows) {
        while (sequencer.GetPortCount() < ports) {
            sequencer.AddPort(client.MakeOutputPort("out"));
        }
        RunShell(sequencer, before);
        EXPECT_EQ(RunShell(sequencer, line), said) << line;
        if (steps != nullptr) {
            EXPECT_EQ(Steps(sequencer), steps) << line;
        }
    }
}

// Another krv's dummy is no synthesizer to play to: its name alone, after
// a client's, or with the suffix a host gives a name already taken.
TEST(KRVDestinations, DummiesAreToldByName) {
    for (const char* name :
         {"KRVShell dummy destination", "KRVSequencer:KRVShell dummy destination",
          "KRVSequencer-01:KRVShell dummy destination-2"}) {
        EXPECT_TRUE(KRVDestinations::IsDummyName(name)) << name;
    }
    for (const char* name : {"a:KRVShell dummy destination-", "a:KRVShell dummy destination-2b",
                             "a:KRVShell dummy", "fluidsynth:midi_00"}) {
        EXPECT_FALSE(KRVDestinations::IsDummyName(name)) << name;
    }
}

}  // namespace
