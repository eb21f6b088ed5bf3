#include "KRVCommandLine.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MIDICLClient.h"
#include "model/KRVSequencer.h"

#ifndef KRV_VERSION
#define KRV_VERSION "unknown"
#endif

KRVCommandLine::KRVCommandLine(int inArgc, char** inArgv) {
    const char* tempo = nullptr;
    bool options = true;
    for (int i = 1; i < inArgc; i++) {
        // After "--" every word is a tempo or a file, "-x.krv" too.
        if (options && std::strcmp(inArgv[i], "--") == 0) {
            options = false;
            continue;
        }
        if (!options || std::strcmp(inArgv[i], "-") == 0) {
            AddWord(inArgv[i], &tempo);
            continue;
        }
        if (std::strcmp(inArgv[i], "--help") == 0 || std::strcmp(inArgv[i], "-h") == 0) {
            mAction = kShowHelp;
            return;
        }
        if (std::strcmp(inArgv[i], "--version") == 0) {
            mAction = kShowVersion;
            return;
        }
        if (std::strcmp(inArgv[i], "--allow-shell-in-scripts") == 0) {
            mAllowShellInScripts = true;
            continue;
        }
        if (std::strcmp(inArgv[i], "--batch") == 0 || std::strcmp(inArgv[i], "-b") == 0) {
            mBatch = true;
            continue;
        }
        if (std::strcmp(inArgv[i], "--overwrite") == 0) {
            mOverwrite = true;
            continue;
        }
        if (IsOption(inArgv[i])) {
            mAction = kRefuse;
            mRefused = inArgv[i];
            return;
        }
        AddWord(inArgv[i], &tempo);
    }
    double bpm = tempo != nullptr ? std::atof(tempo) : 0.0;
    if (KRVSequencer::IsUsableBPM(bpm)) {
        mStartingTempo = bpm;
    }
}

// The first number is the tempo; any other word names a script ("-" is
// standard input).
void KRVCommandLine::AddWord(const char* inWord, const char** ioTempo) {
    if (!IsNumber(inWord)) {
        mScripts.push_back(inWord);
    } else if (*ioTempo == nullptr) {
        *ioTempo = inWord;
    }
}

// "-5" and "-.5" are (unusable) tempos, not options.
bool KRVCommandLine::IsOption(const char* inArgument) {
    if (inArgument[0] != '-') {
        return false;
    }
    char next = inArgument[1] == '.' ? inArgument[2] : inArgument[1];
    return !std::isdigit(static_cast<unsigned char>(next));
}

// What strtod reads whole, starting as a number does ("120", "-5", ".5",
// "1e3"): "beat.krv" and "120bpm" are files. An option was ruled out first.
bool KRVCommandLine::IsNumber(const char* inArgument) {
    const char* start = inArgument;
    if (*start == '-' || *start == '+') {
        start++;
    }
    if (*start == '.') {
        start++;
    }
    if (!std::isdigit(static_cast<unsigned char>(*start))) {
        return false;
    }
    char* end = nullptr;
    std::strtod(inArgument, &end);
    return end != inArgument && *end == '\0';
}

int KRVCommandLine::Report(FILE* outStream, FILE* errStream) const {
    switch (mAction) {
        case kShowHelp:
            WriteUsage(outStream);
            return 0;
        case kShowVersion:
            std::fprintf(outStream, "krv %s\n", KRV_VERSION);
            WriteMIDISystems(outStream);
            return 0;
        case kRefuse:
            std::fprintf(errStream, "krv: unknown option '%s'\n", mRefused);
            WriteUsage(errStream);
            return 2;
        default:
            return -1;
    }
}

// Which MIDI systems krv would try, for a bug report: the one in use is
// named by `status` and `ports`, since opening one here could wait on a
// stopped server.
void KRVCommandLine::WriteMIDISystems(FILE* outStream) {
    const char* choice = std::getenv("KRV_MIDI_HOST");
    std::string systems;
    for (const std::string& name : MIDICLClient::GetHostNames()) {
        systems += (systems.empty() ? "" : ", ") + name + (name == "none" ? " (built-in)" : "");
    }
    if (choice != nullptr && *choice != '\0') {
        std::fprintf(outStream, "MIDI systems: %s; KRV_MIDI_HOST=%s chooses\n", systems.c_str(),
                     choice);
    } else {
        std::fprintf(outStream, "MIDI systems: %s; the first that opens is used\n",
                     systems.c_str());
    }
}

void KRVCommandLine::WriteUsage(FILE* outStream) {
    std::fputs(
        "usage: krv [bpm] [--allow-shell-in-scripts] [--overwrite] [file ...]\n"
        "       krv --batch [bpm] [--allow-shell-in-scripts] [--overwrite] [file ...]\n"
        "       krv --help | --version\n"
        "\n"
        "A MIDI step sequencer for the console. Type commands at the numbered\n"
        "prompt; 'help' lists them all, 'quit' (or Ctrl-D) leaves.\n"
        "\n"
        "  bpm        starting tempo in beats per minute (default 120)\n"
        "  file       a script to read at start, as 'read' reads it, before the\n"
        "             prompt; one that cannot be read stops krv (status 2)\n"
        "  -b, --batch\n"
        "             run the files, or standard input without them, with no\n"
        "             prompt; the first command that fails stops krv with\n"
        "             status 1 and 'FILE:LINE: command: message' on standard\n"
        "             error (standard input is named '-', and '-' as a file\n"
        "             reads it)\n"
        "  --         end of the options: the words after it are files, even\n"
        "             when they begin with '-'\n"
        "  --allow-shell-in-scripts\n"
        "             let scripts (read, load, default) run host commands\n"
        "             with 'shell'; without it only typed ones run\n"
        "  --overwrite\n"
        "             saves and exports replace existing files without asking;\n"
        "             without it a batch job fails where a question would come\n"
        "  --help     show this text and exit\n"
        "  --version  show the version and exit\n"
        "\n"
        "Environment:\n"
        "  KRV_MIDI_HOST        MIDI system to use: alsa, jack or none (built in);\n"
        "                       unset, krv tries ALSA, then JACK\n"
        "  JACK_DEFAULT_SERVER  the JACK server to connect to\n"
        "  XDG_STATE_HOME       where the command history is kept\n"
        "\n"
        "Files:\n"
        "  $XDG_STATE_HOME/krv/history  typed commands kept between runs (default\n"
        "                               ~/.local/state/krv/history, at most 1000)\n"
        "  default.krv                  the script 'default' reads, in the current\n"
        "                               folder\n"
        "\n"
        "See krv(1) for the commands and a worked example.\n",
        outStream);
}
