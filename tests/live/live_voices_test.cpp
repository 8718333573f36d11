// The live voices as the output's callback drives them: periods of frames
// with the MIDI events that came in them.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "live/live_voices.h"

namespace {

constexpr unsigned kPeriod = 128;

// A sound whose frame i is (i + 1) / 1000 left and minus that right.
std::shared_ptr<const LiveSound> Ramp(std::size_t frames, unsigned rate = 48000) {
    auto s = std::make_shared<LiveSound>();
    s->rate = rate;
    for (std::size_t i = 0; i < frames; ++i) {
        s->left.push_back(float(i + 1) / 1000.0f);
        s->right.push_back(-float(i + 1) / 1000.0f);
    }
    return s;
}

// Tracks 0 to n - 1 on notes 36 on, each with a ramp of its own length.
LiveKit Kit(int tracks, std::size_t frames = 300) {
    LiveKit kit;
    for (int k = 0; k < tracks; ++k) {
        kit.sounds.push_back(Ramp(frames + std::size_t(k)));
        kit.gains.push_back(1.0f);
        kit.trackOfNote[std::size_t(36 + k)] = std::int16_t(k);
    }
    return kit;
}

MidiEvent NoteOn(std::uint32_t frame, int note, int velocity, int channel = 1) {
    return {
        frame, 3, {std::uint8_t(0x90 | (channel - 1)), std::uint8_t(note), std::uint8_t(velocity)}};
}

struct Output {
    std::vector<float> left, right;
};

// Runs periods through voices; events[p] arrive in period p.
Output Periods(LiveVoices& voices, std::size_t periods,
               const std::vector<std::vector<MidiEvent>>& events = {}) {
    Output out;
    out.left.assign(periods * kPeriod, 0.0f);
    out.right.assign(periods * kPeriod, 0.0f);
    for (std::size_t p = 0; p < periods; ++p) {
        const std::vector<MidiEvent> none;
        const auto& e = p < events.size() ? events[p] : none;
        voices.Mix(out.left.data() + p * kPeriod, out.right.data() + p * kPeriod, kPeriod, e.data(),
                   e.size(), p * kPeriod);
    }
    return out;
}

}  // namespace

TEST(LiveVoices, AHitStartsAtTheFrameItsNoteArrivedAtItsVelocityAndRingsOut) {
    LiveVoices voices;
    voices.SetKit(Kit(2));
    voices.Prepare(48000, 8192);
    // Velocity 127 at frame 5, velocity 64 on track 1 at frame 100 of the
    // next period, a note-off for the first at once (ignored).
    Output out =
        Periods(voices, 6, {{NoteOn(5, 36, 127), {7, 3, {0x80, 36, 0}}}, {NoteOn(100, 37, 64)}});
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(out.left[i], 0.0f) << i;
    // The first hit alone until the second begins, every frame of it.
    for (std::size_t i = 5; i < kPeriod + 100; ++i) {
        EXPECT_FLOAT_EQ(out.left[i], float(i - 5 + 1) / 1000.0f) << i;
        EXPECT_FLOAT_EQ(out.right[i], -float(i - 5 + 1) / 1000.0f) << i;
    }
    // The second adds 64/127 of its ramp from its own frame on; the first
    // ends after its 300 frames, the second after its 301.
    const std::size_t second = kPeriod + 100;
    for (std::size_t i = second; i < second + 301; ++i) {
        const float first = i < 305 ? float(i - 5 + 1) / 1000.0f : 0.0f;
        EXPECT_NEAR(out.left[i], first + float(i - second + 1) / 1000.0f * 64.0f / 127.0f, 1e-6f)
            << i;
    }
    EXPECT_EQ(out.left[second + 301], 0.0f);
    EXPECT_EQ(voices.ActiveVoices(), 0u);
    const NoteSeen seen = voices.LastNote();
    EXPECT_EQ(seen.note, 37);
    EXPECT_EQ(seen.velocity, 64);
    EXPECT_EQ(seen.channel, 1);
    EXPECT_EQ(seen.track, 1);
    EXPECT_EQ(seen.serial, 2u);
}

