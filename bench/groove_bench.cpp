// Rendering a 64-tick loop of 16 tracks with pitch, pan and choke against
// the same loop with none of them, and the cost of a pitch change: the
// 2-second sample pitched afresh and the loop rendered again, against the
// same rendering with the pitched sample already kept.
#include <vector>

#include "bench_library.h"
#include "bench_support.h"
#include "song/loop_renderer.h"
#include "song/song.h"

namespace {

// Track j on every (j % 4 + 1)th tick: a busy groove.
struct BusyGrid : TickGrid {
    bool TickOn(int row, int tick) const override { return tick % (row % 4 + 1) == 0; }
};

// 16 tracks of half-second samples, a 64-tick loop of sixteenths at 120 bpm.
struct Groove {
    Song song;
    LoopRenderer renderer;
    explicit Groove(bool shaped) {
        song.SetBpm(1200000);
        for (int j = 0; j < 16; ++j) {
            song.SampleAt(j)->SetWav(SeededNoise(22050, unsigned(j) + 1, 6000));
            if (shaped)
                song.SampleAt(j)->SetSound({.pan = std::int16_t(j * 12 - 90),
                                            .pitch = std::int16_t(j * 50 - 400),
                                            .choke = std::uint8_t(j % 3)});
        }
        renderer.NumTracks = 16;
        renderer.TicksPerLoop = 64;
        renderer.PrepareLoopWav(song);
    }
    void Render() { renderer.RenderSelectedLoop(song, BusyGrid()); }
};

void BM_Groove_plain_baseline(benchmark::State& state) {
    Groove g(false);
    RecordBaseline(state, "plain", TimeEach(state, [&] { g.Render(); }));
}

void BM_Groove_pitch_pan_choke(benchmark::State& state) {
    Groove g(true);
    g.Render();  // the pitched samples are made once and kept
    CompareWithBaseline(state, "plain", TimeEach(state, [&] { g.Render(); }));
}

// One track, a 2-second sample, a 32-tick loop.
struct PitchSong {
    Song song;
    LoopRenderer renderer;
    PitchSong() {
        song.SetBpm(1200000);
        song.SampleAt(0)->SetWav(SeededNoise(88200, 3, 6000));
        song.SampleAt(0)->SetSound({.pitch = 300});
        renderer.NumTracks = 1;
        renderer.PrepareLoopWav(song);
    }
    void Render() { renderer.RenderSelectedLoop(song, BusyGrid()); }
};

void BM_PitchChange_kept_baseline(benchmark::State& state) {
    PitchSong p;
    p.Render();
    RecordBaseline(state, "pitch", TimeEach(state, [&] { p.Render(); }));
}

void BM_PitchChange_pitched_again(benchmark::State& state) {
    PitchSong p;
    int cents = 300;
    const double spent = TimeEach(state, [&] {
        cents = cents == 300 ? 310 : 300;  // another pitch every time
        p.song.SampleAt(0)->SetSound({.pitch = std::int16_t(cents)});
        p.Render();
    });
    CompareWithBaseline(state, "pitch", spent);
    if (state.iterations() > 0)
        state.counters["ms_each"] = 1000.0 * spent / double(state.iterations());
}

}  // namespace

BENCHMARK(BM_Groove_plain_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Groove_pitch_pan_choke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PitchChange_kept_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PitchChange_pitched_again)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
