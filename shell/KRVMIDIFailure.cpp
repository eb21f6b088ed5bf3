#include "KRVMIDIFailure.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "MIDICLClient.h"
#include "MIDICLException.h"

namespace {

// JackServerFailed in jack_status_t: no server answered.
constexpr int kJackServerFailed = 0x10;

}  // namespace

std::string KRVMIDIFailure::Describe(const MIDICLException& inException, const char* inHostChoice) {
    if (inException.GetCallNumber() == MIDICLException::kMIDIClientCreate &&
        inHostChoice != nullptr) {
        std::string words = DescribeClientFailure(inException.GetErrCode(), inHostChoice);
        if (!words.empty()) {
            return words;
        }
    }
    return "krv: MIDI call " + std::to_string(static_cast<int>(inException.GetCallNumber())) +
           " failed with host status " + std::to_string(inException.GetErrCode());
}

std::string KRVMIDIFailure::DescribeStatus(int inStatus) {
    if (inStatus < 0) {
        return std::strerror(-inStatus);
    }
    return "host status " + std::to_string(inStatus);
}

// Empty when there is nothing better to say than the call and the status.
std::string KRVMIDIFailure::DescribeClientFailure(int inStatus, const std::string& inHostChoice) {
    if (inHostChoice == "jack") {
        if ((inStatus & kJackServerFailed) != 0) {
            return "krv: no JACK server is running";
        }
        return "krv: can't connect to the JACK server (status " + std::to_string(inStatus) + ")";
    }
    if (inHostChoice == "alsa" && inStatus < 0) {
        return std::string("krv: can't open the ALSA sequencer (/dev/snd/seq): ") +
               std::strerror(-inStatus);
    }
    if (inHostChoice != "none" && inStatus == -EINVAL) {
        return "krv: unknown MIDI system \"" + inHostChoice + "\" in KRV_MIDI_HOST (it takes " +
               ListHostNames() + ")";
    }
    return "";
}

// The systems this build can use, as "alsa, jack or none".
std::string KRVMIDIFailure::ListHostNames() {
    const std::vector<std::string> names = MIDICLClient::GetHostNames();
    std::string list;
    for (std::size_t i = 0; i < names.size(); i++) {
        if (i > 0) {
            list += i + 1 == names.size() ? " or " : ", ";
        }
        list += names[i];
    }
    return list;
}
