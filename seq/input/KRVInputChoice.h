#pragma once

#include <string>

// Which source krv listens to and where thru goes, as the user chose them
// and saveconfig keeps them.
struct KRVInputChoice {
    static constexpr int kFollowTrack = -1;

    // The wanted source by name (it may be away); empty for none.
    std::string mSource;
    bool mThru = true;
    // A 0-based port, or kFollowTrack: the port of the track played into.
    int mThruPort = kFollowTrack;
    // 1-16, or kFollowTrack: that track's channel.
    int mThruChannel = kFollowTrack;

    bool IsDefaultThru() const {
        return mThru && mThruPort == kFollowTrack && mThruChannel == kFollowTrack;
    }
};
