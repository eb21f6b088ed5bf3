// Saved work comes back exactly: random sequences, built with every editing
// and random command, go through save and load (and their channel names
// through saveconfig and read, their programs through both), and the whole
// state is compared.

#include "TestShell.h"

namespace {

constexpr int kPorts = 3;

// Random command lines, arguments mostly in range and sometimes not. A
// word "LOW:HIGH" of a pattern is a number drawn from that range, TEMPO a
// tempo (whole, of many digits or tiny) and NAME a channel name.
class CommandMaker {
public:
    explicit CommandMaker(unsigned inSeed) : mRandom(inSeed) {}

    std::string Next() {
        static const char* const kPatterns[] = {
            "newtrack", "newtrack 1:6", "deletetrack 1:6", "copytrack 1:5 1:5", "mutetrack 1:5",
            "unmutetrack 1:5", "setscale 1:4 1:64", "setloop 1:66", "bpm TEMPO", "bpm TEMPO",
            "selectevent 1:5 1:64", "unselectevent 1:5 1:64", "selectstep 1:64",
            "unselectstep 1:64", "selecttrack 1:5", "unselecttrack 1:5", "setnote 0:127",
            "setvelocity 0:127", "setgatetime 0:90", "setport 0:2", "setchannel 1:16",
            "changenote 0:127 0:127", "changechannel 1:16 1:16", "fitkey 0:17", "rotate -3:5",
            // Silent steps among them: velocity and gate from 0.
            "randomvelocity 0:0 2:2", "randomgate 0:0 3:3", "randomnote 40:40 20:20",
            "randomchannel 1:1 15:15", "randomport 0:0 2:2", "namechannel 0:2 1:16 NAME",
            "program 0:2 1:16 1:128", "selectall", "clear", "invertselection", "sel4", "sel8",
            "mute", "unmute", "invertmute", "hsolo", "hunsolo", "vsolo", "vunsolo", "vary", "vary2",
            "randommute", "randomnote", "randomchannel", "randomgate", "randomport",
            "randomvelocity", "fitkey 0:17 minor", "fitkey 0:17 blues", "selectevery 1:8 1:8",
            "copysteps 1:8 4:16", "pastesteps 1:16", "clearsteps", "euclid 0:16 -3:3",
            "chance 0:100", "ratchet 1:8", "setlength 1:5", "swing 50:75", "swing 50:75 1:5", "tie",
            "untie", "legato on 1:5", "legato off 1:5", "legato on"};
        static const char* const kNames[] = {
            "Bass", "\"Lead Synth\"", "'it''s'", "drums\\ kit", "3", "03", "16", "0", "00"};
        std::istringstream words(kPatterns[Pick(std::size(kPatterns))]);
        std::string line;
        for (std::string word; words >> word;) {
            int lowest = 0, highest = 0;
            line += line.empty() ? "" : " ";
            if (std::sscanf(word.c_str(), "%d:%d", &lowest, &highest) == 2) {
                line += std::to_string(Draw(lowest, highest));
            } else if (word == "NAME") {
                line += kNames[Pick(std::size(kNames))];
            } else if (word == "TEMPO") {
                line += Tempo();
            } else {
                line += word;
            }
        }
        return line;
    }

private:
    int Draw(int inLowest, int inHighest) {
        return std::uniform_int_distribution<int>(inLowest, inHighest)(mRandom);
    }
    int Pick(std::size_t inCount) { return Draw(0, static_cast<int>(inCount) - 1); }
    std::string Tempo() {
        char text[64];
        double bpm = std::uniform_real_distribution<double>(0.0001, 400.0)(mRandom);
        std::snprintf(text, sizeof text, Pick(3) == 0 ? "%.0f" : "%.15g",
                      Pick(4) == 0 ? bpm / 1000.0 : bpm);
        return text;
    }

