// Baselines measured in the same run, and the ratio of each measurement to its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
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
