#pragma once

#include <cstdint>

#include "MIDICLException.h"

// How a built-in host behaves when tests ask for more than an empty host.
// Taken by MIDICLBuiltinHost::SetTestConfig and copied by every built-in host
// opened afterwards.
struct MIDICLBuiltinTestConfig {
    // Destinations that exist before any virtual one, named
    // "test destination 1", ...; what is sent to them is dropped.
    int mNumberOfDestinations = 0;
    // The host call that fails (0 = none), the status it reports and how many
    // times in a row it fails before it works again.
    int mFailingCall = 0;
    std::int32_t mFailStatus = 0;
    int mFailures = 1;
    // Holds system-exclusive completions until
    // MIDICLBuiltinHost::CompletePendingSysEx, as a host sending in the
    // background would.
    bool mDeferSysExCompletion = false;
    // Sources, named "test source 1", ...: what a test sends from one with
    // MIDICLBuiltinHost::SendFromTestSource reaches the input ports
    // connected to it.
    int mNumberOfSources = 0;
};
