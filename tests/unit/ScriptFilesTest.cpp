// Reading scripts: how a script's text is taken, and what is said when
// reading it goes wrong.

#include "TestShell.h"
#include "console/KRVSignals.h"

namespace {

// Presses Ctrl-C when the sequence gets its inTrack1th track.
class InterruptAtTrack : public KRVSequencerListener {
public:
    explicit InterruptAtTrack(int inTrack1) : mTrack1(inTrack1) {}
    void BPMChanged(KRVSequencer*) override {}
    void ClockReset(KRVSequencer*) override {}
    void ConfigChanged(KRVSequencer*) override {}
    void EventChanged(KRVSequencer*, int, int) override {}
    void LoopChanged(KRVSequencer*) override {}
    void PortListChanged(KRVSequencer*) override {}
    void ScaleChanged(KRVSequencer*) override {}
    void Start(KRVSequencer*) override {}
    void Stop(KRVSequencer*) override {}
    void TrackChanged(KRVSequencer*, int) override {}
    void TrackDeleted(KRVSequencer*, int) override {}
    void TrackAdded(KRVSequencer*, int inTrack1) override {
        if (inTrack1 == mTrack1) {
            raise(SIGINT);
        }
    }

private:
    int mTrack1;
};

class ScriptFilesTest : public ScratchTest {
protected:
    // Runs inInput as the console would, scripts not allowed host commands.
    std::string Type(const std::string& inInput) { return RunShell(mSequencer, inInput); }

    KRVSequencer mSequencer;
};

// Scripts as editors write them: a byte-order mark before the first
// command, and a NUL byte deep in the file, which refuses its line whole,
// named, and makes the file no script to load.
TEST_F(ScriptFilesTest, ByteOrderMarksAreSkippedAndNulLinesRefused) {
    std::string script = Write("bom.krv", "\xEF\xBB\xBFnewtrack\r\nnewtrack\r\n");
    EXPECT_EQ(Type("load " + script + "\n"), "deleted sequence\nadded track 1\nadded track 2\n");
    std::string padding(5000, '\n');
    script =
        Write("nul.krv", "newtrack\n" + padding + std::string("setscale 1 8\0 9\nnewtrack\n", 24));
    EXPECT_EQ(
        Type("load " + script + "\n"),
        "'" + script + "' is not a krv script: line 5002 holds a NUL byte; nothing was deleted\n");
    EXPECT_EQ(
        Type("read " + script + "\n"),
        "added track 3\n'" + script + "' line 5002 holds a NUL byte, not run\nadded track 4\n");
    EXPECT_EQ(mSequencer.GetStepCount(), 16);
}

// A file that cannot be read whole, or holds a line no script has, runs
// nothing and deletes nothing.
TEST_F(ScriptFilesTest, LoadChecksTheFileBeforeDeletingAnything) {
    Type("newtrack\n");
    std::string prose = Write("notes.txt", "Remember to buy milk.\n\nThen call Anna.\n");
    std::string empty = Write("empty.krv", "");
    std::string mixed = Write("mixed.md", "newtrack\n\n  # Usage\nnewtrack\n");
    // A word that starts like the command foreseen after the line before.
    std::string near = Write("near.krv", "newtrack\nnewtrack\nnewtrack\nnewtracks 2\n");
    // Reading memory that is not mapped fails at once; it is no empty file.
    const std::string memory =
        "of '/proc/self/mem' failed at line 1 (Input/output error): "
        "nothing ran, the sequence is unchanged\n";
    const std::vector<std::pair<std::string, std::string>> kCases = {
        {"load " + empty, "'" + empty + "' is not a krv script\n"},
        {"load " + prose, "'" + prose +
                              "' is not a krv script: line 1 starts with 'Remember', no command; "
                              "nothing was deleted\n"},
        {"load " + mixed, "'" + mixed +
                              "' is not a krv script: line 3 starts with '#', no command; "
                              "nothing was deleted\n"},
        {"load " + near, "'" + near +
                             "' is not a krv script: line 4 starts with 'newtracks', no command; "
                             "nothing was deleted\n"},
        {"load /proc/self/mem", "load " + memory},
        {"read /proc/self/mem", "read " + memory},
    };
    for (const auto& [line, said] : kCases) {
        EXPECT_EQ(Type(line + "\n"), said);
    }
    EXPECT_EQ(mSequencer.GetTrackCount(), 1);
    // Read may take any text; load only a script.
    EXPECT_EQ(Type("read " + empty + "\nread " + prose + "\n"),
              "Remember: command not found\nThen: command not found\n");
}

// Ctrl-C stops a script between lines, and the user learns where, at every
// level of scripts reading scripts.
TEST_F(ScriptFilesTest, InterruptedScriptsSayWhereTheyStopped) {
    KRVSignals::Install();
    KRVSignals::Clear();
    InterruptAtTrack listener(3);
    mSequencer.AddListener(&listener);
    std::string inner = Write("inner.krv", "newtrack\nnewtrack\nnewtrack\nnewtrack\n");
    std::string outer = Write("outer.krv", "newtrack\nread " + inner + "\nnewtrack\n");
    std::string said = Type("load " + outer + "\n");
    KRVSignals::Clear();
    EXPECT_EQ(said, "deleted sequence\nadded track 1\nadded track 2\nadded track 3\nread of '" +
                        inner +
                        "' interrupted at line 2: the sequence holds what ran before\nload of '" +
                        outer + "' interrupted at line 2: the sequence holds what ran before\n");
    EXPECT_EQ(mSequencer.GetTrackCount(), 3);
}

}  // namespace
