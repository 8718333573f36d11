// Loop rendering: buffer sizes at each tempo, placement, wrap-around and
// clipping, against a plain reference computed here.
#include <cmath>

#include "common/song_fixture.h"
#include "song/loop_renderer.h"
#include "song/mix_reader.h"

namespace {

using Rendering = AudioLibrary;

// A grid of explicit ticks.
struct Grid : TickGrid {
    std::set<std::pair<int, int>> on;  // (row, tick)
    bool TickOn(int row, int tick) const override { return on.count({row, tick}) > 0; }
};

ComPtr<IWav> Signal(IOvraAudioGlobals* g, LONG frames, SHORT channels, AudioSample (*f)(LONG)) {
    ComPtr<IWav> w;
    g->MakeWav(frames, channels, 44100, 2, w.Out());
    for (LONG i = 0; i < frames * channels; ++i)
        w->put_Sample(static_cast<SHORT>(i % channels), i / channels, f(i));
    return w;
}

// The rendering as the per-value description has it, on plain arrays, with
// the mix and swing applied as a musician expects: a muted track silent,
// only soloed tracks when any is, each value scaled by the volume, every
// second tick late by the swing's share of a step.
std::vector<AudioSample> Reference(Song& song, const Grid& grid, LONG frames, LONG step, LONG ticks,
                                   LONG tracks) {
    std::vector<AudioSample> out(std::size_t(frames) * 2, 0);
    bool anySolo = false;
    for (LONG j = 0; j < tracks; ++j) anySolo |= song.SampleAt(j)->Mix().solo;
    const LONG swing = LONG(std::nearbyint(step * song.Swing() / 10000.0));
    for (LONG i = 0; i < ticks; ++i)
        for (LONG j = 0; j < tracks; ++j) {
            const TrackMix mix = song.SampleAt(j)->Mix();
            if (!grid.TickOn(j, i) || !song.SampleAt(j)->Wav()) continue;
            if (mix.mute || (anySolo && !mix.solo)) continue;
            IWav* src = song.SampleAt(j)->Wav().get();
            LONG n = FramesOf(src);
            for (LONG f = 0; f < n; ++f)
                for (SHORT c = 0; c < 2; ++c) {
                    LONG p = (i * step + (i % 2 ? swing : 0) + f) % frames;
                    AudioSample v = 0;
                    src->get_Sample(c, f, &v);
                    v = AudioSample(std::clamp(LONG(std::nearbyint(v * mix.volume / 100.0)),
                                               LONG(-32768), LONG(32767)));
                    LONG sum = out[std::size_t(p) * 2 + c] + v;
                    out[std::size_t(p) * 2 + c] =
                        static_cast<AudioSample>(std::clamp(sum, -32768, 32767));
                }
        }
    return out;
}

}  // namespace

TEST_F(Rendering, LoopLengthsFollowTheWorkedValues) {
    struct {
        std::int64_t bpm;
        LONG ticks, frames, tickLength, step;
    } rows[] = {{1200000, 32, 176400, 5512, 5512},
                {1100000, 32, 192436, 6014, 6014},
                {1000000, 16, 105840, 6615, 6615},
                {720000, 32, 294000, 9188, 9187}};
    for (auto row : rows) {
        Song song;
        song.SetBpm(row.bpm);
        LoopRenderer r;
        r.TicksPerLoop = row.ticks;
        r.PrepareLoopWav(song);
        EXPECT_EQ(FramesOf(r.LoopWav.get()), row.frames) << row.bpm;
        EXPECT_EQ(r.TickLength, row.tickLength) << row.bpm;
        EXPECT_EQ(LoopRenderer::StepFrames(row.bpm, 44100), row.step) << row.bpm;
    }
    EXPECT_EQ(ErrorOf([] { LoopRenderer::LoopFrames(0, 32); }), kErrDivisionByZero);
    EXPECT_EQ(ErrorOf([] { LoopRenderer::StepFrames(0, 44100); }), kErrDivisionByZero);
}

