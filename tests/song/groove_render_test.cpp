// Rendering of the groove settings, each against values worked out here
// from its definition: a loop's own length and resolution, pan, trim,
// reverse, pitch, choke, master level, clip counting and humanize.
#include <cmath>
#include <set>

#include "common/song_fixture.h"
#include "song/loop_renderer.h"
#include "song/track_sound.h"

namespace {

using GrooveRendering = AudioLibrary;

struct Grid : TickGrid {
    std::set<std::pair<int, int>> on;
    bool TickOn(int row, int tick) const override { return on.count({row, tick}) > 0; }
};

ComPtr<IWav> Stereo(IOvraAudioGlobals* g, LONG frames, AudioSample (*left)(LONG),
                    AudioSample (*right)(LONG)) {
    ComPtr<IWav> w;
    g->MakeWav(frames, 2, 44100, 2, w.Out());
    for (LONG i = 0; i < frames; ++i) {
        w->put_Sample(0, i, left(i));
        w->put_Sample(1, i, right(i));
    }
    return w;
}

AudioSample L(const std::vector<AudioSample>& v, LONG f) {
    return v[std::size_t(f) * 2];
}
AudioSample R(const std::vector<AudioSample>& v, LONG f) {
    return v[std::size_t(f) * 2 + 1];
}

// The frames of a loop and of a step, from the tempo's definition: a beat
// is 60 / bpm seconds, a tick a beat / ticksPerBeat, each kept as a single.
LONG FramesFor(double bpm, int ticks, int perBeat) {
    return LONG(std::nearbyint(double(float(60.0 / bpm * ticks / perBeat)) * 44100));
}

Song OneTrackSong(double bpm) {
    Song song;
    song.SetBpm(std::int64_t(bpm * 10000));
    AddTracks(*song.Sequence(0), 2, 64);
    return song;
}

}  // namespace

TEST_F(GrooveRendering, TripletLoopsAreAsLongAsTheirTicksAndHitOnTheirOwnGrid) {
    for (auto [ticks, perBeat] : {std::pair{12, 3}, {9, 3}, {1, 2}, {64, 8}, {24, 6}}) {
        Song song = OneTrackSong(100);
        song.SampleAt(0)->SetWav(Stereo(
            globals_.get(), 3, [](LONG) { return AudioSample(1000); },
            [](LONG) { return AudioSample(-1000); }));
        LoopRenderer r;
        r.TicksPerLoop = ticks;
        r.TicksPerBeat = perBeat;
        r.NumTracks = 1;
        Grid grid;
        for (int i = 0; i < ticks; i += 2) grid.on.insert({0, i});
        const std::vector<AudioSample> v = r.RenderLoopValues(song, grid);
        const LONG frames = FramesFor(100, ticks, perBeat);
        ASSERT_EQ(v.size(), std::size_t(frames) * 2) << ticks << "/" << perBeat;
        const LONG step = LONG(std::nearbyint(double(float(60.0 / (100.0 * perBeat))) * 44100));
        std::vector<LONG> hits;
        for (LONG f = 0; f < frames; ++f)
            if (L(v, f) != 0 && (f == 0 || L(v, f - 1) == 0)) hits.push_back(f);
        std::vector<LONG> want;
        for (int i = 0; i < ticks; i += 2) want.push_back(i * step);
        EXPECT_EQ(hits, want) << ticks << "/" << perBeat;
    }
}

