// exportsmf, importsmf. A second word asks for the other form of each:
// "heard" exports what playback plays, "timed" imports notes by their
// times. Any other second word is passed over, as it always was.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "files/KRVSafeFile.h"
#include "model/KRVSequencer.h"
#include "smf/KRVSequencerSMF.h"

namespace {

// A regular file that does not begin as every Standard MIDI File does.
// Replacing a MIDI file is what exports do again and again; anything else (a
// script, a text) is someone's work, which save's question guards. What is
// no regular file is not opened here (a FIFO would block): the export
// refuses it.
bool IsOtherFile(const char* inPath) {
    struct stat info;
    if (stat(inPath, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    FILE* file = std::fopen(inPath, "rb");
    if (file == nullptr) {
        return false;
    }
    char header[4] = {};
    const bool other = std::fread(header, 1, sizeof header, file) != sizeof header ||
                       std::memcmp(header, "MThd", sizeof header) != 0;
    std::fclose(file);
    return other;
}

}  // namespace

KRVCommandResult KRVCommands::ExportSMF(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    if (ioContext.GetSequencer().GetTrackCount() == 0) {
        return ioContext.Refuse("nowt in memory to export\n");
    }
    const char* file = inArguments.GetText(1);
    // A file the export may not replace is refused by the export itself,
    // without a question asked for nothing.
    if (IsOtherFile(file) && KRVSafeFile::CheckTarget(file) == 0 &&
        !ioContext.GetShell().MayOverwrite(file, "is not a Standard MIDI File")) {
        return KRVCommandResult::kFailed;
    }
    KRVSequencerSMF smf(&ioContext.GetSequencer(), &ioContext.GetInterface());
    bool written = inArguments.Get(2) == KRVArgumentWord(KRVArgumentKind::kHeard)
                       ? smf.ExportHeard(file)
                       : smf.Export(file);
    return written ? KRVCommandResult::kSucceeded : KRVCommandResult::kFailed;
}

KRVCommandResult KRVCommands::ImportSMF(KRVCommandContext& ioContext,
                                        const KRVArguments& inArguments) {
    KRVSequencerSMF smf(&ioContext.GetSequencer(), &ioContext.GetInterface());
    const char* file = inArguments.GetText(1);
    bool read = inArguments.Get(2) == KRVArgumentWord(KRVArgumentKind::kTimed)
                    ? smf.ImportTimed(file)
                    : smf.Import(file);
    return read ? KRVCommandResult::kSucceeded : KRVCommandResult::kFailed;
}
