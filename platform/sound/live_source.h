// Sound made in the output's real-time callback after the loop stream:
// hits played live. The real-time contract is the device callback's own:
//
// - Mix runs on the device's real-time thread only, once per period, with
//   the MIDI events that arrived in that period (their frames within it,
//   in order of arrival) and the period's first frame on the output's
//   clock (frames since the output began; buffers report where they were
//   on the same clock, see FramesPlayedAt). It adds into left and right and must not
//   allocate, lock, wait or make a system call.
// - Prepare runs on some other thread before the first Mix and whenever
//   the device's rate or largest period changes; no Mix runs meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

struct MidiEvent {
    std::uint32_t frame;  // within the period
    std::uint8_t size;    // 1 to 3
    std::uint8_t data[3];
};

class LiveSource {
  public:
    virtual ~LiveSource() = default;
    virtual void Prepare(unsigned rate, unsigned maxFrames) = 0;
    virtual void Mix(float* left, float* right, std::uint32_t frames, const MidiEvent* events,
                     std::size_t count, std::uint64_t firstFrame) = 0;
};