TEST_F(GrooveRendering, PanTrimReverseAndMasterLevelScaleWhatTheyShould) {
    Song song = OneTrackSong(120);
    // Left: a ramp up; right: a ramp down.
    song.SampleAt(0)->SetWav(Stereo(
        globals_.get(), 1000, [](LONG i) { return AudioSample(i * 10); },
        [](LONG i) { return AudioSample(-i * 10); }));
    LoopRenderer r;
    r.TicksPerLoop = 32;
    r.NumTracks = 1;
    Grid grid;
    grid.on = {{0, 0}};
    const std::vector<AudioSample> plain = r.RenderLoopValues(song, grid);

    TrackSound s;
    s.pan = -100;  // hard left: the right channel is silent, the left unchanged
    song.SampleAt(0)->SetSound(s);
    std::vector<AudioSample> v = r.RenderLoopValues(song, grid);
    for (LONG f : {0, 1, 500, 999}) {
        EXPECT_EQ(L(v, f), L(plain, f));
        EXPECT_EQ(R(v, f), 0);
    }
    s.pan = 100;
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 700), 0);
    EXPECT_EQ(R(v, 700), -7000);
    s.pan = 25;  // a quarter right: left at 75 %
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 333), AudioSample(std::nearbyint(3330 * 0.75)));
    EXPECT_EQ(R(v, 333), -3330);

    // Frames 100 to 299 only, then reversed.
    s = TrackSound{};
    s.start = 100;
    s.end = 300;
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 0), 1000);
    EXPECT_EQ(L(v, 199), 2990);
    EXPECT_EQ(L(v, 200), 0);
    s.reverse = true;
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 0), 2990);
    EXPECT_EQ(R(v, 0), -2990);
    EXPECT_EQ(L(v, 199), 1000);
    EXPECT_EQ(L(v, 200), 0);
    // A start past the end plays nothing; an end past it plays to the end.
    s = TrackSound{};
    s.start = 5000;
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 0), 0);
    s = TrackSound{.start = 10, .end = 90000};
    song.SampleAt(0)->SetSound(s);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 989), 9990);
    EXPECT_EQ(L(v, 990), 0);

    // -6 dB: every value times 10^(-600 / 2000), rounded.
    song.SampleAt(0)->SetSound(TrackSound{});
    song.SetMasterLevel(-600);
    v = r.RenderLoopValues(song, grid);
    for (LONG f : {1, 321, 999})
        EXPECT_EQ(L(v, f), AudioSample(std::nearbyint(f * 10 * std::pow(10.0, -0.3))));
    song.SetMasterLevel(0);
    EXPECT_EQ(r.RenderLoopValues(song, grid), plain) << "back at 0 dB, bit for bit";
}

TEST_F(GrooveRendering, ClippingIsCountedAndAMasterCutTakesItAway) {
    Song song = OneTrackSong(120);
    for (int t = 0; t < 2; ++t)
        song.SampleAt(t)->SetWav(Stereo(
            globals_.get(), 100, [](LONG) { return AudioSample(20000); },
            [](LONG) { return AudioSample(-20000); }));
    LoopRenderer r;
    r.NumTracks = 2;
    Grid grid;
    grid.on = {{0, 0}, {1, 0}};
    std::vector<AudioSample> v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(v, 0), 32767);
    EXPECT_EQ(r.Clipped, 200) << "100 frames, both channels";
    EXPECT_EQ(r.Peak, 32768);
    song.SetMasterLevel(-600);
    v = r.RenderLoopValues(song, grid);
    EXPECT_EQ(r.Clipped, 0);
    EXPECT_EQ(L(v, 0), 2 * AudioSample(std::nearbyint(20000 * std::pow(10.0, -0.3))));
    EXPECT_EQ(r.Peak, LONG(L(v, 0)));
}

TEST_F(GrooveRendering, PitchUpAnOctaveHalvesTheLengthAndDoublesTheFrequency) {
    Song song = OneTrackSong(60);
    // One second of 441 Hz.
    song.SampleAt(0)->SetWav(Stereo(
        globals_.get(), 44100,
        [](LONG i) {
            return AudioSample(std::lround(8000 * std::sin(2 * M_PI * 441 * i / 44100)));
        },
        [](LONG i) {
            return AudioSample(std::lround(8000 * std::sin(2 * M_PI * 441 * i / 44100)));
        }));
    LoopRenderer r;
    r.TicksPerLoop = 8;
    r.TicksPerBeat = 2;  // four seconds
    r.NumTracks = 1;
    Grid grid;
    grid.on = {{0, 0}};
    auto measure = [&](int cents, LONG& length, int& crossings) {
        song.SampleAt(0)->SetSound(TrackSound{.pitch = std::int16_t(cents)});
        const std::vector<AudioSample> v = r.RenderLoopValues(song, grid);
        length = 0;
        crossings = 0;
        for (LONG f = 1; f < LONG(v.size() / 2); ++f) {
            if (std::abs(L(v, f)) > 200) length = f + 1;
            if ((L(v, f - 1) < 0) != (L(v, f) < 0)) ++crossings;
        }
    };
    LONG length = 0;
    int crossings = 0;
    measure(1200, length, crossings);
    EXPECT_NEAR(length, 22050, 64);
    EXPECT_NEAR(crossings, 882, 4) << "441 cycles, now in half a second";
    measure(-1200, length, crossings);
    EXPECT_NEAR(length, 88200, 64);
    EXPECT_NEAR(crossings, 882, 4) << "441 cycles over two seconds";
    measure(700, length, crossings);  // a fifth: 2^(7/12) faster
    EXPECT_NEAR(length, 44100 / std::exp2(7 / 12.0), 64);
}

