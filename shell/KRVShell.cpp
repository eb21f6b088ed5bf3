#include "KRVShell.h"

#include <cctype>
#include <cstring>

#include "KRVLineLimit.h"
#include "KRVSequencer.h"
#include "KRVShellInterface.h"
#include "KRVSignals.h"
#include "KRVWords.h"

// The order of this table is the order of lookup and of help.
const KRVShell::Command KRVShell::sCommands[kCommandCount] = {
    {"clearselection", "clear", "clear selection", ClearSelection},
    {"copytrack", "copyt", "copy track (from to)", CopyTrack},
    {"bpm", "", "set bpm (bpm)", BPM},
    {"changechannel", "", "changechannel (from to)", ChangeChannel},
    {"changenote", "", "changenote (from to)", ChangeNote},
    {"default", "", "default sequence", DefaultSequence},
    {"deleteconfig", "", "delete config", DeleteConfig},
    {"deletesequence", "", "delete sequence", DeleteSequence},
    {"deletetrack", "delt", "delete track", DeleteTrack},
    {"display", "di", "display sequence", Display},
    {"exportsmf", "", "export (smf file)", ExportSMF},
    {"fitkey", "", "fit to key (key)", FitToKey},
    {"help", "", "display this message", Help},
    {"history", "", "display command history", History},
    {"hsolo", "hs", "horizontal solo", HSolo},
    {"hunsolo", "hu", "horizontal unsolo", HUnSolo},
    {"importsmf", "", "import (smf file)", ImportSMF},
    {"invertmute", "im", "invert mute", InvertMute},
    {"invertselection", "is", "invert selection", InvertSelection},
    {"load", "", "delete sequence and read (file)", Load},
    {"migration", "", "load 0-based scripts", Migration},
    {"mute", "mu", "mute", Mute},
    {"mutetrack", "mt", "mute track (track)", MuteTrack},
    {"namechannel", "", "name channel [port] (channel)", NameChannel},
    {"newtrack", "newt", "new track [track]", NewTrack},
    {"pause", "", "pause", Pause},
    {"play", "", "play", Play},
    {"ports", "", "list output ports", Ports},
    {"quit", "", "stop & quit", Quit},
    {"read", "", "read script (file)", Read},
    {"reset", "", "reset clock", Reset},
    {"randomchannel", "", "randomise channel [base range]", RandomiseChannel},
    {"randomgate", "", "randomise gate [base range]", RandomiseGate},
    {"randommute", "", "randomise mute", RandomiseMute},
    {"randomnote", "", "randomise note [base range]", RandomiseNote},
    {"randomport", "", "randomise port [base range]", RandomisePort},
    {"randomvelocity", "", "randomise velocity [base range]", RandomiseVelocity},
    {"rotate", "", "rotate [count]", Rotate},
    {"save", "", "save (file)", Save},
    {"saveconfig", "", "save configuration (file)", SaveConfig},
    {"saveselection", "savesel", "save selection script (file)", SaveSelection},
    {"selectall", "", "select all", SelectAll},
    {"selecteighthnotes", "sel8", "select eighth notes within selection", SelectEighthNotes},
    {"selectevent", "sele", "select event (track step)", SelectEvent},
    {"selectquarternotes", "sel4", "select quarter notes within selection", SelectQuarterNotes},
    {"selectstep", "sels", "select step (step)", SelectStep},
    {"selecttrack", "selt", "select track (track)", SelectTrack},
    {"setchannel", "", "set channel (channel)", SetChannel},
    {"setgatetime", "setgate", "set gate (percent)", SetGateTime},
    {"setloop", "", "set loop (step)", SetLoop},
    {"setnote", "", "set note (note)", SetNote},
    {"setport", "", "set port (port)", SetPort},
    {"setscale", "", "set scale (bars, KRVShell::steps)", SetScale},
    {"setvelocity", "", "set velocity (velocity)", SetVelocity},
    {"shell", "sh", "run shell command (command params)", Shell},
    {"stop", "", "pause & reset", Stop},
    {"unmute", "unmu", "unmute", UnMute},
    {"unmutetrack", "unmt", "unmute track (track)", UnMuteTrack},
    {"unselectevent", "unsele", "unselect event (track step)", UnSelectEvent},
    {"unselectstep", "unsels", "unselect step (step)", UnSelectStep},
    {"unselecttrack", "unselt", "unselect track (track)", UnSelectTrack},
    {"vary", "", "vary (algorithm 1)", Vary},
    {"vary2", "", "vary (algorithm 2)", Vary2},
    {"version", "ver", "print version", Version},
    {"vsolo", "vs", "vertical solo", VSolo},
    {"vunsolo", "vu", "vertical unsolo", VUnSolo},
};

