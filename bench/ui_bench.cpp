// The main window: start-up to the window shown with the default song, in a
// process of its own, against an empty Qt window started the same way (each
// timed from the start of its process until it says its window is shown);
// a tick click to the end of its re-render on the default song's busiest loop.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench_support.h"
#include "ui/main_form.h"

extern char** environ;

namespace {

std::string self;

// The child: one window up and exposed, which it tells its parent through
// the pipe on descriptor 3, then out without tearing anything down.
int RunChild(int argc, char** argv, const std::string& what) {
    QApplication app(argc, argv);
    std::unique_ptr<QMainWindow> window;
    if (what == "empty" || what == "text") {
        window = std::make_unique<QMainWindow>();
        auto* client = new QWidget(window.get());  // owned by the window
        client->setFixedSize(657, 260);
        window->setCentralWidget(client);
        // A window that shows a word must load the font database first.
        if (what == "text") window->menuBar()->addMenu(QStringLiteral("&File"));
    } else {
        auto form = std::make_unique<MainForm>();
        form->SetProgramFolder(PROGRAM_FOLDER);
        form->SetErrorReporter([](const std::string& d) {
            std::fprintf(stderr, "%s\n", d.c_str());
            std::_Exit(1);
        });
        form->Load();
        window = std::move(form);
    }
    window->show();
    const char shown = QTest::qWaitForWindowExposed(window.get()) ? 1 : 0;
    if (::write(3, &shown, 1) != 1) std::_Exit(1);
    std::_Exit(0);
}

// Starts this program as a child showing one window; the seconds until the
// window was shown.
double StartChild(const char* what) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const char* args[] = {self.c_str(), "--child", what, nullptr};
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, const_cast<char**>(args), environ))
        std::abort();
    ::close(fds[1]);
    char shown = 0;
    const bool told = ::read(fds[0], &shown, 1) == 1 && shown == 1;
    const auto t1 = std::chrono::steady_clock::now();
    ::close(fds[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!told || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return std::chrono::duration<double>(t1 - t0).count();
}

void BM_Startup_empty_qt_window_baseline(benchmark::State& state) {
    double spent = 0;
    for (auto _ : state) spent += StartChild("empty");
    RecordBaseline(state, "startup", spent);
}

// The same window with a menu: what showing any text costs.
void BM_Startup_window_with_a_menu(benchmark::State& state) {
    double spent = 0;
    for (auto _ : state) spent += StartChild("text");
    CompareWithBaseline(state, "startup", spent);
}

void BM_Startup_main_window_on_default_song(benchmark::State& state) {
    double spent = 0;
    for (auto _ : state) spent += StartChild("trellon");
    CompareWithBaseline(state, "startup", spent);
    // Times the baseline's start-up: at most 1.5 is the goal.
    if (state.counters.count("of_baseline"))
        state.counters["times_baseline"] = 1.0 / state.counters["of_baseline"];
}

// The window on the default song, showing its loop with the most ticks on.
struct BusiestLoop {
    std::unique_ptr<MainForm> form = std::make_unique<MainForm>();
    LONG row = 0, tick = 0;
    BusiestLoop() {
        form->SetProgramFolder(PROGRAM_FOLDER);
        form->Load();
        int best = -1, bestLoop = 0;
        for (int l = 0; l < 10; ++l) {
            auto loop = form->GetSong()->Sequence(l);
            int on = 0;
            for (const auto& t : loop->Tracks())
                for (auto b : t->TickBytes()) on += b != 0;
            if (on > best) best = on, bestLoop = l;
        }
        form->SetSelectedLoopIndex(std::uint8_t(bestLoop));
        form->show();
    }
};

void BM_TickClick_memcpy_of_loop_buffer_baseline(benchmark::State& state) {
    std::vector<char> from(176400 * 4, 1), to(from.size());
    const double spent = TimeEach(state, [&] {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    });
    RecordBaseline(state, "click", spent);
}

void BM_TickClick_to_end_of_rerender(benchmark::State& state) {
    BusiestLoop b;
    QCheckBox* box = b.form->Row(b.row)->Check(b.tick);
    const double spent = TimeEach(state, [&] { QTest::mouseClick(box, Qt::LeftButton); });
    CompareWithBaseline(state, "click", spent);
}

}  // namespace

BENCHMARK(BM_Startup_empty_qt_window_baseline)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Startup_window_with_a_menu)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Startup_main_window_on_default_song)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_TickClick_memcpy_of_loop_buffer_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickClick_to_end_of_rerender)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("OVRA_REGISTRY", BUILD_REGISTRY, 1);
    if (argc >= 3 && !std::strcmp(argv[1], "--child")) return RunChild(argc, argv, argv[2]);
    self = argv[0];
    // The application outlives every window the benchmarks make and goes
    // before the program's static objects do.
    int appArgc = 1;
    QApplication app(appArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
