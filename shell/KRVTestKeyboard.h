#pragma once

// A keyboard for scripted runs on the built-in MIDI system: with
// KRV_TEST_KEYBOARD naming a file, the built-in system offers one source,
// "test source 1", and at every prompt the lines added to the file since
// ("90 3c 64": one message in hex bytes) are played from it, so that a
// script can play notes in between its commands (`sh echo 90 3c 64 >>
// keys`) and see what they did at the next command.
class KRVTestKeyboard {
public:
    // Before the MIDI client is made: offers the source when asked for.
    static void SetUp();
    // Plays what was added to the file since the last call.
    static void PlayNew();
};
