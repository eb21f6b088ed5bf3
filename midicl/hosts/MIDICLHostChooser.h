#pragma once

#include <memory>
#include <string>
#include <vector>

class MIDICLHost;

// Picks and opens the MIDI host for a new client. The only place that knows
// which hosts exist.
class MIDICLHostChooser {
public:
    // inChoice is "alsa", "jack" or "none"; null or empty means the first of
    // ALSA, JACK and built-in that opens. A forced host that fails, or an
    // unknown choice, throws MIDICLException(kMIDIClientCreate, status);
    // -EINVAL for a choice that is unknown or not built in.
    static std::shared_ptr<MIDICLHost> Open(const std::string& inClientName, const char* inChoice);
    // The hosts built in, in the order the automatic choice tries them.
    static std::vector<std::string> GetHostNames();

private:
    static std::shared_ptr<MIDICLHost> OpenForced(const std::string& inClientName,
                                                  const std::string& inChoice);
    static std::shared_ptr<MIDICLHost> OpenFirstAvailable(const std::string& inClientName);
};
