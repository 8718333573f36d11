// Baselines measured in the same run, and the ratio of each measurement to its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>

// Seconds per iteration of each baseline, by name.
inline std::map<std::string, double>& Baselines() {
    static std::map<std::string, double> b;
    return b;
}

// Records the time of one iteration of a baseline benchmark.
inline void RecordBaseline(benchmark::State& state, const std::string& name, double seconds) {
    if (state.iterations() > 0) Baselines()[name] = seconds / double(state.iterations());
}

// Adds "of_baseline": baseline time / own time, so 0.9 means 90% of the baseline's throughput.
inline void CompareWithBaseline(benchmark::State& state, const std::string& name, double seconds) {
    auto it = Baselines().find(name);
    if (it != Baselines().end() && state.iterations() > 0 && seconds > 0)
        state.counters["of_baseline"] = it->second / (seconds / double(state.iterations()));
}

// Runs body once per iteration and returns the seconds it took in all,
// measured around the body alone.
template <class F>
double TimeEach(benchmark::State& state, F&& body) {
    double spent = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        body();
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    return spent;
}

// Kilobytes of this process's memory from /proc/self/status ("VmRSS:" now,
// "VmHWM:" at the most).
inline long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long kb = 0;
    while (status >> name) {
        if (name == key) {
            status >> kb;
            return kb;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// The most memory work took beyond what the process held, in kilobytes,
// measured in a child process of its own.
inline double PeakKbOf(const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // The high-water mark starts from here (a fork inherits the parent's).
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = StatusKb("VmRSS:");
        work();
        const double used = double(StatusKb("VmHWM:") - before);
        if (::write(fds[1], &used, sizeof used) != sizeof used) std::_Exit(1);
        std::_Exit(0);
    }
    ::close(fds[1]);
    double used = -1;
    if (::read(fds[0], &used, sizeof used) != sizeof used) used = -1;
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return used;
}