TEST_F(GrooveRendering, AChokeEndsTheOtherTracksSoundAtItsHitWithAFiveMillisecondFade) {
    Song song = OneTrackSong(120);
    // A long open sound on track 0, a short closed one on track 1.
    song.SampleAt(0)->SetWav(Stereo(
        globals_.get(), 40000, [](LONG) { return AudioSample(1000); },
        [](LONG) { return AudioSample(1000); }));
    song.SampleAt(1)->SetWav(Stereo(
        globals_.get(), 50, [](LONG) { return AudioSample(7); },
        [](LONG) { return AudioSample(7); }));
    LoopRenderer r;
    r.NumTracks = 2;
    Grid grid;
    grid.on = {{0, 0}, {1, 2}, {0, 8}};
    const LONG step = LoopRenderer::StepFrames(song.Bpm(), 44100);
    const std::vector<AudioSample> ringing = r.RenderLoopValues(song, grid);
    EXPECT_EQ(L(ringing, 2 * step + 100), 1000) << "in no group, both ring";

    for (int t = 0; t < 2; ++t) song.SampleAt(t)->SetSound(TrackSound{.choke = 3});
    const std::vector<AudioSample> v = r.RenderLoopValues(song, grid);
    const LONG cut = 2 * step, fade = 220;  // 5 ms at 44100 Hz
    EXPECT_EQ(L(v, cut - 1), 1000);
    for (LONG k = 0; k < fade; ++k) {
        const AudioSample want =
            AudioSample(std::lround(1000.0 * (fade - k) / fade)) + (k < 50 ? 7 : 0);
        ASSERT_EQ(L(v, cut + k), want) << k;
    }
    EXPECT_EQ(L(v, cut + fade), 0);
    EXPECT_EQ(L(v, 8 * step + 5), 1000) << "the next open hit rings again";
    // Track 1's short sound is not cut by anything, and a hit of the same
    // track does not choke itself.
    EXPECT_EQ(L(v, 8 * step - 1), 0);

    // Another group does not choke.
    song.SampleAt(1)->SetSound(TrackSound{.choke = 4});
    EXPECT_EQ(r.RenderLoopValues(song, grid), ringing);
}

TEST_F(GrooveRendering, HumanizeMovesHitsWithinItsRangeTheSameWayEveryTime) {
    Song song = OneTrackSong(120);
    song.SampleAt(0)->SetWav(Stereo(
        globals_.get(), 1, [](LONG) { return AudioSample(10000); },
        [](LONG) { return AudioSample(10000); }));
    LoopRenderer r;
    r.NumTracks = 1;
    Grid grid;
    for (int i = 1; i < 32; ++i) grid.on.insert({0, i});
    const LONG step = LoopRenderer::StepFrames(song.Bpm(), 44100);
    song.SetHumanize({.timing = 10, .velocity = 30, .seed = 1234});
    const std::vector<AudioSample> a = r.RenderLoopValues(song, grid);
    EXPECT_EQ(r.RenderLoopValues(song, grid), a) << "the same seed, the same rendering";
    int moved = 0, softer = 0, louder = 0;
    for (int i = 1; i < 32; ++i) {
        LONG at = -1;
        for (LONG f = i * step - 441; f <= i * step + 441; ++f)
            if (L(a, f) != 0) at = f;
        ASSERT_GE(at, 0) << "tick " << i << " lands within 10 ms";
        moved += at != i * step;
        // Full velocity, up to 30 % either way, no louder than full.
        const int velocity = int(std::lround(L(a, at) * 127.0 / 10000));
        EXPECT_GE(velocity, 88);
        softer += velocity < 127;
        louder += velocity == 127;
    }
    EXPECT_GT(moved, 25);
    EXPECT_GT(softer, 5);
    song.SetHumanize({.timing = 10, .velocity = 30, .seed = 1235});
    EXPECT_NE(r.RenderLoopValues(song, grid), a) << "another seed, another variation";
    song.SetHumanize({});
    const std::vector<AudioSample> exact = r.RenderLoopValues(song, grid);
    for (int i = 1; i < 32; ++i) EXPECT_EQ(L(exact, i * step), 10000);
}
