// Importing a 3-minute 48 kHz 24-bit stereo FLAC to the song's format,
// against sox doing the same conversion (to 16-bit 44.1 kHz WAV) in the
// same run; and the importer's peak memory against the size of its result.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "audio/globals.h"
#include "bench_support.h"
#include "com/server.h"
#include "import/audio_import.h"
#include "support/audio_library.h"

namespace {

constexpr int kRate = 48000;
constexpr long kFrames = 180L * kRate;

std::string Folder() {
    static std::string folder = [] {
        std::string pattern = "/tmp/ovra-import-bench-XXXXXX";
        return std::string(::mkdtemp(pattern.data()));
    }();
    return folder;
}

// Three minutes of a drum-machine-like signal: decaying tones and noise.
const std::string& Flac() {
    static std::string path = [] {
        std::string p = Folder() + "/groove.flac";
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        std::vector<double> block(2 * 4800);
        unsigned seed = 1;
        for (long at = 0; at < kFrames; at += 4800) {
            for (long i = 0; i < 4800; ++i) {
                const long t = (at + i) % 24000;
                seed = seed * 1103515245u + 12345u;
                const double noise = double((seed >> 16) % 2000) / 2000 - 0.5;
                const double beat = std::exp(-t / 2000.0) * std::sin(2 * M_PI * 55 * t / kRate);
                block[2 * i] = 0.6 * beat + 0.1 * noise * std::exp(-t / 800.0);
                block[2 * i + 1] = 0.6 * beat - 0.1 * noise * std::exp(-t / 800.0);
            }
            sf_writef_double(f, block.data(), 4800);
        }
        sf_close(f);
        return p;
    }();
    return path;
}

void UseLibraryInProcess() {
    static ComPtr<IOvraAudioGlobals> g = [] {
        ComPtr<IOvraAudioGlobals> made;
        CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, made.OutVoid());
        UseAudioLibrary(made.get());
        return made;
    }();
}

void BM_Import_sox_baseline(benchmark::State& state) {
    const std::string command =
        "sox '" + Flac() + "' -r 44100 -b 16 '" + Folder() + "/sox.wav' 2>/dev/null";
    const double spent = TimeEach(state, [&] {
        if (std::system(command.c_str()) != 0) state.SkipWithError("sox failed");
    });
    RecordBaseline(state, "import", spent);
}

void BM_Import_ImportAudioFile(benchmark::State& state) {
    UseLibraryInProcess();
    Flac();
    const double spent = TimeEach(state, [&] {
        ImportedAudio a = ImportAudioFile(Flac());
        benchmark::DoNotOptimize(a.wav.get());
    });
    CompareWithBaseline(state, "import", spent);
}

void BM_Import_peak_memory_over_result(benchmark::State& state) {
    UseLibraryInProcess();
    Flac();
    double ratio = 0;
    for (auto _ : state) {
        const double used = PeakKbOf([] { ImportedAudio a = ImportAudioFile(Flac()); });
        ratio = used / (double(std::llround(double(kFrames) * 44100 / kRate)) * 4 / 1024);
    }
    // The memory the import took at its peak, in results' sizes (goal: under 2).
    state.counters["peak_over_result"] = ratio;
}

}  // namespace

BENCHMARK(BM_Import_sox_baseline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Import_ImportAudioFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Import_peak_memory_over_result)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