TEST_F(Rendering, PlacesSamplesAtTheirTicksAndWraps) {
    Song song;
    song.SetBpm(1200000);
    LoopRenderer r;
    r.NumTracks = 2;
    r.PrepareLoopWav(song);
    EXPECT_EQ(FramesOf(r.LoopWav.get()), 176400);
    EXPECT_EQ(r.TickLength, 5512);
    song.SampleAt(0)->SetWav(
        Signal(globals_.get(), 1000, 2, [](LONG i) { return AudioSample(1 + i % 50); }));
    song.SampleAt(1)->SetWav(Signal(globals_.get(), 10000, 2, [](LONG) { return AudioSample(3); }));

    Grid grid;
    grid.on = {{0, 0}};
    r.RenderSelectedLoop(song, grid);
    std::vector<AudioSample> v = ValuesOf(r.LoopWav.get());
    ASSERT_EQ(v.size(), 176400u * 2);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1999], 1 + 1999 % 50);
    EXPECT_EQ(v[2000], 0);
    EXPECT_EQ(song.Sequence(0)->Wav(), r.LoopWav) << "the buffer is the loop's rendering";

    // Tick 31 of the long sample runs past the end and on from the start.
    grid.on = {{1, 31}};
    r.RenderSelectedLoop(song, grid);
    v = ValuesOf(r.LoopWav.get());
    EXPECT_EQ(v[2 * 170871], 0);
    EXPECT_EQ(v[2 * 170872], 3);
    EXPECT_EQ(v[2 * 176399 + 1], 3);
    EXPECT_EQ(v[2 * 4471], 3);
    EXPECT_EQ(v[2 * 4472], 0);
    EXPECT_EQ(v[0], 3) << "rendering starts from silence every time";

    grid.on.clear();
    r.RenderSelectedLoop(song, grid);
    EXPECT_EQ(ValuesOf(r.LoopWav.get()), std::vector<AudioSample>(176400 * 2, 0));
}

TEST_F(Rendering, MatchesThePerValueReferenceWithClippingMonoAndLongSamples) {
    Song song;
    song.SetBpm(20000000);  // 2000 bpm keeps the loop short: 7056 frames
    LoopRenderer r;
    r.NumTracks = 5;
    r.PrepareLoopWav(song);
    const LONG frames = FramesOf(r.LoopWav.get());
    auto full = [](LONG i) { return AudioSample(i % 2 ? -32768 : 32767); };
    song.SampleAt(0)->SetWav(Signal(globals_.get(), 300, 2, full));
    song.SampleAt(1)->SetWav(Signal(globals_.get(), 300, 2, full));
    song.SampleAt(2)->SetWav(
        Signal(globals_.get(), 300, 2, [](LONG i) { return AudioSample(i % 2 ? 900 : -900); }));
    song.SampleAt(3)->SetWav(
        Signal(globals_.get(), 257, 1, [](LONG i) { return AudioSample(i * 97); }));  // mono
    song.SampleAt(4)->SetWav(Signal(globals_.get(), frames * 2 + 77, 2,
                                    [](LONG i) { return AudioSample(i % 300 - 150); }));
    song.SampleAt(5);  // a row beyond NumTracks is not rendered

    Grid grid;
    for (int i = 0; i < 32; i += 3) grid.on.insert({0, i});
    for (int i = 0; i < 32; i += 3) grid.on.insert({1, i});
    for (int i = 0; i < 32; i += 3) grid.on.insert({2, i});
    grid.on.insert({3, 5});
    grid.on.insert({3, 31});
    grid.on.insert({4, 30});
    r.RenderSelectedLoop(song, grid);
    const LONG step = LoopRenderer::StepFrames(song.Bpm(), 44100);
    std::vector<AudioSample> want = Reference(song, grid, frames, step, 32, 5);
    std::vector<AudioSample> got = ValuesOf(r.LoopWav.get());
    EXPECT_EQ(got, want);

    // Two full-scale samples clip; the third is added to the clipped value.
    grid.on = {{0, 0}, {1, 0}, {2, 0}};
    r.RenderSelectedLoop(song, grid);
    got = ValuesOf(r.LoopWav.get());
    EXPECT_EQ(got[0], 32767 - 900);
    EXPECT_EQ(got[1], -32768 + 900);
    // A mono sample's right channel is its next frame; after its last frame, 0.
    grid.on = {{3, 0}};
    r.RenderSelectedLoop(song, grid);
    got = ValuesOf(r.LoopWav.get());
    EXPECT_EQ(got[0], 0);
    EXPECT_EQ(got[1], 97);
    EXPECT_EQ(got[2 * 256], AudioSample(256 * 97));
    EXPECT_EQ(got[2 * 256 + 1], 0);
}

