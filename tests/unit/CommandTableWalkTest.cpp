// Every row that says its command changes what save or saveconfig writes,
// by its own words or from a file, is run with words made from its
// arguments' kinds: the change must show in the saved text, read back whole
// through load, and go and come back with undo and redo. A
// command whose change save or undo forgets fails here.
#include "TestShell.h"
#include "commands/KRVCommandTable.h"

namespace {

using A = KRVArgumentKind;

// A word of each kind that changes the bases below; the second word of a
// kind differs from the first, so that "from" and "to" do.
// A number's range may start above 1 (swing).
std::string WordFor(const KRVArgument& inArgument, int inWord1) {
    switch (inArgument.mKind) {
        case A::kNumber:
            return std::to_string(inArgument.mBad != nullptr && inArgument.mLowest > 1
                                      ? inArgument.mLowest + inWord1
                                      : inWord1);
        case A::kTrack:
            return std::to_string(inWord1);
        case A::kStep:
            return std::to_string(inWord1 + 1);
        case A::kNote:
            return inWord1 == 1 ? "70" : "72";
        case A::kChannel:
            return inWord1 == 1 ? "3" : "5";
        case A::kPort:
            return "1";
        case A::kKey:
            return "0";
        // A channel's name, or a switch turned on.
        case A::kText:
            return "on";
        default:
            return "";
    }
}

// A file read is a script of the walk's (other.krv; default.krv for
// default), or for importsmf the base as exported.
std::string LineFor(const KRVCommand& inCommand) {
    std::string line = inCommand.mName;
    for (int word1 = 1; word1 <= KRVCommand::kMaxArguments; word1++) {
        const KRVArgument& argument = inCommand.mArguments[word1 - 1];
        const std::string word = argument.mKind != A::kFile ? WordFor(argument, word1)
                                 : line == "importsmf"      ? "m.mid"
                                                            : "other.krv";
        line += word.empty() ? "" : " " + word;
    }
    return line;
}

// Two tracks that differ, a named channel with a program; the first base
// has everything selected and nothing muted, the second every event muted,
// soloed, ratcheted, held, tied and on a chance, its tracks muted, only
// track 2 selected and a shorter loop, so that every command and its inverse
// change one of them. Steps 1 and 2 of track 1 are copied, for pastesteps.
const std::string kBase =
    "newtrack\nnewtrack\nselectevent 1 1\nsetnote 70\nsetchannel 3\nnamechannel 0 3 lead\n"
    "program 0 3 5\ncopysteps 1 2\nselectall\n";
const std::string kBases[] = {
    kBase,
    kBase +
        "mute\nhsolo\nvsolo\nchance 50\nratchet 3\nsetlength 2\ntie\nmutetrack 1\nmutetrack 2\n"
        "unselecttrack 1\nsetloop 13\n"};

TEST(KRVCommandTable, EveryChangeIsSavedAndUndone) {
    for (int row = 0; row < KRVCommandTable::GetCount(); row++) {
        const KRVCommand& command = KRVCommandTable::Get(row);
        if (command.mChanges == KRVChanges::kNothing) {
            continue;
        }
        const std::string line = LineFor(command);
        const bool config = command.mChanges == KRVChanges::kConfig;
        const std::string save = config ? "saveconfig " : "save ";
        const std::string reload = config ? "deleteconfig\nread " : "load ";
        bool changedOne = false;
        for (const std::string& base : kBases) {
            Scratch folder(true);
            folder.Write("other.krv", "newtrack\nnewtrack\nselectall\nsetnote 70\nbpm 77\n");
            folder.Write("default.krv", "newtrack\nsetnote 1\n");
            const auto saved = [&folder](char inName) {
                return Scratch::Read(folder.Path(std::string(1, inName)));
            };
            const auto saveTo = [&](char inName) {
                return save + folder.Path(std::string(1, inName)) + "\n";
            };
            MIDICLClient client("test", "none");
            KRVSequencer sequencer;
            for (const char* port : {"a", "b", "c", "d"}) {
                sequencer.AddPort(client.MakeOutputPort(port));
            }
            // With a count of undo steps, the shell keeps them.
            int undoSteps = 0;
            const std::string said = RunShell(
                sequencer,
                base + "exportsmf m.mid\n" + saveTo('A') + line + "\n" + saveTo('B') + "undo\n" +
                    saveTo('C') + "redo\n" + saveTo('D') + reload + folder.Path("A") + "\n" +
                    reload + folder.Path("B") + "\n" + saveTo('E'),
                &undoSteps);
            ASSERT_TRUE(std::filesystem::exists(folder.Path("E"))) << line << "\n" << said;
            // Where the command changed nothing, undo would take the base's
            // last step back.
            if (saved('A') == saved('B')) {
                continue;
            }
            changedOne = true;
            EXPECT_TRUE(saved('C') == saved('A')) << line << ": undo does not restore it";
            EXPECT_TRUE(saved('D') == saved('B')) << line << ": redo does not make it again";
            EXPECT_TRUE(saved('E') == saved('B')) << line << ": load does not read it back";
        }
        EXPECT_TRUE(changedOne) << line << ": its change is not saved";
    }
}

}  // namespace
