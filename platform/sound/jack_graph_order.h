// The JACK server runs the process callbacks of a graph one after another
// and hands port buffers from one to the next, through futexes inside
// libjack that ThreadSanitizer cannot see. Under ThreadSanitizer each
// callback says so (the end of one happens before the start of the next),
// so two clients of one process (the program and a test's client) are not
// taken for racing over their ports. Elsewhere these are nothing.
#pragma once

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>

inline char& JackGraphToken() {
    static char token;
    return token;
}
inline void JackCycleBegins() {
    __tsan_acquire(&JackGraphToken());
}
inline void JackCycleEnds() {
    __tsan_release(&JackGraphToken());
}
#else
inline void JackCycleBegins() {}
inline void JackCycleEnds() {}
#endif
