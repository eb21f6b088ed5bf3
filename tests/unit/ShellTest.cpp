#include "TestShell.h"
#include "console/KRVLineLimit.h"

namespace {

// A line too long is consumed to its newline, nothing of it delivered; one
// that just fills the buffer, with or without a CR before its newline, is
// whole. A CR inside a line is kept, and one at the end of the input too.
TEST(KRVStdioInterface, ReadLineTakesLinesWholeOrNotAtAll) {
    std::string input = "play\n\n" + std::string(150, 'x') + "\nyes\nyes\r\nyess\r\nok\r" +
                        std::string(3, 'z') + "\r\nlast\r";
    FILE* in = fmemopen(input.data(), input.size(), "r");
    KRVStdioInterface interface(in, nullptr);
    const int kTooLong = KRVLineLimit::kTooLong;
    const std::tuple<int, int, const char*> kLines[] = {
        {100, 4, "play"},  {100, 0, ""},        {100, kTooLong, ""}, {4, 3, "yes"}, {4, 3, "yes"},
        {4, kTooLong, ""}, {100, 6, "ok\rzzz"}, {100, 5, "last\r"},  {100, -1, ""}};
    for (const auto& [size, length, text] : kLines) {
        char buffer[100] = {};
        EXPECT_EQ(interface.ReadLine(buffer, size), length) << text;
        EXPECT_STREQ(length > 0 ? buffer : "", text);
    }
    std::fclose(in);
}

// A script's shell writes through its reader's, however deep scripts nest.
TEST(KRVStdioInterface, WritesGoToTheEndOfTheDelegateChain) {
    MemoryOutput out;
    KRVStdioInterface console(nullptr, out.Stream());
    KRVStdioInterface middle(nullptr, nullptr);
    KRVStdioInterface script(nullptr, nullptr);
    middle.SetOutputDelegate(&console);
    script.SetOutputDelegate(&middle);
    script.Write("100% ");
    script.WriteFormattedD("%d krv> ", 7);
    script.WriteFormattedSD("[%s%d]", "c", 8);
    // Held by the console until a flush, which goes down the chain too.
    EXPECT_EQ(out.Text(), "");
    script.Flush();
    EXPECT_EQ(out.Text(), "100% 7 krv> [c8]");
}

// Channel names are cut and padded by characters, never inside one; stray
// continuation bytes count a character per four.
TEST(KRVShell, DisplayCutsChannelNamesByCharacters) {
    KRVSequencer sequencer;
    sequencer.SetScale(1, 4);
    sequencer.AddTrack(KRVTrack());
    sequencer.SetChannel(1, 2, 16);
    sequencer.SetChannel(1, 3, 10);
    sequencer.SetChannelName(0, 1, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    sequencer.SetChannelName(0, 16,
                             "\xE2\x82\xAC"
                             "1");
    sequencer.SetChannelName(0, 10, std::string(13, '\x80'));
    const std::string shown = RunShell(sequencer, "di\n");
    const std::string cells =
        "|  |C:|\xC3\xA9\xC3\xA9\xC3\xA9|\xE2\x82\xAC"
        "1 |" +
        std::string(12, '\x80') + "|";
    EXPECT_NE(shown.find(cells), std::string::npos) << shown;
}

// What a line's handler says: a later batch mode stops on the first failure.
TEST(KRVShell, ExecuteTellsSuccessFailureAndQuit) {
    KRVSequencer sequencer;
    KRVStdioInterface interface(nullptr, nullptr);
    KRVShell shell(&sequencer, &interface);
    using R = KRVCommandResult;
    EXPECT_EQ(shell.Execute(""), R::kSucceeded);
    EXPECT_EQ(shell.Execute("newtrack"), R::kSucceeded);
    for (const char* refused :
         {"bogus", "!zz", "setnote", "setnote H", "selecttrack 2", "newtrack x", "bpm 0",
          "read /no/such/file", "setscale 1 49", "selecttrack +1"}) {
        EXPECT_EQ(shell.Execute(refused), R::kFailed) << refused;
    }
    EXPECT_EQ(shell.Execute("selt 1"), R::kSucceeded);
    EXPECT_EQ(shell.Execute("!sel"), R::kSucceeded);
    EXPECT_EQ(shell.Execute("quit"), R::kQuit);
    EXPECT_EQ(sequencer.GetSelectedCount(), 16);
}

size_t CountOf(const std::string& inText, const std::string& inPart) {
    size_t count = 0;
    for (size_t at = 0; (at = inText.find(inPart, at)) != std::string::npos; at++, count++) {
    }
    return count;
}

// A script that reads itself three times would take 3^16 reads; each
// command of the console gets a budget of reads instead.
TEST(KRVShell, ScriptsReadingThemselvesStopAtTheBudget) {
    Scratch folder;
    const std::string line = "read " + folder.Path("a.krv") + "\n";
    folder.Write("a.krv", line + line + line);

    KRVSequencer sequencer;
    std::string once = RunShell(sequencer, line);
    std::string twice = RunShell(sequencer, line + line + "newtrack\n");
    std::string refusal = "over " + std::to_string(KRVShell::kMaxScriptsRead) + " scripts read";
    EXPECT_GE(CountOf(once, refusal), 1u);
    size_t nested = CountOf(once, "nested deeper");
    EXPECT_GT(nested, 0u);
    EXPECT_LE(nested, 3u * KRVShell::kMaxScriptsRead);
    // Each command of the console reads on a budget of its own; the line
    // after them runs.
    EXPECT_EQ(CountOf(twice, "nested deeper"), 2 * nested);
    EXPECT_EQ(sequencer.GetTrackCount(), 1);
}

// Every way of naming a key and scale lands the twelve notes of an octave
// on exactly the scale's notes above the right root. The expected notes are
// built from the major scale's steps: a diatonic mode is the major scale
// started from one of its degrees, and the other scales are the major or
// natural minor scale with notes raised, left out or added.
TEST(KRVShell, FitKeyNamesTheRootAndScale) {
    using Set = std::set<int>;
    const int kMajor[] = {0, 2, 4, 5, 7, 9, 11};
    const auto mode = [&kMajor](int inDegree) {
        Set notes;
        for (int step : kMajor) {
            notes.insert((step - kMajor[inDegree] + 12) % 12);
        }
        return notes;
    };
    const auto changed = [](Set inNotes, Set inOut, Set inIn) {
        for (int note : inOut) {
            inNotes.erase(note);
        }
        inNotes.insert(inIn.begin(), inIn.end());
        return inNotes;
    };
    const Set minor = mode(5);
    const Set minorPentatonic = changed(minor, {2, 8}, {});
    const std::tuple<const char*, int, Set> kCases[] = {
        {"C", 0, mode(0)},
        {"Db", 1, mode(0)},
        {"Am", 9, minor},
        {"c#M", 1, minor},
        {"Bbm", 10, minor},
        {"Cbm", 11, minor},
        {"C ionian", 0, mode(0)},
        {"F# major", 6, mode(0)},
        {"D dorian", 2, mode(1)},
        {"E PHRYGIAN", 4, mode(2)},
        {"F lydian", 5, mode(3)},
        {"G mixolydian", 7, mode(4)},
        {"A aeolian", 9, minor},
        {"Eb minor", 3, minor},
        {"B locrian", 11, mode(6)},
        {"A harmonic minor", 9, changed(minor, {10}, {11})},
        {"G melodic\\ minor", 7, changed(minor, {8, 10}, {9, 11})},
        {"C major pentatonic", 0, changed(mode(0), {5, 11}, {})},
        {"A minor pentatonic", 9, minorPentatonic},
        {"2 blues", 1, changed(minorPentatonic, {}, {6})},
    };
    std::string chromatic = "newtrack\nsetscale 1 12\n";
    for (int step = 1; step <= 12; step++) {
        chromatic += "clear\nsele 1 " + std::to_string(step) + "\nsetnote " +
                     std::to_string(59 + step) + "\n";
    }
    for (const auto& [words, root, above] : kCases) {
        KRVSequencer sequencer;
        const std::string said =
            RunShell(sequencer, chromatic + "selectall\nfitkey " + std::string(words) + "\n");
        Set expected;
        for (int note : above) {
            expected.insert((root + note) % 12);
        }
        Set landed;
        for (int step = 1; step <= 12; step++) {
            landed.insert(sequencer.GetEvent(1, step).GetNote() % 12);
        }
        EXPECT_EQ(landed, expected) << words << "\n" << said;
    }
}

}  // namespace
