#include "hosts/MIDICLHost.h"

// Out of line so that the vtable has one home.
MIDICLHost::~MIDICLHost() = default;
