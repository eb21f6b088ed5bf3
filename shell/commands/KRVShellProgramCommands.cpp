// program: the General MIDI program each channel plays.
#include <string>

#include "KRVCommandContext.h"
#include "KRVShellInterface.h"
#include "commands/KRVArguments.h"
#include "commands/KRVCommands.h"
#include "model/KRVSequencer.h"

namespace {

// Where the words before the program number point: a channel name, or
// [port] channel. outNext is the word the number would be.
struct KRVProgramTarget {
    int mPort = 0;
    int mChannel = 0;
    int mNext = 0;
};

// Numbers give [port] channel number: three words name the port first, one
// or two are port 0's channel (and number).
KRVProgramTarget ReadTarget(const KRVSequencer& inSequencer, const KRVArguments& inArguments) {
    KRVProgramTarget target;
    if (inSequencer.GetNamedChannel(inArguments.Get(1), &target.mPort, &target.mChannel)) {
        target.mNext = 2;
        return target;
    }
    const bool portGiven = inArguments.Has(3);
    target.mPort = portGiven ? inArguments.ReadInt(1) : 0;
    target.mChannel = inArguments.ReadInt(portGiven ? 2 : 1);
    target.mNext = portGiven ? 3 : 2;
    return target;
}

void WriteProgram(KRVShellInterface& ioOut, int inPort, int inChannel, int inProgram0) {
    ioOut.WriteFormattedDD("port %d channel %d ", inPort, inChannel);
    if (inProgram0 == KRVPrograms::kNone) {
        ioOut.Write("has no program\n");
    } else {
        ioOut.WriteFormattedD("program %d\n", inProgram0 + 1);
    }
}

KRVCommandResult ListPrograms(KRVCommandContext& ioContext) {
    KRVShellInterface& out = ioContext.GetInterface();
    bool any = false;
    ioContext.GetSequencer().GetPrograms().ForEach([&](int inPort, int inChannel0, int inProgram0) {
        WriteProgram(out, inPort, inChannel0 + 1, inProgram0);
        any = true;
    });
    if (!any) {
        out.Write("no programs set\n");
    }
    return KRVCommandResult::kSucceeded;
}

}  // namespace

// Programs are numbered 1 to 128 here, as General MIDI lists them, and sent
// as 0 to 127.
KRVCommandResult KRVCommands::Program(KRVCommandContext& ioContext,
                                      const KRVArguments& inArguments) {
    if (!inArguments.Has(1)) {
        return ListPrograms(ioContext);
    }
    KRVSequencer& sequencer = ioContext.GetSequencer();
    const KRVProgramTarget target = ReadTarget(sequencer, inArguments);
    if (const char* refusal = RefusalForChannel(sequencer, target.mPort, target.mChannel)) {
        return ioContext.Refuse(refusal);
    }
    if (!inArguments.Has(target.mNext)) {
        WriteProgram(ioContext.GetInterface(), target.mPort, target.mChannel,
                     sequencer.GetProgram(target.mPort, target.mChannel));
        return KRVCommandResult::kSucceeded;
    }
    int program = 0;
    if (!inArguments.ReadInRange(target.mNext, 1, 128, &program)) {
        return ioContext.Refuse("need program 1-128\n");
    }
    sequencer.SetProgram(target.mPort, target.mChannel, program - 1);
    WriteProgram(ioContext.GetInterface(), target.mPort, target.mChannel, program - 1);
    return KRVCommandResult::kSucceeded;
}

std::string KRVCommands::ProgramLine(const std::string& inPortWord, int inChannel, int inProgram0) {
    return "program " + inPortWord + " " + std::to_string(inChannel) + " " +
           std::to_string(inProgram0 + 1);
}
