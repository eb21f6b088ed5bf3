#include "hosts/alsa/MIDICLAlsaPortRank.h"

#include <alsa/asoundlib.h>

#include "hosts/MIDICLPassThrough.h"

namespace {

constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kSounding = SND_SEQ_PORT_TYPE_SYNTHESIZER | SND_SEQ_PORT_TYPE_SYNTH |
                               SND_SEQ_PORT_TYPE_DIRECT_SAMPLE | SND_SEQ_PORT_TYPE_SAMPLE;
// What a port that only forwards what it gets says of itself.
constexpr unsigned kForwarding = SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_PORT;
constexpr unsigned kOwnWork =
    kSounding | SND_SEQ_PORT_TYPE_APPLICATION | SND_SEQ_PORT_TYPE_HARDWARE;

}  // namespace

bool MIDICLAlsaPortRank::IsDestination(unsigned inCapabilities) {
    return (inCapabilities & kWritable) == kWritable &&
           (inCapabilities & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
}

MIDICLAlsaPortRank::MIDICLRank MIDICLAlsaPortRank::Rank(const char* inClientName, unsigned inType) {
    if (MIDICLPassThrough::IsPassThroughName(inClientName) ||
        ((inType & kForwarding) == kForwarding && (inType & kOwnWork) == 0)) {
        return kPassThrough;
    }
    if ((inType & kSounding) != 0) {
        return kSynthesizer;
    }
    if ((inType & SND_SEQ_PORT_TYPE_APPLICATION) != 0) {
        return kApplication;
    }
    return kDevice;
}
