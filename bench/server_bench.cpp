// Playback through a private PulseAudio server (a null sink whose monitor
// is recorded): the time from Play to the first sound at the sink, and the
// program's CPU time per second of playback, each beside a plain SDL
// stream (512-frame periods, a sawtooth) measured the same way in the same
// run. The server is started here; without pulseaudio the benchmarks skip.
#include <SDL.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench_support.h"
#include "forms/qt_dispatcher.h"
#include "output/av_module.h"
#include "sound/sound_device.h"
#include "ui/main_form.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& args, int out = -1) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool Succeeds(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args, ::open("/dev/null", O_WRONLY));
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A private PulseAudio with a null sink kept running (a stream of zeros),
// and its monitor read as it comes: the time of the first frame that is
// not silence after Arm.
class PrivateServer {
  public:
    PrivateServer() {
        char folder[] = "/tmp/server-bench-XXXXXX";
        if (!::mkdtemp(folder)) return;
        folder_ = folder;
        std::filesystem::create_directories(folder_ + "/runtime");
        std::filesystem::create_directories(folder_ + "/home");
        ::setenv("XDG_RUNTIME_DIR", (folder_ + "/runtime").c_str(), 1);
        ::setenv("HOME", (folder_ + "/home").c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + folder_ + "/runtime/pulse/native").c_str(), 1);
        ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        server_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                         "--use-pid-file=false",
                         "--load=module-null-sink sink_name=nul rate=44100 channels=2 "
                         "format=s16le",
                         "--load=module-native-protocol-unix"});
        for (int i = 0; i < 100 && server_ > 0 && !Succeeds({"pactl", "info"}); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (server_ <= 0 || !Succeeds({"pactl", "set-default-sink", "nul"})) return;
        zeros_ = Spawn({"pacat", "--latency-msec=20", "--playback", "--raw", "--format=s16le",
                        "--rate=44100", "--channels=2", "/dev/zero"});
        int fds[2];
        if (::pipe(fds) != 0) return;
        recorder_ = Spawn({"parec", "--latency-msec=20", "-d", "nul.monitor", "--format=s16le",
                           "--rate=44100", "--channels=2", "--raw"},
                          fds[1]);
        ::close(fds[1]);
        monitor_ = fds[0];
        reader_ = std::thread([this] { Read(); });
        ready_ = recorder_ > 0;
    }
    ~PrivateServer() {
        for (pid_t p : {recorder_, zeros_, server_})
            if (p > 0) ::kill(p, SIGTERM);
        if (reader_.joinable()) reader_.join();
        if (monitor_ >= 0) ::close(monitor_);
        for (pid_t p : {recorder_, zeros_, server_})
            if (p > 0) waitpid(p, nullptr, 0);
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    bool Ready() const { return ready_; }
    // CPU seconds the monitor's reader has used (not the program's).
    double ReaderCpuSeconds() {
        clockid_t clock;
        timespec t{};
        if (pthread_getcpuclockid(reader_.native_handle(), &clock) != 0 ||
            ::clock_gettime(clock, &t) != 0)
            return 0;
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }

    // Waits for silence at the sink, then watches for the next sound.
    void Arm() {
        std::unique_lock<std::mutex> lock(mutex_);
        silentSince_ = {};
        heard_ = false;
        armed_ = true;
    }
    // The time the first sound came after Arm; false after 5 s without one.
    bool WaitForSound(Clock::time_point* at) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool heard =
            changed_.wait_for(lock, std::chrono::seconds(5), [this] { return heard_; });
        *at = heardAt_;
        armed_ = false;
        return heard;
    }
    // Waits until the sink has been silent for 300 ms.
    void WaitForSilence() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [this] {
            return silentSince_ != Clock::time_point{} &&
                   Clock::now() - silentSince_ > std::chrono::milliseconds(300);
        });
    }

  private:
    void Read() {
        std::vector<std::int16_t> block(4096);
        for (;;) {
            const ssize_t got = ::read(monitor_, block.data(), block.size() * 2);
            if (got <= 0) return;
            const auto now = Clock::now();
            bool sound = false;
            for (ssize_t i = 0; i < got / 2 && !sound; ++i) sound = block[std::size_t(i)] != 0;
            std::lock_guard<std::mutex> lock(mutex_);
            if (sound) {
                silentSince_ = {};
                if (armed_ && !heard_) {
                    heard_ = true;
                    heardAt_ = now;
                }
            } else if (silentSince_ == Clock::time_point{}) {
                silentSince_ = now;
            }
            changed_.notify_all();
        }
    }

    std::string folder_;
    pid_t server_ = -1, zeros_ = -1, recorder_ = -1;
    int monitor_ = -1;
    std::thread reader_;
    bool ready_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false, heard_ = false;
    Clock::time_point heardAt_, silentSince_;
};