    std::mt19937 mRandom;
};

std::string DescribePrograms(const KRVSequencer& inSequencer) {
    std::string text;
    inSequencer.GetPrograms().ForEach([&text](int inPort, int inChannel0, int inProgram0) {
        text += "\nprogram " + std::to_string(inPort) + "/" + std::to_string(inChannel0 + 1) + " " +
                std::to_string(inProgram0);
    });
    return text;
}

// Everything a user can see or hear of the sequence, as text to diff.
std::string Describe(const KRVSequencer& inSequencer) {
    char line[256];
    std::snprintf(
        line, sizeof line, "%d bars %d steps of %d ticks, loop %d ticks, %a bpm, swing %d\n",
        inSequencer.GetBarCount(), inSequencer.GetStepCount(), inSequencer.GetTicksPerStep(),
        inSequencer.GetLoopTicks(), inSequencer.GetBPM(), inSequencer.GetSwing());
    std::string text = line;
    for (int step1 = 1; step1 <= inSequencer.GetStepCount(); step1++) {
        text += inSequencer.IsStepVSoloed(step1) ? "V" : "-";
    }
    for (int track1 = 1; track1 <= inSequencer.GetTrackCount(); track1++) {
        const KRVTrack& track = inSequencer.GetTrack(track1);
        text += "\ntrack " + std::to_string(track1) + (track.IsMuted() ? " muted" : "") +
                " swing " + std::to_string(track.GetOwnSwing()) +
                (track.IsLegato() ? " legato:" : ":");
        for (int step1 = 1; step1 <= inSequencer.GetStepCount(); step1++) {
            const KRVEvent& event = track.GetEvent(step1);
            std::snprintf(line, sizeof line, " %d/%d/%d/%d/%d/%d%%x%d~%d%s%s%s%s%s",
                          event.GetNote(), event.GetVelocity(), event.GetGateTime(),
                          event.GetChannel(), event.GetPort(), event.GetChance(),
                          event.GetRatchet(), event.GetLength(), event.IsTied() ? "T" : "",
                          event.IsMuted() ? "M" : "", event.IsHSoloed() ? "H" : "",
                          event.IsVSoloed() ? "V" : "", event.IsSelected() ? "*" : "");
            text += line;
        }
    }
    for (int port = 0; port < inSequencer.GetPortCount(); port++) {
        for (int channel = 1; channel <= 16; channel++) {
            std::string name = inSequencer.GetChannelName(port, channel);
            if (!name.empty()) {
                text += "\n" + std::to_string(port) + "/" + std::to_string(channel) + " " + name;
            }
        }
    }
    return text + DescribePrograms(inSequencer);
}

class RoundTripTest : public ScratchTest {
protected:
    void AddPorts(KRVSequencer* ioSequencer) {
        for (int port = 0; port < kPorts; port++) {
            ioSequencer->AddPort(mClient.MakeOutputPort("out"));
        }
    }

    // The heard export's bytes.
    std::string Heard(KRVSequencer& inSequencer) {
        const std::string path = mFolder + "/heard.mid";
        std::filesystem::remove(path);
        RunShell(inSequencer, "exportsmf " + path + " heard\n");
        return Read(path);
    }

    MIDICLClient mClient{"test", "none"};
};

// The cases a random walk may miss first: a tempo with every digit of a
// double (as from a MIDI file), silent steps, loops of a sequence whose
// steps do not divide its bars, whole or cut before the partial step, and
// names holding a backslash, quotes and carriage returns (one would end a
// DOS line); then random ones.
TEST_F(RoundTripTest, SequencesComeBackWhole) {
    const std::pair<const char*, int> kEdges[] = {
        {"bpm 133.33333333333334\n", 96},
        {"setscale 1 10\nnewtrack\nselectall\nsetvelocity 0\n", 96},
        {"setscale 1 7\nnewtrack\n", 96},
        {"setscale 3 40\nnewtrack\n", 288},
        {"setscale 1 10\nsetloop 11\nnewtrack\n", 90},
        {"setscale 1 10\nsetloop 12\nnewtrack\n", 96},
        {"newtrack\nselectall\nrandomvelocity 0 2\nbpm 0.001\n", 96},
        {"namechannel 0 1 'a\r'\nnamechannel 2 16 'Lead \"Synth\" \\ '\"'\"'two\r\rend'\n", 96}};
    const std::string sequence = mFolder + "/sequence.krv";
    const std::string config = mFolder + "/config.krv";
    for (std::size_t run = 0; run < std::size(kEdges) + 200; run++) {
        const bool edge = run < std::size(kEdges);
        const unsigned seed = edge ? 0 : static_cast<unsigned>(run - std::size(kEdges) + 1);
        std::string commands = edge ? kEdges[run].first : "";
        CommandMaker maker(seed);
        for (int i = 0; i < 60 && !edge; i++) {
            commands += maker.Next() + "\n";
        }
        KRVSequencer original;
        AddPorts(&original);
        RunShell(original, commands);
        if (edge) {
            ASSERT_EQ(original.GetLoopTicks(), kEdges[run].second) << commands;
        }
        std::filesystem::remove(sequence);
        std::filesystem::remove(config);
        RunShell(original, "save " + sequence + "\nsaveconfig " + config + "\n");

        KRVSequencer copy;
        AddPorts(&copy);
        // A load keeps nothing of what was there, a swing neither.
        RunShell(copy, "swing 70\nread " + config + "\nload " + sequence + "\n");
        ASSERT_EQ(Describe(copy), Describe(original)) << "seed " << seed << ":\n" << commands;
        // What was loaded saves as it was read.
        const std::string saved = Read(sequence) + Read(config);
        std::filesystem::remove(sequence);
        std::filesystem::remove(config);
        RunShell(copy, "save " + sequence + "\nsaveconfig " + config + "\n");
        ASSERT_EQ(Read(sequence) + Read(config), saved) << "seed " << seed;
        // What one loop sends, by the rules the clock plays by.
        ASSERT_EQ(Heard(copy), Heard(original)) << "seed " << seed << ":\n" << commands;
        // The sequence alone keeps the instruments too.
        KRVSequencer song;
        AddPorts(&song);
        RunShell(song, "load " + sequence + "\n");
        ASSERT_EQ(DescribePrograms(song), DescribePrograms(original)) << "seed " << seed;
    }
}

}  // namespace
