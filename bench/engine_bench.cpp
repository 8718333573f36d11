// The engine: what one refill of the output costs against a memcpy of the
// half it writes (the loop's reader copies straight into the device's
// ring; a library reader goes through a block and an array first), and
// how long the owner's thread (the window's) is busy while a 300 MB song
// is saved and a ten-minute file is imported on workers, against doing
// the same work on that thread.
#include <sndfile.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "audio/globals.h"
#include "bench_library.h"
#include "bench_support.h"
#include "com/server.h"
#include "engine/engine.h"
#include "engine/loop_feed.h"
#include "output/av_system.h"
#include "song/song_file.h"
#include "sound/virtual_device.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

namespace {

using Clock = std::chrono::steady_clock;

ComPtr<IWav> NoisyWav(LONG frames) {
    ComPtr<IWav> w;
    Library()->MakeWav(frames, 2, 44100, 2, w.Out());
    std::vector<AudioSample> v(std::size_t(frames) * 2);
    std::uint32_t x = 7;
    for (AudioSample& s : v) s = AudioSample((x = x * 1664525u + 1013904223u) >> 18);
    WriteWavValues(w.get(), v);
    return w;
}

// A loop at 120 bpm, and its halves of one tick as the transport plays it.
constexpr LONG kLoopFrames = 176400, kHalfFrames = kLoopFrames / 32 + 1;

struct NullSink : DirectXEvent8 {
    void DXCallback(LONG) override {}
};

// One memcpy of a half's bytes from the loop into a ring of two halves,
// the halves in turn, as the refills write them.
void BM_Refill_memcpy_of_a_half_baseline(benchmark::State& state) {
    const std::size_t half = std::size_t(kHalfFrames) * 2;
    std::vector<AudioSample> from(std::size_t(kLoopFrames) * 2, 3), ring(2 * half);
    std::size_t at = 0, into = 0;
    const double spent = TimeEach(state, [&] {
        std::memcpy(ring.data() + into, from.data() + at, half * sizeof(AudioSample));
        benchmark::DoNotOptimize(ring.data());
        at = (at + half) % (from.size() - half);
        into = half - into;
    });
    RecordBaseline(state, "half", spent);
}

// Refills alternately the second and first half, as the notifications ask.
void Refills(benchmark::State& state, const ComPtr<IWavReader>& reader) {
    auto device = std::make_shared<VirtualDevice>();
    SetDefaultSoundDevice(device);
    AvSystem av;
    NullSink sink;
    av.PlayAudio(reader.get(),
                 {.EventSink = &sink, .PlayLoop = true, .HalfBufferSize = kHalfFrames});
    // The buffer's start and half events, read off its notification table.
    const LONG first = av.StartEventId(), second = av.HalfEventId();
    bool which = false;
    double spent = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        av.HandleNotification(which ? first : second, true);
        spent += std::chrono::duration<double>(Clock::now() - t0).count();
        which = !which;
    }
    CompareWithBaseline(state, "half", spent);
    av.StopPlaying();
    av.DetachSink(&sink);
    SetDefaultSoundDevice(nullptr);
}

void BM_Refill_from_the_loops_feed(benchmark::State& state) {
    auto feed = std::make_shared<LoopFeed>(NoisyWav(kLoopFrames), 32, kLoopFrames / 32);
    Refills(state, OpenFeedReader(feed));
}

// What every refill did before: the library's reader, a block, an array.
void BM_Refill_from_a_library_reader(benchmark::State& state) {
    ComPtr<IWavReader> reader;
    NoisyWav(kLoopFrames)->OpenReader(reader.Out());
    Refills(state, reader);
}

// The longest the owner's thread is kept busy by start and end of work
// on a worker, polling for what it posted every millisecond.
template <class Start>
double LongestBusy(Engine& engine, Start&& start) {
    double longest = 0;
    auto t0 = Clock::now();
    start();
    longest = std::chrono::duration<double>(Clock::now() - t0).count();
    while (engine.Work()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        t0 = Clock::now();
        engine.RunPosted();
        longest = std::max(longest, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return longest;
}

// A song of the default song's shape with 300 MB of samples.
std::shared_ptr<Song> BigSong() {
    auto song = std::make_shared<Song>();
    song->SetBpm(1200000);
    for (int j = 0; j < 4; ++j) song->SampleAt(j)->SetWav(NoisyWav(LONG(75 * 1024 * 1024 / 16)));
    auto loop = song->Sequence(0);
    for (int j = 0; j < 4; ++j) {
        auto t = std::make_shared<LoopTrack>();
        t->SetNumTicks(32);
        loop->Tracks().push_back(t);
    }
    loop->Track(0)->SetValue(0, true);
    return song;
}

const std::string& Folder() {
    static const std::string folder = [] {
        auto f = std::filesystem::temp_directory_path() / "engine_bench";
        std::filesystem::create_directories(f);
        return f.string();
    }();
    return folder;
}

void BM_SaveAs_300MB_on_the_window_thread_baseline(benchmark::State& state) {
    Library();
    Engine engine;
    engine.ShowSong(BigSong(), "");
    double longest = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        engine.SaveSong(Folder() + "/big.loop");
        longest = std::max(longest, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    state.counters["longest_busy_ms"] = longest * 1000;
}

void BM_SaveAs_300MB_on_a_worker(benchmark::State& state) {
    Library();
    Engine engine;
    engine.ShowSong(BigSong(), "");
    double longest = 0;
    for (auto _ : state)
        longest = std::max(longest, LongestBusy(engine, [&] {
                               engine.SaveSongInBackground(Folder() + "/big.loop", {});
                           }));
    state.counters["longest_busy_ms"] = longest * 1000;
}

const std::string& TenMinutes() {
    static const std::string path = [] {
        const std::string p = Folder() + "/ten-minutes.wav";
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        std::vector<short> v(48000 * 2);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = short(i * 31 % 20000);
        for (int s = 0; s < 600; ++s) sf_writef_short(f, v.data(), 48000);
        sf_close(f);
        return p;
    }();
    return path;
}

void BM_Import_10min_on_the_window_thread_baseline(benchmark::State& state) {
    Library();
    Engine engine;
    engine.StartEmpty();
    double longest = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        ImportedAudio audio = ImportAudioFile(TenMinutes());
        engine.SetSample(0, audio.wav, audio.caption);
        longest = std::max(longest, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    state.counters["longest_busy_ms"] = longest * 1000;
}

void BM_Import_10min_on_a_worker(benchmark::State& state) {
    Library();
    Engine engine;
    engine.StartEmpty();
    double longest = 0;
    for (auto _ : state)
        longest =
            std::max(longest, LongestBusy(engine, [&] {
                         engine.ImportInBackground(
                             "Importing", {TenMinutes()}, [&](std::vector<Engine::Imported> r) {
                                 engine.SetSample(0, r[0].sound.wav, r[0].sound.caption);
                             });
                     }));
    state.counters["longest_busy_ms"] = longest * 1000;
}

}  // namespace

BENCHMARK(BM_Refill_memcpy_of_a_half_baseline);
BENCHMARK(BM_Refill_from_the_loops_feed);
BENCHMARK(BM_Refill_from_a_library_reader);
BENCHMARK(BM_SaveAs_300MB_on_the_window_thread_baseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_SaveAs_300MB_on_a_worker)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Import_10min_on_the_window_thread_baseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_Import_10min_on_a_worker)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
