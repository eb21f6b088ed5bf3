#pragma once

// Which ALSA sequencer ports krv plays to, and in what order: port 0 should
// be the one most likely to make a sound when a user first plays. Kept apart
// from the host so that it can be tested without a sequencer device.
class MIDICLAlsaPortRank {
public:
    // Lower ranks are listed first; within a rank, client:port order.
    enum MIDICLRank {
        kSynthesizer = 0,
        kApplication = 1,
        kDevice = 2,
        kPassThrough = 3,
    };

    // A port others can write to and subscribe to, unless it refuses
    // routing (NO_EXPORT). Read-only ports, ours among them, are no
    // destinations.
    static bool IsDestination(unsigned inCapabilities);
    // Pass-through by the client's name (Midi Through) or by its type (a
    // software port leading on to other ports, with no sound of its own);
    // then ports that make sound, then applications (which may), then
    // hardware MIDI ports and anything else, whose sound depends on what is
    // plugged in.
    static MIDICLRank Rank(const char* inClientName, unsigned inType);
};
