// The sound layer's real-time cost and its notification latency.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "sound/directx8.h"
#include "sound/event_service.h"
#include "sound/secondary_buffer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPeriodBytes = 512 * 4;  // one SDL callback of 16-bit stereo

DSBUFFERDESC Desc() {
    DSBUFFERDESC d{};
    d.lBufferBytes = 2 * 22050 * 4;
    d.fxFormat = WAVEFORMATEX{1, 2, 44100, 176400, 4, 16, 0, 0};
    return d;
}

struct NullSink : DirectXEvent8 {
    void DXCallback(LONG) override {}
};

void BM_Callback_memcpy_baseline(benchmark::State& state) {
    std::vector<unsigned char> from(Desc().lBufferBytes, 3), out(kPeriodBytes);
    std::size_t pos = 0;
    const double spent = TimeEach(state, [&] {
        std::memcpy(out.data(), from.data() + pos, kPeriodBytes);
        benchmark::DoNotOptimize(out.data());
        pos = (pos + kPeriodBytes) % (from.size() - kPeriodBytes);
    });
    RecordBaseline(state, "period", spent);
}

void BM_Callback_Render(benchmark::State& state) {
    DirectSoundSecondaryBuffer8 buffer(Desc(), nullptr);
    NullSink sink;
    LONG a = EventService::Instance().CreateEvent(&sink),
         b = EventService::Instance().CreateEvent(&sink);
    DSBPOSITIONNOTIFY table[2] = {{1, a}, {22050 * 4, b}};
    buffer.SetNotificationPositions(2, table);
    buffer.Play(DSBPLAY_LOOPING);
    std::vector<unsigned char> out(kPeriodBytes), refill(kPeriodBytes, 3);
    buffer.WriteBuffer(0, buffer.Size(), std::vector<unsigned char>(buffer.Size(), 3).data(), 0);
    double spent = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        buffer.Render(out.data(), kPeriodBytes);
        benchmark::DoNotOptimize(out.data());
        spent += std::chrono::duration<double>(Clock::now() - t0).count();
        state.PauseTiming();
        // Refill what was played, as the program does, so that each period
        // copies written audio rather than filling silence.
        LONG play = 0;
        buffer.GetCurrentPosition(&play, nullptr);
        buffer.WriteBuffer((play + buffer.Size() - kPeriodBytes) % buffer.Size(), kPeriodBytes,
                           refill.data(), 0);
        EventService::Instance().DeliverPending();  // keep the queue from filling
        state.ResumeTiming();
    }
    CompareWithBaseline(state, "period", spent);
}

// From a signal on an audio-like thread to DXCallback on the program's
// thread, through the delivery thread and a dispatcher.
void BM_NotificationLatency(benchmark::State& state) {
    ManualDispatcher dispatcher;
    EventService& service = EventService::Instance();
    service.SetDispatcher(dispatcher.AsDispatcher());
    service.StartDeliveryThread();
    std::atomic<long long> signalledAt{0};
    std::vector<double> latencies;
    struct Sink : DirectXEvent8 {
        std::atomic<long long>* at;
        std::vector<double>* out;
        void DXCallback(LONG) override {
            long long now = Clock::now().time_since_epoch().count();
            out->push_back((now - at->load()) / 1e6);
        }
    } sink;
    sink.at = &signalledAt;
    sink.out = &latencies;
    LONG id = service.CreateEvent(&sink);
    for (auto _ : state) {
        std::thread audio([&] {
            signalledAt = Clock::now().time_since_epoch().count();
            service.Signal(id);
        });
        while (dispatcher.WaitAndRun(100) == 0) {
        }
        audio.join();
    }
    service.StopDeliveryThread();
    service.SetDispatcher(nullptr);
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        state.counters["median_ms"] = latencies[latencies.size() / 2];
        state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
    }
}

// The same through SDL's dummy driver: a poller notes when the play cursor
// passes the half offset, the sink when DXCallback runs on the program's
// thread; each callback is paired with the pass nearest before it (the
// poller looks every 20 us, so a pass may be noted a little late).
void BM_NotificationLatency_SdlDummy(benchmark::State& state) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ManualDispatcher dispatcher;
    EventService& service = EventService::Instance();
    service.SetDispatcher(dispatcher.AsDispatcher());
    DirectX8 dx;
    auto ds = dx.DirectSoundCreate("");
    if (!ds) {
        state.SkipWithError("no SDL dummy driver");
        return;
    }
    DSBUFFERDESC desc = Desc();
    const LONG half = 4410 * 4;  // halves of 0.1 s
    desc.lBufferBytes = 2 * half;
    auto buffer = ds->CreateSoundBuffer(desc);
    std::vector<long long> passes, callbacks;
    struct Sink : DirectXEvent8 {
        std::vector<long long>* out;
        void DXCallback(LONG) override { out->push_back(Clock::now().time_since_epoch().count()); }
    } sink;
    sink.out = &callbacks;
    DSBPOSITIONNOTIFY table[1] = {{half, dx.CreateEvent(&sink)}};
    buffer->SetNotificationPositions(1, table);
    std::atomic<bool> polling{true};
    std::thread poller([&] {
        LONG last = 0;
        while (polling) {
            LONG pos = 0;
            buffer->GetCurrentPosition(&pos, nullptr);
            // Past the offset, or past the end (and so past it) since the last look.
            if (last < half && (pos >= half || pos < last))
                passes.push_back(Clock::now().time_since_epoch().count());
            last = pos;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    buffer->Play(DSBPLAY_LOOPING);
    for (auto _ : state) {
        std::size_t before = callbacks.size();
        while (callbacks.size() == before) dispatcher.WaitAndRun(50);
    }
    buffer->Stop();
    polling = false;
    poller.join();
    service.SetDispatcher(nullptr);
    std::vector<double> latencies;
    for (long long c : callbacks) {
        // The pass this callback answers: the nearest one, at most a tick away.
        long long best = -1;
        for (long long p : passes)
            if (best < 0 || std::llabs(c - p) < std::llabs(c - best)) best = p;
        if (best >= 0 && std::llabs(c - best) < 50'000'000)
            latencies.push_back(std::max(0.0, (c - best) / 1e6));
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        state.counters["median_ms"] = latencies[latencies.size() / 2];
        state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
        state.counters["paired"] = static_cast<double>(latencies.size());
    }
}

}  // namespace

BENCHMARK(BM_Callback_memcpy_baseline);
BENCHMARK(BM_Callback_Render);
BENCHMARK(BM_NotificationLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NotificationLatency_SdlDummy)->Iterations(50)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
