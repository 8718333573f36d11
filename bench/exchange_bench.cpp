// Songs to and from other formats: opening the other drum machine's
// largest demo song with its kit against that program's own command-line
// export of it (its start-up included), and stems of a 16-track, 150-pass
// arrangement against the mixed export of it (per track).
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_library.h"
#include "bench_support.h"
#include "exchange/hydrogen_song.h"
#include "song/song_export.h"

namespace {

const std::string kDemos = "/usr/share/hydrogen/data/demo_songs";

std::string LargestDemo() {
    std::string largest;
    std::uintmax_t size = 0;
    std::error_code e;
    if (!std::filesystem::is_directory(kDemos, e)) return "";
    for (const auto& f : std::filesystem::directory_iterator(kDemos))
        if (f.path().extension() == ".h2song" && f.file_size() > size) {
            size = f.file_size();
            largest = f.path();
        }
    return largest;
}

std::string Scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("trellon-bench-" + name)).string();
}

void BM_Hydrogen_h2cli_export_baseline(benchmark::State& state) {
    const std::string song = LargestDemo();
    if (song.empty() || std::system("command -v h2cli >/dev/null") != 0) {
        state.SkipWithError("h2cli or its demo songs are not installed");
        return;
    }
    const std::string out = Scratch("h2cli.wav");
    // A home of its own, ALSA, and no JACK server started: its start-up,
    // the song and kit loaded, and the export, without waiting on servers.
    const std::string home = Scratch("h2home");
    std::filesystem::create_directories(home);
    const std::string command = "HOME=" + home + " JACK_NO_START_SERVER=1 h2cli -d alsa -s " +
                                song + " -o " + out + " >/dev/null 2>&1";
    RecordBaseline(state, "h2cli", TimeEach(state, [&] {
                       if (std::system(command.c_str()) != 0) state.SkipWithError("h2cli failed");
                   }));
    std::filesystem::remove_all(home);
    std::filesystem::remove(out);
}

void BM_Hydrogen_open_largest_demo(benchmark::State& state) {
    Library();
    const std::string song = LargestDemo();
    if (song.empty()) {
        state.SkipWithError("no demo songs installed");
        return;
    }
    CompareWithBaseline(state, "h2cli", TimeEach(state, [&] {
                            benchmark::DoNotOptimize(ReadHydrogenSong(song, nullptr));
                        }));
}

// 16 tracks of half-second noise, loops 0 to 2 of 32 sixteenths at 120 bpm,
// an arrangement of 150 passes.
Song Arrangement150() {
    Song song;
    song.SetBpm(1200000);
    for (int j = 0; j < 16; ++j)
        song.SampleAt(j)->SetWav(SeededNoise(22050, unsigned(j) + 1, 1500));
    for (int k = 0; k < 3; ++k) {
        auto loop = song.Sequence(k);
        for (int j = 0; j < 16; ++j) {
            auto t = std::make_shared<LoopTrack>();
            t->SetNumTicks(32);
            for (int i = 0; i < 32; ++i)
                if ((i + k) % (j % 4 + 2) == 0) t->SetValue(std::uint8_t(i), true);
            loop->Tracks().push_back(std::move(t));
        }
    }
    song.SetArrangement({{0, 50}, {1, 50}, {2, 50}});
    return song;
}

void BM_Export_mix_baseline(benchmark::State& state) {
    Library();
    const Song song = Arrangement150();
    ExportChoice choice;
    choice.arrangement = true;
    const std::string out = Scratch("mix.wav");
    RecordBaseline(state, "mix", TimeEach(state, [&] { ExportSong(song, choice, out); }));
    std::filesystem::remove(out);
}

// Reported per track: the stems' time over 16.
void BM_Export_stems_per_track(benchmark::State& state) {
    Library();
    const Song song = Arrangement150();
    ExportChoice choice;
    choice.arrangement = true;
    choice.stems = true;
    const std::string out = Scratch("stems");
    CompareWithBaseline(state, "mix",
                        TimeEach(state, [&] { ExportStems(song, choice, out); }) / 16);
    std::filesystem::remove_all(out);
}

}  // namespace

BENCHMARK(BM_Hydrogen_h2cli_export_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hydrogen_open_largest_demo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_mix_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export_stems_per_track)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
