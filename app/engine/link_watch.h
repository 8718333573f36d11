// Watches a Link session from a thread of its own, every two
// milliseconds, and says what a player in it must act on: the session's
// tempo changed, it started or stopped playing (when start and stop are
// shared), or the beat the output plays has drifted out of phase with
// the session's bars. Acting happens on the engine's side.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "sync/link_session.h"

class LinkWatch {
  public:
    enum class Event { kTempo, kStarted, kStopped, kOutOfPhase };
    // Within kSteadyUs of the bars the beat is left alone; up to
    // kMaxPhaseErrorUs off it is nudged back a few frames a period at most
    // (the output's clock and the session's drift apart); further off
    // (for three periods in a row) it is started again on the bars.
    static constexpr double kSteadyUs = 200;
    static constexpr double kMaxPhaseErrorUs = 5000;
    using Told = std::function<void(Event event)>;
    LinkWatch(LinkSession& link, Told told);
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // How far the beat heard was from the session's at the last period
    // seen (positive: late), in microseconds; 0 while none plays.
    double PhaseErrorUs() const { return phaseErrorUs_.load(); }
    // After the beat was started or moved: the phase is not judged until
    // the steady clock's microsecond us (the new stream is under way).
    void HoldUntil(std::int64_t us) { holdUntil_.store(us); }

  private:
    void Run();

    LinkSession& link_;
    Told told_;
    std::atomic<double> phaseErrorUs_{0};
    std::atomic<std::int64_t> holdUntil_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: it starts once the rest is made
};