PrivateServer* server = nullptr;

double ProcessCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The plain stream: a sawtooth from SDL's callback, 512-frame periods,
// opened and started by Play (as the window's Play opens its stream).
struct PlainStream {
    SDL_AudioDeviceID device = 0;
    int phase = 0;
    PlainStream() { SDL_InitSubSystem(SDL_INIT_AUDIO); }
    void Play() {
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = 512;
        want.userdata = this;
        want.callback = [](void* self, Uint8* out, int len) {
            auto* s = static_cast<PlainStream*>(self);
            auto* v = reinterpret_cast<std::int16_t*>(out);
            for (int i = 0; i < len / 2; ++i)
                v[i] = std::int16_t(((s->phase++ / 2) % 200) * 100 + 1);
        };
        device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        SDL_PauseAudioDevice(device, 0);
    }
    ~PlainStream() {
        if (device) SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
};

// The main window on the default song, as the program starts it.
struct Window {
    QtDispatcher dispatcher;
    MainForm form;
    Window() {
        form.SetProgramFolder(PROGRAM_FOLDER);
        form.Load();
        form.show();
    }
    ~Window() {
        if (GetAvSystem().IsPlaying()) QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
        GetAvSystem().ReleaseDevice();
    }
    void Play() { QTest::mouseClick(form.PlayButton(), Qt::LeftButton); }
};

// Runs the Qt event loop (the window's notifications) until at.
void RunUntil(Clock::time_point at) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now());
    if (left.count() <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(int(left.count()), &loop, &QEventLoop::quit);
    loop.exec();
}

// Each iteration's time is the latency alone (manual time), not the waits
// for silence around it.
template <class Player>
double PlayToSound(benchmark::State& state) {
    double spent = 0;
    for (auto _ : state) {
        server->WaitForSilence();
        Player player;
        server->Arm();
        const auto t0 = Clock::now();
        player.Play();
        Clock::time_point heard;
        std::atomic<bool> done{false};
        // The window's notifications need the event loop while waiting.
        std::thread waiter([&] {
            if (!server->WaitForSound(&heard)) heard = {};
            done = true;
        });
        while (!done) RunUntil(Clock::now() + std::chrono::milliseconds(2));
        waiter.join();
        if (heard == Clock::time_point{}) {
            state.SkipWithError("no sound reached the sink");
            return 0;
        }
        const double latency = std::chrono::duration<double>(heard - t0).count();
        state.SetIterationTime(latency);
        spent += latency;
    }
    return spent;
}

void BM_PlayToSound_plain_sdl_stream_baseline(benchmark::State& state) {
    if (!server->Ready()) return state.SkipWithError("no private PulseAudio server");
    RecordBaseline(state, "latency", PlayToSound<PlainStream>(state));
}

void BM_PlayToSound_main_window(benchmark::State& state) {
    if (!server->Ready()) return state.SkipWithError("no private PulseAudio server");
    CompareWithBaseline(state, "latency", PlayToSound<Window>(state));
}

// CPU seconds of this process, but for the bench's own reader of the
// monitor, per second of playback, over 10 s.
template <class Player>
void CpuPerSecond(benchmark::State& state) {
    if (!server->Ready()) return state.SkipWithError("no private PulseAudio server");
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        Player player;
        player.Play();
        RunUntil(Clock::now() + std::chrono::seconds(1));  // past the start
        const double c0 = ProcessCpuSeconds() - server->ReaderCpuSeconds();
        const auto t0 = Clock::now();
        RunUntil(t0 + std::chrono::seconds(10));
        cpu += ProcessCpuSeconds() - server->ReaderCpuSeconds() - c0;
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["cpu_percent"] = cpu / wall * 100;
}

void BM_CpuPerSecond_plain_sdl_stream(benchmark::State& state) {
    CpuPerSecond<PlainStream>(state);
}

void BM_CpuPerSecond_main_window(benchmark::State& state) {
    CpuPerSecond<Window>(state);
}

}  // namespace

BENCHMARK(BM_PlayToSound_plain_sdl_stream_baseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseManualTime();
BENCHMARK(BM_PlayToSound_main_window)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseManualTime();
BENCHMARK(BM_CpuPerSecond_plain_sdl_stream)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CpuPerSecond_main_window)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("OVRA_REGISTRY", BUILD_REGISTRY, 1);
    int appArgc = 1;
    QApplication app(appArgc, argv);
    PrivateServer privateServer;
    server = &privateServer;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
