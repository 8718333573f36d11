// Xruns of a private jackd (dummy driver, 128 frames, real-time
// scheduling) over a long run while the engine plays a loop on it, 8 live
// hits a second come in on its MIDI port and every core is busy, against
// the same run with the test client alone on the server (the baseline:
// what the server and the load do by themselves). Goal: no xrun more than
// the baseline.
//
// LIVE_SOAK_SECONDS sets the length of each run (600 by default).
// LIVE_SOAK_LOAD is a shell command that loads the machine, run again and
// again until the run ends (a full build, such as "cmake --build DIR
// --clean-first -j$(nproc)"); without it, one thread per core streams
// through memory and computes, as compilers do.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/globals.h"
#include "com/server.h"
#include "engine/engine.h"
#include "live/jack_probe.h"
#include "live/jack_server.h"
#include "output/av_module.h"
#include "sound/sound_device.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

extern char** environ;

namespace {

constexpr unsigned kRate = 44100, kPeriod = 128;

double Seconds() {
    const char* given = std::getenv("LIVE_SOAK_SECONDS");
    return given ? std::atof(given) : 600.0;
}

void UseLibrary() {
    static ComPtr<IOvraAudioGlobals> g = [] {
        ComPtr<IOvraAudioGlobals> made;
        CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, made.OutVoid());
        UseAudioLibrary(made.get());
        return made;
    }();
}

// Keeps every core busy until it goes.
class Load {
  public:
    Load() {
        if (const char* command = std::getenv("LIVE_SOAK_LOAD")) {
            command_ = command;
            threads_.emplace_back([this] { RunCommand(); });
            return;
        }
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned c = 0; c < cores; ++c) threads_.emplace_back([this] { Churn(); });
    }
    ~Load() {
        stop_ = true;
        if (const pid_t p = child_.load()) ::kill(-p, SIGTERM);
        for (auto& t : threads_) t.join();
    }

  private:
    void Churn() {
        std::vector<double> memory(std::size_t(8) << 20);  // 64 MB each
        double x = 1.0;
        while (!stop_)
            for (std::size_t i = 0; i < memory.size() && !stop_; i += 8)
                memory[i] = x = std::sqrt(x + memory[(i * 7919) % memory.size()] + 1.0);
        benchmark::DoNotOptimize(x);
    }
    void RunCommand() {
        while (!stop_) {
            posix_spawnattr_t attr;
            posix_spawnattr_init(&attr);
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
            posix_spawnattr_setpgroup(&attr, 0);
            char sh[] = "sh", c[] = "-c";
            char* argv[] = {sh, c, command_.data(), nullptr};
            pid_t pid = 0;
            if (posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ) != 0) break;
            posix_spawnattr_destroy(&attr);
            child_ = pid;
            ::waitpid(pid, nullptr, 0);
            child_ = 0;
        }
    }
    std::string command_;
    std::atomic<bool> stop_{false};
    std::atomic<pid_t> child_{0};
    std::vector<std::thread> threads_;
};

// Sends 8 notes a second to the probe's MIDI port for seconds.
void Hits(JackProbe& probe, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        const jack_nframes_t at = probe.Now() + 8 * kPeriod;
        probe.Send({{at, {0x99, 36, 100}, 3}});
        std::this_thread::sleep_for(std::chrono::milliseconds(125));
    }
}

void XrunsWhileTheLoopPlaysAndHitsComeIn(benchmark::State& state) {
    PrivateJackServer server(kRate, kPeriod, /*realtime=*/true);
    if (!server.Up()) {
        state.SkipWithError("jackd did not start");
        return;
    }
    UseLibrary();
    SetDefaultSoundDevice(nullptr);
    SetSoundOutput({"jack", ""});
    {
        Engine engine;
        engine.StartEmpty();
        ComPtr<IWav> hit;
        AudioLibrary()->MakeWav(6000, 2, 44100, 2, hit.Out());
        std::vector<AudioSample> v(12000);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = AudioSample(8000.0 * std::sin(double(i) * 0.05) * (1.0 - double(i) / 12000.0));
        WriteWavValues(hit.get(), v);
        engine.SetSample(0, hit, u"hit");
        for (short t = 0; t < 32; t += 2) engine.SetTick(0, 0, t, true);
        engine.StartLive();
        JackProbe probe(1.0);
        probe.Start("Trellon");
        engine.Play();
        const unsigned long before = probe.Xruns();
        for (auto _ : state) {
            Load load;
            Hits(probe, Seconds());
        }
        state.counters["xruns"] = double(probe.Xruns() - before);
        state.counters["trellon_counted_xruns"] = double(engine.LiveOutputStatus().xruns);
        state.counters["voices_stolen"] = double(engine.Live()->Steals());
        engine.Stop();
    }
    GetAvSystem().ReleaseDevice();
    ReleaseDefaultSoundDevice();
    SetSoundOutput({});
}
BENCHMARK(XrunsWhileTheLoopPlaysAndHitsComeIn)->Iterations(1)->Unit(benchmark::kSecond);

void XrunsOfTheServerAloneBaseline(benchmark::State& state) {
    PrivateJackServer server(kRate, kPeriod, /*realtime=*/true);
    if (!server.Up()) {
        state.SkipWithError("jackd did not start");
        return;
    }
    JackProbe probe(1.0);
    probe.Activate();
    const unsigned long before = probe.Xruns();
    for (auto _ : state) {
        Load load;
        std::this_thread::sleep_for(std::chrono::duration<double>(Seconds()));
    }
    state.counters["xruns"] = double(probe.Xruns() - before);
}
BENCHMARK(XrunsOfTheServerAloneBaseline)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
