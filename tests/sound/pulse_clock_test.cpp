// MIDI clock pulses placed on a buffer's frames from the passes marked.
#include "sound/pulse_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Heard {
    std::uint64_t frame;
    bool start;
};

PassMark Pass(std::uint64_t played, std::int32_t ticks, std::int32_t tickLength,
              std::uint64_t number, std::uint8_t pulsesPerTick = 6, std::int32_t first = 0) {
    PassMark m;
    m.played = played;
    m.first = first;
    m.ticks = ticks;
    m.tickLength = tickLength;
    m.pulsesPerTick = pulsesPerTick;
    m.number = number;
    return m;
}

// Runs the clock over periods of `period` frames from frame `from` to
// `to`, as the callback does; the pulses on the device's frames, and the
// first frame a stop was said at (or -1).
std::vector<Heard> Clock(PulseClock& clock, std::uint64_t from, std::uint64_t to,
                         std::uint32_t period, double ratio = 1.0, long long* stop = nullptr) {
    std::vector<Heard> heard;
    ClockPulse out[64];
    for (std::uint64_t at = from; at < to; at += period) {
        long stopsAt = -1;
        const std::size_t n = clock.Advance(at, period, ratio, out, 64, &stopsAt);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_LT(out[i].frame, period);
            heard.push_back({at + out[i].frame, out[i].start});
        }
        if (stop && stopsAt >= 0 && *stop < 0) *stop = (long long)(at + std::uint64_t(stopsAt));
    }
    return heard;
}

}  // namespace

TEST(PulseClock, PulsesFallOnTheNearestFrameOfTheirTimePassAfterPass) {
    // 97.3 bpm at 4 ticks a beat: 6799 frames a tick, 6 pulses a tick of
    // 1133.17 frames each; a pass of 16 ticks is 108,784 frames here.
    const std::int32_t tick = 6799, ticks = 16;
    const std::uint64_t pass = 108784;
    PulseClock clock;
    clock.Push(Pass(1000, ticks, tick, 0));
    clock.Push(Pass(1000 + pass, ticks, tick, 1));
    const std::vector<Heard> heard = Clock(clock, 0, 1000 + 2 * pass, 128);
    ASSERT_EQ(heard.size(), 2u * ticks * 6);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const std::size_t p = i / (ticks * 6), k = i % (ticks * 6);
        const std::uint64_t expected =
            1000 + p * pass + std::uint64_t(std::llround(k * tick / 6.0));
        ASSERT_EQ(heard[i].frame, expected) << i;
        EXPECT_EQ(heard[i].start, i == 0) << i;
    }
    // Every sixth pulse is on a tick's first frame.
    EXPECT_EQ(heard[6 * 5].frame, 1000u + 5u * tick);
    EXPECT_TRUE(clock.Running());
}

TEST(PulseClock, ANewTempoAPreviewALateMarkAndAnotherRateAreFollowed) {
    {
        // A pass at another tempo and resolution (3 ticks a beat: 8 pulses
        // a tick) takes over at its first frame; a preview stops the beat.
        PulseClock clock;
        clock.Push(Pass(0, 4, 600, 0));
        clock.Push(Pass(2400, 3, 800, 1, 8));
        clock.Push(Pass(4800, 0, 0, 2));
        long long stop = -1;
        const std::vector<Heard> heard = Clock(clock, 0, 8000, 256, 1.0, &stop);
        ASSERT_EQ(heard.size(), 24u + 24u);
        EXPECT_EQ(heard[23].frame, 2300u);
        EXPECT_EQ(heard[24].frame, 2400u);
        EXPECT_EQ(heard[25].frame, 2500u);
        EXPECT_EQ(heard[47].frame, 2400u + 2300u);
        EXPECT_EQ(stop, 4800);
        EXPECT_FALSE(clock.Running());
    }
    {
        // A mark that came after its first frames were played: the pulses
        // already past are left out, the rest keep their places.
        PulseClock clock;
        clock.Push(Pass(0, 4, 600, 0));
        const std::vector<Heard> heard = Clock(clock, 1000, 2400, 100);
        ASSERT_FALSE(heard.empty());
        EXPECT_EQ(heard.front().frame, 1000u);
        EXPECT_EQ(heard.size(), 14u);
    }
    {
        // A switch into a pass part-way (its frame 250 first): the pulses
        // from there on, the one before it left out.
        PulseClock clock;
        clock.Push(Pass(5000, 4, 600, 3, 6, 250));
        const std::vector<Heard> heard = Clock(clock, 4864, 7000, 128);
        ASSERT_FALSE(heard.empty());
        EXPECT_EQ(heard.front().frame, 5000u + 300u - 250u);
        EXPECT_FALSE(heard.front().start);
    }
    {
        // A buffer at 44100 Hz on a 48000 Hz device: its pulses on the
        // device's frames.
        PulseClock clock;
        clock.Push(Pass(0, 16, 5513, 0));
        const double ratio = 48000.0 / 44100.0;
        const std::vector<Heard> heard = Clock(clock, 0, 100000, 512, ratio);
        ASSERT_GT(heard.size(), 80u);
        for (std::size_t k = 0; k < heard.size(); ++k)
            ASSERT_EQ(heard[k].frame,
                      std::uint64_t(std::llround(double(std::llround(k * 5513 / 6.0)) * ratio)));
    }
}

TEST(PulseClock, AFullRingDropsMarksAndCountsThem) {
    PulseClock clock;
    for (std::size_t i = 0; i < PulseClock::kMarks + 3; ++i) clock.Push(Pass(i * 2400, 4, 600, i));
    EXPECT_EQ(clock.DroppedMarks(), 3u);
    const std::vector<Heard> heard = Clock(clock, 0, PulseClock::kMarks * 2400, 128);
    EXPECT_EQ(heard.size(), PulseClock::kMarks * 24);
}
