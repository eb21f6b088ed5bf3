#include "hosts/MIDICLHostChooser.h"

#include <cerrno>

#include "MIDICLException.h"
#include "hosts/builtin/MIDICLBuiltinHost.h"
#ifdef MIDICL_HAVE_ALSA
#include "hosts/alsa/MIDICLAlsaHost.h"
#endif
#ifdef MIDICL_HAVE_JACK
#include "hosts/jack/MIDICLJackHost.h"
#endif

std::shared_ptr<MIDICLHost> MIDICLHostChooser::Open(const std::string& inClientName,
                                                    const char* inChoice) {
    if (inChoice == nullptr || *inChoice == '\0') {
        return OpenFirstAvailable(inClientName);
    }
    return OpenForced(inClientName, inChoice);
}

std::vector<std::string> MIDICLHostChooser::GetHostNames() {
    std::vector<std::string> names;
#ifdef MIDICL_HAVE_ALSA
    names.push_back("alsa");
#endif
#ifdef MIDICL_HAVE_JACK
    names.push_back("jack");
#endif
    names.push_back("none");
    return names;
}

std::shared_ptr<MIDICLHost> MIDICLHostChooser::OpenForced(const std::string& inClientName,
                                                          const std::string& inChoice) {
    if (inChoice == "none") {
        return MIDICLBuiltinHost::Open(inClientName);
    }
#ifdef MIDICL_HAVE_ALSA
    if (inChoice == "alsa") {
        return MIDICLAlsaHost::Open(inClientName);
    }
#endif
#ifdef MIDICL_HAVE_JACK
    if (inChoice == "jack") {
        return MIDICLJackHost::Open(inClientName);
    }
#endif
    throw MIDICLException(MIDICLException::kMIDIClientCreate, -EINVAL);
}

// Only a failure to open makes us move on; anything thrown after a host has
// opened is a real error and passes on.
std::shared_ptr<MIDICLHost> MIDICLHostChooser::OpenFirstAvailable(const std::string& inClientName) {
#ifdef MIDICL_HAVE_ALSA
    if (std::shared_ptr<MIDICLHost> host = MIDICLAlsaHost::TryOpen(inClientName)) {
        return host;
    }
#endif
#ifdef MIDICL_HAVE_JACK
    if (std::shared_ptr<MIDICLHost> host = MIDICLJackHost::TryOpen(inClientName)) {
        return host;
    }
#endif
    return MIDICLBuiltinHost::Open(inClientName);
}
