#include "engine/link_watch.h"

#include <chrono>
#include <cmath>

#include "sound/sound_device.h"

LinkWatch::LinkWatch(LinkSession& link, Told told)
    : link_(link), told_(std::move(told)), thread_([this] { Run(); }) {}

LinkWatch::~LinkWatch() {
    stop_ = true;
    thread_.join();
}

void LinkWatch::Run() {
    double tempo = link_.Tempo();
    bool playing = link_.Playing();
    std::uint64_t cycle = ~std::uint64_t{0};
    int off = 0;  // periods in a row out of phase
    while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const double t = link_.Tempo();
        if (std::abs(t - tempo) > 1e-6) {
            tempo = t;
            told_(Event::kTempo);
        }
        if (link_.SharesStartStop()) {
            const bool p = link_.Playing();
            if (p != playing) told_(p ? Event::kStarted : Event::kStopped);
            playing = p;
        }
        const BeatView b = DefaultBeat();
        if (!b.timed || !b.beating || b.beatsPerPass <= 0) {
            phaseErrorUs_ = 0;
            off = 0;
            continue;
        }
        if (b.cycle == cycle) continue;
        cycle = b.cycle;
        // Where the session's bar stands when the output's next period is
        // heard, against where the pass stands then.
        const double q = b.beatsPerPass;
        double error = std::fmod(b.beat, q) - link_.PhaseAt(b.heardUs, q);
        if (error > q / 2) error -= q;
        if (error < -q / 2) error += q;
        const double us = -error * 60e6 / tempo;
        phaseErrorUs_ = us;
        if (b.heardUs < holdUntil_.load()) {
            off = 0;
            continue;
        }
        off = std::abs(us) > kMaxPhaseErrorUs ? off + 1 : 0;
        NudgeDefaultBeat(std::abs(us) > kSteadyUs && !off ? int(std::lround(us * b.rate / 1e6))
                                                          : 0);
        if (off >= 3) {
            off = 0;
            holdUntil_ = LinkSession::NowUs() + 250000;
            told_(Event::kOutOfPhase);
        }
    }
}
