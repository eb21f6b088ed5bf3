#pragma once

#include <memory>
#include <string>

class MIDICLHost;

// Picks and opens the MIDI host for a new client. The only place that knows
// which hosts exist.
class MIDICLHostChooser {
public:
    // inChoice is "alsa", "jack" or "none"; null means KRV_MIDI_HOST, and
    // without that the first of ALSA, JACK and built-in that opens. A forced
    // host that fails, or an unknown choice, throws
    // MIDICLException(kMIDIClientCreate, status); -EINVAL for a choice that
    // is unknown or not built in.
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName, const char* inChoice);

private:
    static std::shared_ptr<MIDICLHost> OpenForced(const std::string& inClientName,
                                                  const std::string& inChoice);
    static std::shared_ptr<MIDICLHost> OpenFirstAvailable(const std::string& inClientName);
};