KRVShell::KRVShell(KRVSequencer* inSequencer, KRVShellInterface* inInterface)
    : mSequencer(inSequencer), mInterface(inInterface) {}

void KRVShell::Shell(bool inPrompt) {
    if (inPrompt) {
        KRVSignals::SetInterruptAction(StopPlaybackFor, this);
    }
    RunLoop(inPrompt);
    if (inPrompt) {
        KRVSignals::SetInterruptAction(nullptr, nullptr);
    }
}

void KRVShell::StopPlaybackFor(void* inShell) {
    static_cast<KRVShell*>(inShell)->StopPlayback();
}

// A server that quits takes every destination with it; the user hears
// silence and must learn why, once at the prompt, and again from `ports`
// and `play` (inAgain).
void KRVShell::TellOutputGone(bool inAgain) {
    if ((mToldOutputGone && !inAgain) || !mSequencer->IsOutputGone()) {
        return;
    }
    mInterface->Write("krv: the JACK server has gone, MIDI output stopped\n");
    mToldOutputGone = true;
}

void KRVShell::RunLoop(bool inPrompt) {
    char buffer[kLineBufferLength];
    for (;;) {
        if (StopsForSignal(inPrompt)) {
            return;
        }
        if (inPrompt) {
            TellOutputGone(false);
            mInterface->WriteFormattedD("%d krv> ", mHistoryNumber);
        }
        int length = mInterface->ReadLine(buffer, kLineBufferLength);
        if (length == -1) {
            // A read cut short by a signal is no end of input.
            if (KRVSignals::IsPending()) {
                continue;
            }
            return;
        }
        if (length == KRVLineLimit::kTooLong) {
            KRVLineLimit::ReportTooLong(mInterface);
            continue;
        }
        if (Execute(buffer) != 0) {
            return;
        }
    }
}

// SIGTERM and SIGHUP end every loop, as `quit` does. SIGINT ends a script
// being read and is acted on at the prompt: playback stops, and the prompt
// comes again.
bool KRVShell::StopsForSignal(bool inPrompt) {
    if (KRVSignals::GetTerminatingSignal() != 0) {
        return true;
    }
    if (!inPrompt) {
        return KRVSignals::IsPending();
    }
    KRVSignals::ActOnInterrupt();
    return false;
}

int KRVShell::Execute(const char* inBuffer) {
    if (inBuffer[0] == '\0') {
        return 0;
    }
    Parse(inBuffer);
    // Only blanks, a lone backslash or empty quotes: like an empty line.
    if (mParameters.empty()) {
        return 0;
    }
    int row = Dispatch();
    if (row >= 0) {
        // Saved as typed, before the handler runs, whatever it then says.
        SaveToHistory(inBuffer);
        return sCommands[row].mHandler(this);
    }
    if (mParameters[0][0] == '!') {
        ExpandHistory();
        return 0;
    }
    mInterface->WriteFormattedS("%s: command not found\n", mParameters[0].c_str());
    return 0;
}

