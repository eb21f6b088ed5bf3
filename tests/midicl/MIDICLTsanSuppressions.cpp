// libjack is not built with the thread sanitizer, so the fences that order
// its ring buffers and port buffers between threads are invisible to it and
// every hand-over through them looks like a race. Only those are silenced.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:jack_ringbuffer_\n";
}
#endif
