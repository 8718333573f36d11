#include "sound/clock_follower.h"

#include <algorithm>
#include <cmath>

void ClockFollower::See(const MidiEvent* events, std::size_t count, std::uint64_t firstFrame) {
    for (std::size_t i = 0; i < count; ++i) {
        const MidiEvent& e = events[i];
        switch (e.data[0]) {
            case 0xF8:  // a pulse: the position moves on while running
                pulses_[seen_ % kWindow] = firstFrame + e.frame;
                ++seen_;
                // The first pulse after Start or Continue is where it
                // starts; each after it a pulse further.
                if (waiting_)
                    waiting_ = false;
                else if (running_)
                    ++position_;
                break;
            case 0xFA:  // Start: from the song's start, at the next pulse
                running_ = waiting_ = true;
                position_ = 0;
                break;
            case 0xFB:  // Continue: from where it stood, at the next pulse
                running_ = waiting_ = true;
                break;
            case 0xFC:
                running_ = waiting_ = false;
                break;
            case 0xF2:  // Song Position Pointer, in sixteenths
                if (e.size == 3)
                    position_ = std::uint64_t((e.data[1] & 0x7F) | ((e.data[2] & 0x7F) << 7)) * 6;
                break;
            default:
                break;
        }
    }
}

TransportView ClockFollower::View(std::uint64_t at, unsigned rate) const {
    TransportView v;
    if (seen_ < 2 || rate == 0) return v;
    const std::uint64_t last = pulses_[(seen_ - 1) % kWindow];
    // Present while its pulses come: the slowest clock we follow (30 bpm)
    // pulses every 83 ms.
    if (at > last + rate / 2) return v;
    const std::size_t n = std::min(seen_, kWindow);
    const std::uint64_t first = pulses_[(seen_ - n) % kWindow];
    const double interval = double(last - first) / double(n - 1);
    if (interval <= 0) return v;
    v.known = true;
    v.rolling = running_ && !waiting_;
    v.rate = rate;
    v.frame = at;
    v.bbt = true;
    v.bpm = 60.0 * rate / (24.0 * interval);
    // Where it stands: the pulses counted, and the part of the next one
    // gone by.
    const double since = std::min(double(at - last) / interval, 1.0);
    const double beats = (double(position_) + (v.rolling ? since : 0)) / 24.0;
    v.beatsPerBar = 4;
    v.ticksPerBeat = 1920;
    v.bar = int(beats / 4) + 1;
    v.beat = int(std::fmod(beats, 4.0)) + 1;
    v.tick = (beats - std::floor(beats)) * 1920;
    return v;
}
