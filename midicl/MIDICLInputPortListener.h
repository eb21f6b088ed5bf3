#pragma once

#include "MIDICLPacketList.h"

// Receives what arrives at an input port or a virtual destination. Hear runs
// on a host thread (or, on the built-in host, on the sender's thread) and the
// list is valid only during the call.
class MIDICLInputPortListener {
public:
    virtual ~MIDICLInputPortListener() = default;
    virtual void Hear(const MIDICLPacketList* inList) = 0;
};
