// Follows a MIDI clock arriving with the output's MIDI input: its pulses
// (24 a beat) give the tempo, smoothed over the last four beats so that
// a jittery clock does not wobble it; Start, Continue and Stop give when
// it runs, and Song Position Pointer where.
//
// Real-time contract: See and View run on the output's callback only;
// they never allocate, lock or wait.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sound/live_source.h"
#include "sound/sound_device.h"

class ClockFollower {
  public:
    // The period's MIDI messages (frames within it), the period's first
    // frame on the output's clock.
    void See(const MidiEvent* events, std::size_t count, std::uint64_t firstFrame);
    // The clock as a transport at the frame `at` of the output's clock:
    // rolling while it runs, its bar, beat and tempo in 4/4 from the start
    // (known once a pulse came within the last half second).
    TransportView View(std::uint64_t at, unsigned rate) const;

  private:
    static constexpr std::size_t kWindow = 97;  // pulses: four beats of intervals

    std::array<std::uint64_t, kWindow> pulses_{};  // the latest pulses' frames, a ring
    std::size_t seen_ = 0;                         // pulses since the clock was first heard
    std::uint64_t position_ = 0;                   // pulses since the song's start
    bool running_ = false;
    bool waiting_ = false;  // for the first pulse after Start or Continue
};
