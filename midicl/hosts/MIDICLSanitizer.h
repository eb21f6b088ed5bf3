#pragma once

// libjack is not built with the thread sanitizer, so the ordering its ring
// buffers give between the thread that writes and the one that reads is
// invisible to it: each hand-over looks like a race, and the first report of
// one (symbolised, checked against the suppressions) takes so long that the
// process callback misses its cycle and JACK drops what it wrote: the first
// note-on after `play`. These mark the hand-over so that no race is seen.
#if defined(__SANITIZE_THREAD__)
#define MIDICL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MIDICL_TSAN 1
#endif
#endif

#ifdef MIDICL_TSAN
#include <sanitizer/tsan_interface.h>
#endif

// After writing what inObject hands over.
inline void MIDICLHandOver([[maybe_unused]] void* inObject) {
#ifdef MIDICL_TSAN
    __tsan_release(inObject);
#endif
}

// Before reading what was handed over through inObject.
inline void MIDICLTakeOver([[maybe_unused]] void* inObject) {
#ifdef MIDICL_TSAN
    __tsan_acquire(inObject);
#endif
}