TEST(LiveVoices, GainsMutesChannelsAndUnmappedNotes) {
    LiveVoices voices;
    LiveKit kit = Kit(3);
    kit.gains = {0.5f, 0.0f, 1.0f};  // track 1 muted
    kit.channel = 10;
    voices.SetKit(kit);
    voices.Prepare(48000, 8192);
    // Track 0 at half volume; the muted track; note 60 (no track); track
    // 2 on channel 1, which is not listened to.
    Output out = Periods(voices, 1,
                         {{NoteOn(0, 36, 127, 10), NoteOn(0, 37, 127, 10), NoteOn(0, 60, 100, 10),
                           NoteOn(0, 38, 127, 1)}});
    for (std::size_t i = 0; i < kPeriod; ++i)
        EXPECT_FLOAT_EQ(out.left[i], 0.5f * float(i + 1) / 1000.0f) << i;
    const NoteSeen seen = voices.LastNote();
    EXPECT_EQ(seen.note, 38);
    EXPECT_EQ(seen.channel, 1);
    EXPECT_EQ(seen.track, -1) << "a channel not listened to plays nothing";
    EXPECT_EQ(seen.serial, 4u);
}

TEST(LiveVoices, RunningStatusGarbageAndLongMessagesNeverPlayWrongly) {
    LiveVoices voices;
    voices.SetKit(Kit(2));
    voices.Prepare(48000, 8192);
    std::vector<MidiEvent> events = {
        {0, 1, {0xF8, 0, 0}},        // clock: keeps running status
        NoteOn(1, 36, 100),          // sets running status to note-on, channel 1
        {2, 2, {37, 90, 0}},         // running status: note 37 velocity 90
        {3, 2, {0xC0, 5, 0}},        // program change: ends the note-on status
        {4, 2, {37, 90, 0}},         // data bytes of a program change: nothing
        {5, 3, {0x90, 0xFF, 0x7F}},  // a data byte with its top bit set: garbage
        {6, 1, {0xF0, 0, 0}},        // the start of system exclusive
        {7, 2, {36, 50, 0}},         // no running status after it
    };
    Output out = Periods(voices, 1, {events});
    EXPECT_EQ(voices.LastNote().serial, 2u);
    EXPECT_EQ(voices.LastNote().note, 37);
    EXPECT_EQ(voices.LastNote().velocity, 90);
    // Two hits: 100/127 of track 0 from frame 1, 90/127 of track 1 from 2.
    EXPECT_NEAR(out.left[10], 10.0f / 1000.0f * 100.0f / 127.0f + 9.0f / 1000.0f * 90.0f / 127.0f,
                1e-6f);
}

TEST(LiveVoices, AFloodStealsTheOldestVoicesAndAFullQueueDrops) {
    LiveVoices voices;
    voices.SetKit(Kit(1, 20000));
    voices.Prepare(48000, 8192);
    std::vector<MidiEvent> flood;
    for (std::uint32_t i = 0; i < 1000; ++i) flood.push_back(NoteOn(i % kPeriod, 36, 1 + i % 127));
    Output out = Periods(voices, 3, {flood});
    EXPECT_EQ(voices.ActiveVoices(), LiveVoices::kVoices);
    EXPECT_EQ(voices.Steals(), 1000u - LiveVoices::kVoices);
    EXPECT_TRUE(std::isfinite(out.left.back()));
    // Hits from other threads past the queue's room are dropped and counted.
    std::size_t taken = 0;
    for (int i = 0; i < 1000; ++i) taken += voices.Hit(0, 100) ? 1 : 0;
    EXPECT_EQ(taken, LiveVoices::kQueued);
    EXPECT_EQ(voices.Dropped(), 1000u - LiveVoices::kQueued);
    Periods(voices, 1);
    EXPECT_EQ(voices.Steals(), 1000u - LiveVoices::kVoices + LiveVoices::kQueued);
    // A hit from another thread plays from the start of the next period.
    LiveVoices quiet;
    quiet.SetKit(Kit(1));
    quiet.Prepare(48000, 8192);
    std::thread([&] { EXPECT_TRUE(quiet.Hit(0, 127)); }).join();
    out = Periods(quiet, 1);
    EXPECT_FLOAT_EQ(out.left[0], 1.0f / 1000.0f);
}

