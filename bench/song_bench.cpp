// Rendering a stress loop against the per-value rendering it replaces, and
// saving and opening a song against plain file I/O of the same bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/globals.h"
#include "bench_support.h"
#include "com/server.h"
#include "song/loop_renderer.h"
#include "song/mix_reader.h"
#include "song/song.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

namespace {

IOvraAudioGlobals* Library() {
    static ComPtr<IOvraAudioGlobals> g = [] {
        ComPtr<IOvraAudioGlobals> made;
        CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, made.OutVoid());
        UseAudioLibrary(made.get());
        return made;
    }();
    return g.get();
}

// Every tick on.
struct FullGrid : TickGrid {
    bool TickOn(int, int) const override { return true; }
};

ComPtr<IWav> NoisyWav(LONG frames, unsigned seed) {
    ComPtr<IWav> w;
    Library()->MakeWav(frames, 2, 44100, 2, w.Out());
    std::vector<AudioSample> v(std::size_t(frames) * 2);
    for (AudioSample& x : v) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<AudioSample>((seed >> 16) % 24000 - 12000);
    }
    WriteWavValues(w.get(), v);
    return w;
}

// Ten tracks, every tick on, every sample half a second of stereo, 120 bpm.
struct StressSong {
    Song song;
    LoopRenderer renderer;
    StressSong() {
        song.SetBpm(1200000);
        for (int j = 0; j < 10; ++j) song.SampleAt(j)->SetWav(NoisyWav(22050, j + 1));
        renderer.NumTracks = 10;
        renderer.PrepareLoopWav(song);
    }
};

// The rendering as first described: one library call per value read or written.
void LiteralRender(StressSong& s) {
    IWav* loop = s.renderer.LoopWav.get();
    LONG frames = 0;
    loop->get_NumSamples(&frames);
    for (LONG i = 0; i < frames; ++i)
        for (SHORT c = 0; c < 2; ++c) loop->put_Sample(c, i, 0);
    const LONG step = LoopRenderer::StepFrames(s.song.Bpm(), 44100);
    for (LONG tick = 0; tick < 32; ++tick)
        for (LONG j = 0; j < 10; ++j) {
            IWav* src = s.song.SampleAt(j)->Wav().get();
            LONG n = 0;
            src->get_NumSamples(&n);
            for (LONG i = 0; i < n; ++i)
                for (SHORT c = 0; c < 2; ++c) {
                    LONG p = (tick * step + i) % frames;
                    AudioSample a = 0, b = 0;
                    loop->get_Sample(c, p, &a);
                    src->get_Sample(c, i, &b);
                    loop->put_Sample(c, p, ClampSample(LONG{a} + b));
                }
        }
    s.song.Sequence(0)->SetWav(s.renderer.LoopWav);
}

std::vector<AudioSample> Values(IWav* w) {
    return ReadWavValues(w);
}

void BM_Render_literal_baseline(benchmark::State& state) {
    StressSong s;
    const double spent = TimeEach(state, [&] { LiteralRender(s); });
    RecordBaseline(state, "render", spent);
}

// Renders the stress loop in every iteration; the seconds spent.
double TimeRenders(benchmark::State& state, StressSong& s) {
    const double spent =
        TimeEach(state, [&] { s.renderer.RenderSelectedLoop(s.song, FullGrid()); });
    return spent;
}

void BM_Render_RenderSelectedLoop(benchmark::State& state) {
    StressSong s;
    CompareWithBaseline(state, "render", TimeRenders(state, s));
    // Bit for bit what the per-value rendering gives.
    std::vector<AudioSample> fast = Values(s.renderer.LoopWav.get());
    LiteralRender(s);
    state.counters["identical"] = fast == Values(s.renderer.LoopWav.get()) ? 1 : 0;
}

void BM_Render_memcpy_of_touched_bytes(benchmark::State& state) {
    // 320 additions of 22050 stereo frames, plus the loop buffer itself.
    const std::size_t bytes = 320u * 22050 * 4 + 176400 * 4;
    std::vector<char> from(bytes, 1), to(bytes);
    const double spent = TimeEach(state, [&] {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    });
    RecordBaseline(state, "touched", spent);
}

void BM_Render_RenderSelectedLoop_vs_memcpy(benchmark::State& state) {
    StressSong s;
    CompareWithBaseline(state, "touched", TimeRenders(state, s));
}

// Ten samples of 1 MB each.
struct BigSong {
    Song song;
    std::string path = "/tmp/ovra-bench-" + std::to_string(::getpid()) + ".loop";
    BigSong() {
        song.SetBpm(1200000);
        for (int j = 0; j < 10; ++j) song.SampleAt(j)->SetWav(NoisyWav(262144 - 11, j + 7));
    }
    ~BigSong() { std::remove(path.c_str()); }
};

void BM_SaveOpen_plain_io_baseline(benchmark::State& state) {
    BigSong big;
    {
        auto out = CreateFileForWriting(big.path);
        big.song.WriteToFile(*out);
        out->Commit();
    }
    std::vector<char> bytes;
    {
        std::FILE* f = std::fopen(big.path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        bytes.resize(static_cast<std::size_t>(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string plain = big.path + ".plain";
    const double spent = TimeEach(state, [&] {
        std::FILE* f = std::fopen(plain.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        ::fsync(::fileno(f));  // a save that survives a crash, as the song's does
        std::fclose(f);
        std::vector<char> back(bytes.size());
        f = std::fopen(plain.c_str(), "rb");
        std::fread(back.data(), 1, back.size(), f);
        std::fclose(f);
        benchmark::DoNotOptimize(back.data());
    });
    std::remove(plain.c_str());
    RecordBaseline(state, "saveopen", spent);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void BM_SaveOpen_song(benchmark::State& state) {
    BigSong big;
    const double spent = TimeEach(state, [&] {
        auto out = CreateFileForWriting(big.path);
        big.song.WriteToFile(*out);
        out->Commit();
        out.reset();
        auto in = OpenFileForReading(big.path);
        Song back;
        back.ReadFromFile(*in);
    });
    CompareWithBaseline(state, "saveopen", spent);
}

}  // namespace

BENCHMARK(BM_Render_literal_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_RenderSelectedLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_memcpy_of_touched_bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_RenderSelectedLoop_vs_memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOpen_plain_io_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOpen_song)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