// Only the blank separates words. A backslash takes the next character as it
// is; quotes (single or double) group characters up to the matching quote.
// Both work inside a word. A word that ends up empty (a lone "") is dropped,
// so the words after it close up.
void KRVShell::Parse(const char* inBuffer) {
    mParameters.clear();
    bool escaped = false;
    bool quoted = false;
    char quoteCharacter = '\0';
    std::string word;
    for (const char* cursor = inBuffer; *cursor != '\0'; cursor++) {
        char ch = *cursor;
        if (escaped) {
            word += ch;
            escaped = false;
        } else if (quoted) {
            if (ch == quoteCharacter) {
                quoted = false;
            } else {
                word += ch;
            }
        } else if (ch == ' ') {
            if (!word.empty()) {
                mParameters.push_back(word);
                word.clear();
            }
        } else if (ch == '\\') {
            escaped = true;
        } else if (ch == '\'' || ch == '"') {
            quoteCharacter = ch;
            quoted = true;
        } else {
            word += ch;
        }
    }
    if (!word.empty()) {
        mParameters.push_back(word);
    }
}

int KRVShell::Dispatch() const {
    return FindCommand(mParameters[0]);
}

int KRVShell::FindCommand(const std::string& inWord) {
    for (int row = 0; row < kCommandCount; row++) {
        if (inWord == sCommands[row].mCommand ||
            (sCommands[row].mAlias[0] != '\0' && inWord == sCommands[row].mAlias)) {
            return row;
        }
    }
    return -1;
}

void KRVShell::SaveToHistory(const char* inCommand) {
    mHistory.emplace_back(mHistoryNumber, inCommand);
    mHistoryNumber++;
    if (GetHistoryCount() > kMaxHistory) {
        mHistory.erase(mHistory.begin());
    }
}

std::pair<int, std::string> KRVShell::GetHistoryEntryByIndex(int inIndex) const {
    if (inIndex < 0 || inIndex >= GetHistoryCount()) {
        return {0, std::string()};
    }
    return mHistory[inIndex];
}

// Negative numbers count back from the newest entry: -1 is the last line.
std::string KRVShell::GetHistoryEntryByNumber(int inIndex) const {
    if (inIndex < 0) {
        inIndex += mHistoryNumber;
    }
    for (const auto& entry : mHistory) {
        if (entry.first == inIndex) {
            return entry.second;
        }
    }
    return std::string();
}

// The most recent line that begins with the text (a prefix match).
std::string KRVShell::GetHistoryEntryBySubString(const char* inSubString) const {
    size_t length = std::strlen(inSubString);
    std::string found;
    for (const auto& entry : mHistory) {
        if (entry.second.compare(0, length, inSubString, length) == 0) {
            found = entry.second;
        }
    }
    return found;
}

void KRVShell::ExpandHistory() {
    std::string reference = mParameters[0].substr(1);
    std::string line;
    if (!reference.empty()) {
        if (std::isdigit(static_cast<unsigned char>(reference[0])) || reference[0] == '-') {
            line = GetHistoryEntryByNumber(KRVReadInt(reference));
        } else {
            line = GetHistoryEntryBySubString(reference.c_str());
        }
        // "!!" and anything else starting with two of them repeats the last line.
        if (line.empty() && reference[0] == '!') {
            line = GetHistoryEntryByNumber(-1);
        }
    }
    if (line.empty()) {
        mInterface->WriteFormattedS("%s: event not found\n", reference.c_str());
        return;
    }
    mInterface->WriteFormattedS("%s\n", line.c_str());
    Execute(line.c_str());
}

bool KRVShell::NeedParams(int inCount, const char* inMissing) const {
    if (GetParamCount() < inCount) {
        mInterface->Write(inMissing);
        return false;
    }
    return true;
}

bool KRVShell::ReadParamInRange(int inIndex, int inLowest, int inHighest, const char* inBad,
                                int* outValue) const {
    *outValue = KRVReadInt(GetParam(inIndex));
    if (*outValue < inLowest || *outValue > inHighest) {
        mInterface->Write(inBad);
        return false;
    }
    return true;
}