// A loop far longer than the stretches the renderer sums at a time: samples
// that cross stretch boundaries, wrap past the loop's end several times,
// clip there, or are mono must come out as the per-value reference has
// them, in the window's buffer and in the values an export takes.
TEST_F(Rendering, LongLoopsRenderAcrossStretchesAsTheReference) {
    Song song;
    song.SetBpm(1200000);  // 120 bpm: 176400 frames, eleven stretches
    LoopRenderer r;
    r.NumTracks = 4;
    r.PrepareLoopWav(song);
    const LONG frames = FramesOf(r.LoopWav.get());
    ASSERT_EQ(frames, 176400);
    auto full = [](LONG i) { return AudioSample(i % 2 ? -32768 : 32767); };
    song.SampleAt(0)->SetWav(Signal(globals_.get(), 20000, 2, full));
    song.SampleAt(1)->SetWav(Signal(globals_.get(), 20000, 2, full));
    song.SampleAt(2)->SetWav(Signal(globals_.get(), frames * 3 + 5001, 2,
                                    [](LONG i) { return AudioSample(i % 601 - 300); }));
    song.SampleAt(3)->SetWav(
        Signal(globals_.get(), 17000, 1, [](LONG i) { return AudioSample(i * 31); }));  // mono
    Grid grid;
    for (int i = 0; i < 32; i += 5) grid.on.insert({0, i});
    for (int i = 2; i < 32; i += 7) grid.on.insert({1, i});
    grid.on.insert({2, 29});
    grid.on.insert({3, 5});
    grid.on.insert({3, 31});
    const LONG step = LoopRenderer::StepFrames(song.Bpm(), 44100);
    const std::vector<AudioSample> want = Reference(song, grid, frames, step, 32, 4);
    r.RenderSelectedLoop(song, grid);
    EXPECT_EQ(ValuesOf(r.LoopWav.get()), want);
    EXPECT_EQ(r.RenderLoopValues(song, grid), want);
}

TEST_F(Rendering, VolumeMuteSoloAndSwingShapeTheMix) {
    Song song;
    song.SetBpm(20000000);
    LoopRenderer r;
    r.NumTracks = 4;
    r.PrepareLoopWav(song);
    const LONG frames = FramesOf(r.LoopWav.get());
    for (int j = 0; j < 4; ++j)
        song.SampleAt(j)->SetWav(Signal(
            globals_.get(), 250, 2, [](LONG i) { return AudioSample((i * 211) % 40000 - 20000); }));
    Grid grid;
    for (int i = 0; i < 32; ++i)
        for (int j = 0; j < 4; ++j)
            if ((i + j) % 3 == 0) grid.on.insert({j, i});
    const LONG step = LoopRenderer::StepFrames(song.Bpm(), 44100);
    auto check = [&](const char* what) {
        r.RenderSelectedLoop(song, grid);
        EXPECT_EQ(ValuesOf(r.LoopWav.get()), Reference(song, grid, frames, step, 32, 4)) << what;
    };
    check("the default mix");
    const std::vector<AudioSample> plain = ValuesOf(r.LoopWav.get());
    song.SampleAt(0)->SetMix({.volume = 200});  // clamped, not wrapped
    song.SampleAt(1)->SetMix({.volume = 37});
    check("volumes");
    song.SampleAt(2)->SetMix({.volume = 100, .mute = true});
    check("a mute");
    song.SampleAt(3)->SetMix({.volume = 100, .solo = true});
    song.SampleAt(1)->SetMix({.volume = 37, .solo = true});
    check("two solos");
    song.SetSwing(5000);
    check("swing of 50 %");
    song.SetSwing(1234);
    check("swing of 12.34 %");
    // Back to the defaults: bit for bit the plain rendering.
    for (int j = 0; j < 4; ++j) song.SampleAt(j)->SetMix({});
    song.SetSwing(0);
    r.RenderSelectedLoop(song, grid);
    EXPECT_EQ(ValuesOf(r.LoopWav.get()), plain);
}

