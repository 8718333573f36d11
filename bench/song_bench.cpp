// Rendering a stress loop against the per-value rendering it replaces, and
// saving and opening a song against plain file I/O of the same bytes.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audio/globals.h"
#include "bench_library.h"
#include "bench_support.h"
#include "com/server.h"
#include "song/loop_renderer.h"
#include "song/mix_reader.h"
#include "song/song.h"
#include "song/song_export.h"
#include "song/song_format.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

namespace {

// Every tick on.
struct FullGrid : TickGrid {
    bool TickOn(int, int) const override { return true; }
};

// Ten tracks, every tick on, every sample half a second of stereo, 120 bpm.
struct StressSong {
    Song song;
    LoopRenderer renderer;
    StressSong() {
        song.SetBpm(1200000);
        for (int j = 0; j < 10; ++j) song.SampleAt(j)->SetWav(SeededNoise(22050, j + 1));
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
        for (int j = 0; j < 10; ++j) song.SampleAt(j)->SetWav(SeededNoise(262144 - 11, j + 7));
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

// A 10-track groove: a half-second sample on each track, every track on
// a few ticks, an arrangement of four loops.
struct Groove {
    Song song;
    std::string folder = "/tmp/ovra-bench-export-" + std::to_string(::getpid());
    Groove() {
        std::filesystem::create_directories(folder);
        song.SetBpm(1200000);
        for (int j = 0; j < 10; ++j) song.SampleAt(j)->SetWav(SeededNoise(22050, j + 11));
        for (int k = 0; k < 4; ++k) {
            auto loop = song.Sequence(k);
            loop->Clear();
            for (int j = 0; j < 10; ++j) {
                auto t = std::make_shared<LoopTrack>();
                t->SetNumTicks(32);
                for (int i = 0; i < 32; ++i)
                    if ((i * (j + 1) + k) % 7 == 0) t->SetValue(std::uint8_t(i), true);
                loop->Tracks().push_back(t);
            }
        }
        song.SetArrangement({{0, 4}, {1, 4}, {2, 2}, {3, 2}});
    }
    ~Groove() { std::filesystem::remove_all(folder); }
};

// The rendering --render did before: one buffer, its image, written pass
// after pass through a file stream.
void WholeBufferRender(Song& song, int loop, int passes, const std::string& out) {
    LoopRenderer r;
    r.NumTracks = song.NumTracks();
    r.SelectedLoopIndex = std::uint8_t(loop);
    r.PrepareLoopWav(song);
    r.RenderSelectedLoop(song, LoopGrid(*song.Sequence(loop)));
    SafeArrayPtr image;
    r.LoopWav->ToByteArray(image.Out());
    const std::uint64_t data = image.Count() - 44;
    WavHeader header;
    std::memcpy(&header, image.Bytes(), 44);
    header.DataHeader.ChunkSize = LONG(data * passes);
    header.RiffHeader.ChunkSize = header.DataHeader.ChunkSize + 36;
    auto file = CreateFileForWriting(out);
    file->WriteBytes(&header, 44);
    for (int p = 0; p < passes; ++p) file->WriteBytes(image.Bytes() + 44, data);
    file->Commit();
}

void BM_Export_whole_buffer_baseline(benchmark::State& state) {
    Library();
    Groove g;
    const double spent =
        TimeEach(state, [&] { WholeBufferRender(g.song, 1, 150, g.folder + "/old.wav"); });
    RecordBaseline(state, "export150", spent);
}

void BM_Export_150_passes_wav(benchmark::State& state) {
    Library();
    Groove g;
    const double spent = TimeEach(
        state, [&] { ExportSong(g.song, {.loop = 1, .times = 150}, g.folder + "/new.wav"); });
    CompareWithBaseline(state, "export150", spent);
    // 1,000 passes (over 11 minutes of audio) in memory of its own: goal under 64 MB.
    state.counters["peak_MB_1000_passes"] =
        PeakKbOf([&] { ExportSong(g.song, {.loop = 1, .times = 1000}, g.folder + "/k.wav"); }) /
        1024;
}

// libsndfile writing the arrangement's samples, already in memory, as FLAC.
void BM_Export_flac_from_memory_baseline(benchmark::State& state) {
    Library();
    Groove g;
    std::vector<AudioSample> all;
    std::vector<std::uint8_t> passes;
    ForEachPass(g.song, {.arrangement = true}, [&](std::uint8_t k) {
        passes.push_back(k);
        return true;
    });
    for (std::uint8_t k : passes) {
        LoopRenderer r;
        r.NumTracks = 10;
        r.SelectedLoopIndex = k;
        r.PrepareLoopWav(g.song);
        r.RenderSelectedLoop(g.song, LoopGrid(*g.song.Sequence(k)));
        std::vector<AudioSample> v = ReadWavValues(r.LoopWav.get());
        all.insert(all.end(), v.begin(), v.end());
    }
    const std::string path = g.folder + "/plain.flac";
    const double spent = TimeEach(state, [&] {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        sf_writef_short(f, all.data(), sf_count_t(all.size() / 2));
        sf_close(f);
    });
    RecordBaseline(state, "flac", spent);
}

void BM_Export_arrangement_flac(benchmark::State& state) {
    Library();
    Groove g;
    const double spent = TimeEach(state, [&] {
        ExportSong(g.song, {.arrangement = true, .format = ExportChoice::Format::kFlac},
                   g.folder + "/piece.flac");
    });
    CompareWithBaseline(state, "flac", spent);
}

// Peak memory of rendering one pass of a long loop (1 bpm: a loop buffer
// of 85 MB), as a multiple of the buffer: the buffer the library holds and
// its image, as before, against --render's one buffer, and against the
// window's rendering into the library's buffer for playback. Goal under 1.5.
void BM_Render_slow_loop_peak_memory(benchmark::State& state) {
    Library();
    Groove g;
    g.song.SetBpm(song_format::kMinBpm);
    const double bufferKb = double(LoopRenderer::LoopFrames(g.song.Bpm(), 32)) * 4 / 1024;
    double before = 0, now = 0, window = 0;
    for (auto _ : state) {
        before = PeakKbOf([&] { WholeBufferRender(g.song, 1, 1, g.folder + "/slow-old.wav"); });
        now =
            PeakKbOf([&] { ExportSong(g.song, {.loop = 1, .times = 1}, g.folder + "/slow.wav"); });
        window = PeakKbOf([&] {
            LoopRenderer r;
            r.NumTracks = g.song.NumTracks();
            r.SelectedLoopIndex = 1;
            r.PrepareLoopWav(g.song);
            r.RenderSelectedLoop(g.song, LoopGrid(*g.song.Sequence(1)));
        });
    }
    state.counters["buffer_MB"] = bufferKb / 1024;
    state.counters["baseline_peak_per_buffer"] = before / bufferKb;
    state.counters["peak_per_buffer"] = now / bufferKb;
    state.counters["window_peak_per_buffer"] = window / bufferKb;
}

}  // namespace

BENCHMARK(BM_Render_slow_loop_peak_memory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_whole_buffer_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_150_passes_wav)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_flac_from_memory_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_arrangement_flac)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_literal_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_RenderSelectedLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_memcpy_of_touched_bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_RenderSelectedLoop_vs_memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOpen_plain_io_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOpen_song)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
