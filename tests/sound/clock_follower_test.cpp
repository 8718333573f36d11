// A MIDI clock followed: its tempo smoothed, its Start, Continue, Stop and
// Song Position Pointer, and its absence.
#include "sound/clock_follower.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr unsigned kRate = 48000;

MidiEvent Message(std::uint32_t frame, std::uint8_t a, std::uint8_t b = 0, std::uint8_t c = 0,
                  std::uint8_t size = 1) {
    return {frame, size, {a, b, c}};
}

// One event per period of 64 frames, as the callback gives them.
void Feed(ClockFollower& clock, std::uint64_t at, MidiEvent e) {
    const std::uint64_t period = at - at % 64;
    e.frame = std::uint32_t(at - period);
    clock.See(&e, 1, period);
}

}  // namespace

TEST(ClockFollower, ATempoSmoothedOverFourBeatsAndTheSongPositionItGives) {
    ClockFollower clock;
    EXPECT_FALSE(clock.View(0, kRate).known);
    // 97.3 bpm with up to 1 ms of jitter either way.
    const double pulse = 60.0 * kRate / (97.3 * 24);
    unsigned seed = 7;
    std::uint64_t at = 0;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 1103515245u + 12345u;
        at = std::uint64_t(std::llround(1000 + k * pulse)) + (seed >> 16) % 97 - 48;
        Feed(clock, at, Message(0, 0xF8));
    }
    TransportView v = clock.View(at, kRate);
    ASSERT_TRUE(v.known);
    EXPECT_FALSE(v.rolling);
    EXPECT_NEAR(v.bpm, 97.3, 0.1);
    // Half a second without a pulse: no clock.
    EXPECT_FALSE(clock.View(at + kRate, kRate).known);

    // Start: rolling from the next pulse, at the song's start; a beat later
    // (24 pulses) at beat 2.
    Feed(clock, at + 10, Message(0, 0xFA));
    EXPECT_FALSE(clock.View(at + 20, kRate).rolling);
    for (int k = 1; k <= 25; ++k) Feed(clock, at + std::uint64_t(k * pulse), Message(0, 0xF8));
    at += std::uint64_t(25 * pulse);
    v = clock.View(at, kRate);
    EXPECT_TRUE(v.rolling);
    EXPECT_EQ(v.bar, 1);
    EXPECT_EQ(v.beat, 2);
    EXPECT_NEAR(v.tick, 0, 1);

    // Stop, a Song Position Pointer of bar 3 beat 3 (40 sixteenths), and
    // Continue: from there at the next pulse.
    Feed(clock, at + 5, Message(0, 0xFC));
    EXPECT_FALSE(clock.View(at + 6, kRate).rolling);
    Feed(clock, at + 70, Message(0, 0xF2, 40, 0, 3));
    Feed(clock, at + 140, Message(0, 0xFB));
    Feed(clock, at + std::uint64_t(pulse), Message(0, 0xF8));
    v = clock.View(at + std::uint64_t(pulse), kRate);
    EXPECT_TRUE(v.rolling);
    EXPECT_EQ(v.bar, 3);
    EXPECT_EQ(v.beat, 3);
}