TEST(LiveVoices, AKitReplacedWhileVoicesRingIsFreedOnlyOnceTheyEnd) {
    LiveVoices voices;
    voices.SetKit(Kit(1, 1000));
    voices.Prepare(48000, 8192);
    std::weak_ptr<const LiveSound> first;
    {
        Output out = Periods(voices, 1, {{NoteOn(0, 36, 127)}});
        (void)out;
    }
    LiveKit other = Kit(1, 50);
    voices.SetKit(other);
    Periods(voices, 1);  // the callback takes the new kit; the old voice rings on
    voices.Collect();
    // The old sound still plays where it left off, beside a hit of the new.
    Output out = Periods(voices, 1, {{NoteOn(0, 36, 127)}});
    EXPECT_FLOAT_EQ(out.left[0], float(2 * kPeriod + 1) / 1000.0f + 1.0f / 1000.0f);
    Periods(voices, 10);
    voices.Collect();
    EXPECT_EQ(voices.ActiveVoices(), 0u);
}

TEST(LiveVoices, SoundsAtAnotherRateAreResampledToTheDevicesOnce) {
    LiveVoices voices;
    LiveKit kit;
    auto s = std::make_shared<LiveSound>();
    s->rate = 44100;
    s->left.assign(4410, 0.25f);
    s->right.assign(4410, 0.25f);
    kit.sounds.push_back(s);
    kit.gains.push_back(1.0f);
    kit.trackOfNote[36] = 0;
    voices.SetKit(kit);
    voices.Prepare(48000, 8192);
    Output out = Periods(voices, 60, {{NoteOn(0, 36, 127)}});
    // 0.1 s long at either rate: 4800 frames at 48 kHz.
    std::size_t last = 0;
    for (std::size_t i = 0; i < out.left.size(); ++i)
        if (std::fabs(out.left[i]) > 1e-3f) last = i;
    EXPECT_NEAR(double(last), 4800.0, 30.0);
    EXPECT_NEAR(out.left[2400], 0.25f, 1e-3f);
}

TEST(LiveVoices, AChokeEndsTheGroupsOtherTracksAtItsFrameWithAFiveMillisecondFade) {
    LiveVoices voices;
    voices.Prepare(48000, kPeriod);
    LiveKit kit = Kit(3, 2000);
    kit.chokes = {2, 2, 0};  // tracks 0 and 1 in group 2, track 2 in none
    voices.SetKit(kit);
    // Track 0 rings from frame 10; track 2 at 20 cuts nothing; track 1 at
    // 300 (period 2, frame 44) chokes track 0; track 1 again does not
    // choke itself.
    const Output out = Periods(voices, 12,
                               {{NoteOn(10, 36, 127), NoteOn(20, 38, 127)},
                                {},
                                {NoteOn(44, 37, 127)},
                                {},
                                {},
                                {NoteOn(100, 37, 127)}});
    auto ramp = [](long i) { return i < 0 ? 0.0f : float(i + 1) / 1000.0f; };
    const unsigned fade = 240;  // 5 ms at 48000 Hz
    for (long f = 0; f < long(out.left.size()); ++f) {
        float want = ramp(f - 20);  // track 2, unchoked
        if (f >= 10 && f < 300) want += ramp(f - 10);
        if (f >= 300 && f < 300 + long(fade))
            want += ramp(f - 10) * float(fade - unsigned(f - 300)) / float(fade);
        if (f >= 300) want += ramp(f - 300);
        if (f >= 740) want += ramp(f - 740);
        ASSERT_NEAR(out.left[std::size_t(f)], want, 1e-3) << f;
    }
}
