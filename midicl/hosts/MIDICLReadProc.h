#pragma once

#include "MIDICLPacketList.h"

// How a host hands received packets to the object that owns a receiving
// endpoint. Runs on a host thread.
using MIDICLReadProc = void (*)(const MIDICLPacketList& inList, void* inRefCon);
