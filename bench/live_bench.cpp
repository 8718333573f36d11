// Live play: the cost of the voices in the real-time callback against a
// memcpy of the frames they write, and note-on to first sound through a
// private jackd (dummy driver) at periods of 64, 128 and 256 frames,
// against jack_midisine on the same server, the floor of one period.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "live/jack_probe.h"
#include "live/jack_server.h"
#include "live/live_voices.h"
#include "sound/jack_device.h"

namespace {

constexpr unsigned kFrames = 128;

LiveKit KitOfOne(std::size_t frames) {
    LiveKit kit;
    auto sound = std::make_shared<LiveSound>();
    sound->rate = 48000;
    sound->left.assign(frames, 0.25f);
    sound->right.assign(frames, -0.25f);
    kit.sounds = {sound};
    kit.gains = {1.0f};
    kit.trackOfNote[36] = 0;
    return kit;
}

// Mixing a period with so many voices ringing.
void VoicesMix(benchmark::State& state) {
    const auto voices = std::size_t(state.range(0));
    LiveVoices live;
    live.SetKit(KitOfOne(1 << 16));
    live.Prepare(48000, 8192);
    std::vector<float> left(kFrames), right(kFrames);
    std::vector<MidiEvent> notes;
    for (std::size_t i = 0; i < voices; ++i) notes.push_back({0, 3, {0x90, 36, 100}});
    for (auto _ : state) {
        // The voices start again once they have rung out.
        const bool again = live.ActiveVoices() < voices;
        live.Mix(left.data(), right.data(), kFrames, again ? notes.data() : nullptr,
                 again ? notes.size() : 0, 0);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["ns_per_voice_frame"] =
        benchmark::Counter(double(state.iterations()) * double(voices * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(VoicesMix)->Arg(1)->Arg(8)->Arg(64);

// The baseline: copying the frames those voices write.
void VoicesMemcpyBaseline(benchmark::State& state) {
    const auto voices = std::size_t(state.range(0));
    std::vector<float> from(voices * kFrames * 2, 0.25f), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(float));
        benchmark::DoNotOptimize(to.data());
    }
    state.counters["ns_per_voice_frame"] =
        benchmark::Counter(double(state.iterations()) * double(voices * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(VoicesMemcpyBaseline)->Arg(1)->Arg(8)->Arg(64);

// Latencies, in frames, of notes sent at random offsets of their periods.
std::vector<long> Latencies(JackProbe& probe, unsigned period, int notes) {
    std::mt19937 random(7);
    const jack_nframes_t base = probe.Now() + 16 * period;
    std::vector<ProbeNote> sent;
    for (int i = 0; i < notes; ++i)
        sent.push_back({base + jack_nframes_t(i) * 4096 + jack_nframes_t(random() % period),
                        {0x90, 36, 100},
                        3});
    probe.Send(sent);
    probe.WaitFor(sent.back().frame + 4096);
    std::vector<long> out;
    for (const ProbeNote& n : sent) {
        const std::vector<float> heard = probe.Left(n.frame, 2048);
        const auto it = std::find_if(heard.begin(), heard.end(), [](float v) { return v != 0.0f; });
        out.push_back(it == heard.end() ? -1 : long(it - heard.begin()));
    }
    return out;
}

void Report(benchmark::State& state, std::vector<long> latencies, unsigned period) {
    std::sort(latencies.begin(), latencies.end());
    state.counters["period"] = period;
    state.counters["median_frames"] = double(latencies[latencies.size() / 2]);
    state.counters["worst_frames"] = double(latencies.back());
    state.counters["unheard"] = double(std::count(latencies.begin(), latencies.end(), -1));
}

void NoteOnLatency(benchmark::State& state) {
    const auto period = unsigned(state.range(0));
    PrivateJackServer server(44100, period);
    if (!server.Up()) {
        state.SkipWithError("jackd did not start");
        return;
    }
    std::string why;
    auto device = JackDevice::Open(&why);
    auto live = std::make_shared<LiveVoices>();
    live->SetKit(KitOfOne(64));
    device->SetLiveSource(live);
    JackProbe probe(30.0);
    probe.Start(device->ClientName());
    for (auto _ : state) Report(state, Latencies(probe, period, 50), period);
    device->SetLiveSource(nullptr);
}
BENCHMARK(NoteOnLatency)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->Unit(benchmark::kMillisecond);

// The floor: jack_midisine, JACK's own example synthesizer, on the same server.
void NoteOnLatencyMidisineBaseline(benchmark::State& state) {
    const auto period = unsigned(state.range(0));
    PrivateJackServer server(44100, period);
    if (!server.Up()) {
        state.SkipWithError("jackd did not start");
        return;
    }
    pid_t pid = 0;
    char name[] = "jack_midisine";
    char* argv[] = {name, nullptr};
    if (posix_spawn(&pid, "/usr/bin/jack_midisine", nullptr, nullptr, argv, environ) != 0) {
        state.SkipWithError("jack_midisine did not start");
        return;
    }
    JackProbe probe(30.0);
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        connected = probe.Start("midisine:midi_in", "midisine:audio_out", "midisine:audio_out");
    }
    if (connected)
        for (auto _ : state) Report(state, Latencies(probe, period, 50), period);
    else
        state.SkipWithError("jack_midisine's ports did not appear");
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}
BENCHMARK(NoteOnLatencyMidisineBaseline)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
