#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "KRVBatchRun.h"
#include "KRVCommandLine.h"
#include "KRVDestinations.h"
#include "KRVMIDIFailure.h"
#include "KRVPlayIn.h"
#include "KRVScriptFile.h"
#include "KRVShell.h"
#include "KRVTestKeyboard.h"
#include "MIDICLClient.h"
#include "MIDICLException.h"
#include "console/KRVCompleter.h"
#include "console/KRVOutputStream.h"
#include "console/KRVSignals.h"
#include "console/KRVStdioInterface.h"
#include "model/KRVSequencer.h"

namespace {

// KRV_MIDI_HOST names the MIDI system to use ("alsa", "jack" or "none");
// without it the client takes the first that opens.
const char* GetHostChoice() {
    return std::getenv("KRV_MIDI_HOST");
}

KRVLineEditor::Completion CompleteTypedLine(const std::string& inBeforeCursor) {
    return {KRVCompleter::Complete(inBeforeCursor), KRVCompleter::GetTypedWord(inBeforeCursor)};
}

using Scripts = std::vector<KRVBatchRun::Script>;

// The command line's scripts are read whole before any MIDI is opened, so
// that a name mistyped stops krv before anything starts.
bool ReadScripts(const KRVCommandLine& inCommandLine, Scripts* outScripts) {
    for (const std::string& path : inCommandLine.GetScripts()) {
        // Standard input is read where it stands, not beforehand.
        if (path == KRVBatchRun::kStandardInput) {
            outScripts->push_back({path, ""});
            continue;
        }
        KRVScriptFile script;
        KRVScriptFile::Status status = script.Read(path);
        if (status != KRVScriptFile::kRead) {
            std::fprintf(stderr, "krv: %s", script.Describe(status, "read", path).c_str());
            return false;
        }
        outScripts->push_back({path, script.GetText()});
    }
    return true;
}

// Until quit, end of input, SIGTERM or SIGHUP; SIGINT is dealt with inside.
// The command line's scripts run first, as `read` runs them; what they do is
// where undo starts and counts as saved.
void RunConsole(KRVSequencer& ioSequencer, KRVDestinations& ioDestinations,
                const KRVCommandLine& inCommandLine, const Scripts& inScripts) {
    KRVStdioInterface interface(stdin, stdout);
    interface.SetCompleter(CompleteTypedLine);
    KRVShell shell(&ioSequencer, &interface);
    // Goes before the shell, whose undo history a take ends in.
    KRVPlayIn playIn(&ioSequencer, &interface);
    shell.GetContext().SetDestinations(&ioDestinations);
    shell.GetContext().SetPlayIn(&playIn);
    shell.GetContext().SetShellInScriptsAllowed(inCommandLine.AllowsShellInScripts());
    shell.SetOverwrites(inCommandLine.Overwrites());
    for (const KRVBatchRun::Script& script : inScripts) {
        if (KRVSignals::GetTerminatingSignal() != 0) {
            break;
        }
        // At the console standard input is what the prompt reads anyway.
        if (script.mName == KRVBatchRun::kStandardInput) {
            continue;
        }
        shell.RunReadScript(script.mName, script.mText, false);
    }
    shell.StartTracking();
    // Only someone at a terminal can answer; piped input never is asked.
    shell.SetAsksBeforeQuit(isatty(STDIN_FILENO) != 0);
    shell.Shell(true);
    playIn.End();
    // No note may outlive the program: stop before anything goes. A
    // transport followed is let go of first, so that the others play on.
    shell.GetContext().GetSequencer().SetTransportMode(KRVSequencer::TransportMode::kOff);
    shell.GetContext().StopPlayback();
}

// The exit status of the run; playback stops at its end as on quit.
int RunBatch(KRVSequencer& ioSequencer, KRVDestinations& ioDestinations,
             const KRVCommandLine& inCommandLine, const Scripts& inScripts) {
    KRVStdioInterface console(nullptr, stdout);
    KRVBatchRun batch(&ioSequencer, &console, inCommandLine.AllowsShellInScripts());
    batch.SetDestinations(&ioDestinations);
    batch.SetOverwrites(inCommandLine.Overwrites());
    int status = batch.Run(inScripts, stdin, stderr);
    ioSequencer.SetTransportMode(KRVSequencer::TransportMode::kOff);
    KRVCommandContext(&ioSequencer, &console, nullptr).StopPlayback();
    console.Flush();
    return status;
}

// 0 after quit or end of input, 128 + the signal after SIGTERM or SIGHUP.
int ExitStatus() {
    const int signal = KRVSignals::GetTerminatingSignal();
    return signal != 0 ? 128 + signal : 0;
}

}  // namespace

int main(int inArgc, char** inArgv) {
    KRVCommandLine commandLine(inArgc, inArgv);
    if (int status = commandLine.Report(stdout, stderr); status >= 0) {
        return status;
    }
    Scripts scripts;
    if (!ReadScripts(commandLine, &scripts)) {
        return 2;
    }
    KRVSignals::Install();
    // Where nobody types through the line editor, output may go to a pipe
    // that is read slowly or never: a signal must still be acted on then.
    if (commandLine.IsBatch() || !KRVStdioInterface::EditsLines(stdin, stdout)) {
        KRVOutputStream::TakeOverStandardOutput();
    }
    KRVSequencer sequencer;
    sequencer.SetScale(1, 16);
    sequencer.SetBPM(commandLine.GetStartingTempo());
    try {
        std::printf("KRVShell: setting up MIDI config\n");
        // The MIDI system's threads must leave the signals to this one.
        KRVSignals::Block();
        KRVTestKeyboard::SetUp();
        auto midiClient = std::make_unique<MIDICLClient>("KRVSequencer", GetHostChoice());
        KRVSignals::Unblock();
        // Goes before the sequencer, whose ports its client feeds.
        KRVDestinations destinations(std::move(midiClient), sequencer);
        destinations.SetUp();
        int status = 0;
        if (commandLine.IsBatch()) {
            status = RunBatch(sequencer, destinations, commandLine, scripts);
        } else {
            RunConsole(sequencer, destinations, commandLine, scripts);
        }
        // Its input port is the client's, which goes with the destinations.
        sequencer.StopFollowingClock();
        // A signal's status wins over the batch's.
        if (status != 0 && KRVSignals::GetTerminatingSignal() == 0) {
            return status;
        }
    } catch (const MIDICLException& exception) {
        // Nothing can play without MIDI: say what failed and stop.
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", KRVMIDIFailure::Describe(exception, GetHostChoice()).c_str());
        return EXIT_FAILURE;
    }
    return ExitStatus();
}

// PipeWire's libjack copies into memory its own threads mapped, which the
// thread sanitizer cannot follow; that alone is silenced. (Our own hand-overs
// through libjack's ring buffers are marked where they happen.)
#if defined(__SANITIZE_THREAD__)
// The thread sanitizer waits a second at exit for threads still running;
// krv joins its own, and an exit must not wait on anything that long.
extern "C" const char* __tsan_default_options() {
    return "atexit_sleep_ms=100";
}

extern "C" const char* __tsan_default_suppressions() {
    return "race:pw_memblock_map\n";
}
#endif

// PipeWire's libjack keeps a client's port records past the client's close:
// its leak, not ours.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:pipewire-0.3/jack/libjack.so\n";
}
#endif