TEST_F(Rendering, MixWavIntoAndClearLoopWavWorkOnTheLoopBuffer) {
    Song song;
    song.SetBpm(20000000);  // 7056 frames
    LoopRenderer r;
    r.PrepareLoopWav(song);
    const LONG frames = FramesOf(r.LoopWav.get());
    ComPtr<IWav> loud =
        Signal(globals_.get(), 400, 2, [](LONG i) { return AudioSample(i % 2 ? -30000 : 30000); });
    // Placed at an offset, wrapping at the loop's end, each addition clipped.
    r.MixWavInto(r.LoopWav.get(), frames - 100, loud.get());
    r.MixWavInto(r.LoopWav.get(), frames - 100, loud.get());
    std::vector<AudioSample> v = ValuesOf(r.LoopWav.get());
    EXPECT_EQ(v[2 * (frames - 101)], 0);
    EXPECT_EQ(v[2 * (frames - 100)], 32767);
    EXPECT_EQ(v[2 * (frames - 100) + 1], -32768);
    EXPECT_EQ(v[2 * 299], 32767);
    EXPECT_EQ(v[2 * 300], 0);
    // A rendering of one track, then the sample mixed in once more, is the
    // rendering of two tracks playing it on the same tick.
    Grid grid;
    song.SampleAt(0)->SetWav(loud);
    song.SampleAt(1)->SetWav(loud);
    r.NumTracks = 1;
    grid.on = {{0, 0}};
    r.RenderSelectedLoop(song, grid);
    r.MixWavInto(r.LoopWav.get(), 0, loud.get());
    grid.on.insert({1, 0});
    EXPECT_EQ(ValuesOf(r.LoopWav.get()),
              Reference(song, grid, frames, LoopRenderer::StepFrames(song.Bpm(), 44100), 32, 2));
    r.ClearLoopWav();
    EXPECT_EQ(ValuesOf(r.LoopWav.get()), std::vector<AudioSample>(std::size_t(frames) * 2, 0));
    EXPECT_EQ(FramesOf(r.LoopWav.get()), frames);
    // A target shorter than the loop takes what lands inside it, no more.
    ComPtr<IWav> shortTarget = Signal(globals_.get(), 100, 2, [](LONG) { return AudioSample(0); });
    r.MixWavInto(shortTarget.get(), 50, loud.get());
    v = ValuesOf(shortTarget.get());
    ASSERT_EQ(v.size(), 200u);
    EXPECT_EQ(v[2 * 49], 0);
    EXPECT_EQ(v[2 * 50], 30000);
    EXPECT_EQ(v[2 * 99 + 1], -30000);
}

TEST_F(Rendering, TracksWithoutAudioAreSkippedAndTempoZeroFailsFirst) {
    Song song;
    song.SetBpm(1200000);
    LoopRenderer r;
    r.NumTracks = 3;
    r.PrepareLoopWav(song);
    Grid grid;
    grid.on = {{0, 0}, {1, 4}, {2, 8}};
    r.RenderSelectedLoop(song, grid);  // no sample has audio
    EXPECT_EQ(ValuesOf(r.LoopWav.get()), std::vector<AudioSample>(176400 * 2, 0));
    EXPECT_TRUE(song.SampleSlots()[1]) << "asking for a sample makes it";

    ComPtr<IWav> before = r.LoopWav;
    song.SetBpm(0);
    EXPECT_EQ(ErrorOf([&] { r.PrepareLoopWav(song); }), kErrDivisionByZero);
    EXPECT_EQ(r.LoopWav, before) << "no buffer was made";
    EXPECT_EQ(ErrorOf([&] { r.RenderSelectedLoop(song, grid); }), kErrDivisionByZero);
}
