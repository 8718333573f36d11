// MIDI clock pulses (24 a beat) on a buffer's frames, from the passes the
// player marks as it writes them. The player's thread pushes marks; the
// device's real-time callback asks, once per period, for the pulses that
// fall in it. Each pulse sits on the frame nearest its exact time, so a
// pulse on a tick is on the tick's first frame: the clock is in phase
// with what is heard, pass after pass and across tempo changes.
//
// Real-time contract: Push runs on one thread (the player's) and never
// waits; Advance runs on the callback only, never allocates, locks or
// waits. A mark pushed while the ring is full is dropped (counted).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "sound/pass_mark.h"

struct ClockPulse {
    std::uint32_t frame = 0;  // within the period
    // The stream's first pulse, from its beginning: a Start comes first.
    bool start = false;
};

// Where the stream stands in its beat: the pass (a bar) and the beat in it.
struct BeatPosition {
    std::uint64_t pass = 0;   // the pass's number since the stream began
    double beat = 0;          // beats into the pass, from 0
    double beatsPerPass = 0;  // the pass's length in beats
    double bpm = 0;           // the tempo its ticks are played at
};

class PulseClock {
  public:
    static constexpr std::size_t kMarks = 32;

    // Any one thread.
    void Push(const PassMark& mark);
    unsigned long DroppedMarks() const { return dropped_.load(std::memory_order_relaxed); }

    // The callback's: the pulses of the period whose first frame is the
    // buffer's device frame `from` (frames at the device's rate; ratio is
    // device frames per frame of the buffer's own rate), at most max of
    // them into out. *stopsAt is where a mark said the beat ends (a
    // preview took over), or -1. Returns how many pulses.
    std::size_t Advance(std::uint64_t from, std::uint32_t frames, double ratio, ClockPulse* out,
                        std::size_t max, long* stopsAt);
    // The callback's: where the beat stands at the buffer's device frame
    // `at` (within the current pass or just past it), the buffer's own
    // rate being ownRate; false when no pass with a beat is followed.
    bool PositionAt(std::uint64_t at, double ratio, unsigned ownRate, BeatPosition* out) const;
    // Whether a pass with a beat is being followed.
    bool Running() const { return current_.ticks > 0; }

  private:
    // The device frame of pulse k of the current pass.
    std::uint64_t PulseFrame(std::uint64_t k, double ratio) const;
    bool TakeMark(PassMark* mark);
    const PassMark* NextMark() const;
    void Begin(const PassMark& mark);

    std::array<PassMark, kMarks> ring_{};
    std::atomic<std::size_t> written_{0}, read_{0};
    std::atomic<unsigned long> dropped_{0};
    // The callback's own.
    PassMark current_{};
    std::uint64_t next_ = 0;  // the next pulse of the current pass
    bool start_ = false;      // the next pulse is the stream's first
};
