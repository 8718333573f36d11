#include "sync/link_session.h"

#include <ableton/Link.hpp>
#include <chrono>

struct LinkSession::Parts {
    explicit Parts(double bpm) : link(bpm) {}
    ableton::Link link;

    // The session's clock and the steady clock, read side by side.
    std::chrono::microseconds ToLink(std::int64_t us) const {
        return std::chrono::microseconds(us - NowUs()) + link.clock().micros();
    }
    std::int64_t FromLink(std::chrono::microseconds t) const {
        return NowUs() + (t - link.clock().micros()).count();
    }
};

LinkSession::LinkSession(double bpm) : parts_(std::make_unique<Parts>(bpm)) {}

LinkSession::~LinkSession() {
    parts_->link.enable(false);
}

std::int64_t LinkSession::NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LinkSession::Enable(bool on) {
    parts_->link.enable(on);
}

bool LinkSession::Enabled() const {
    return parts_->link.isEnabled();
}

void LinkSession::ShareStartStop(bool on) {
    parts_->link.enableStartStopSync(on);
}

bool LinkSession::SharesStartStop() const {
    return parts_->link.isStartStopSyncEnabled();
}

std::size_t LinkSession::Peers() const {
    return parts_->link.numPeers();
}

double LinkSession::Tempo() const {
    return parts_->link.captureAppSessionState().tempo();
}

void LinkSession::SetTempo(double bpm) {
    auto state = parts_->link.captureAppSessionState();
    state.setTempo(bpm, parts_->link.clock().micros());
    parts_->link.commitAppSessionState(state);
}

double LinkSession::BeatAt(std::int64_t us, double quantum) const {
    return parts_->link.captureAppSessionState().beatAtTime(parts_->ToLink(us), quantum);
}

double LinkSession::PhaseAt(std::int64_t us, double quantum) const {
    return parts_->link.captureAppSessionState().phaseAtTime(parts_->ToLink(us), quantum);
}

std::int64_t LinkSession::TimeOfBeat(double beat, double quantum) const {
    return parts_->FromLink(parts_->link.captureAppSessionState().timeAtBeat(beat, quantum));
}

bool LinkSession::Playing() const {
    return parts_->link.captureAppSessionState().isPlaying();
}

std::int64_t LinkSession::PlayingSince() const {
    return parts_->FromLink(parts_->link.captureAppSessionState().timeForIsPlaying());
}

std::int64_t LinkSession::SetPlaying(bool playing, std::int64_t us, double quantum) {
    auto state = parts_->link.captureAppSessionState();
    const auto at = parts_->ToLink(us);
    if (playing)
        state.setIsPlayingAndRequestBeatAtTime(true, at, 0.0, quantum);
    else
        state.setIsPlaying(false, at);
    parts_->link.commitAppSessionState(state);
    return parts_->FromLink(parts_->link.captureAppSessionState().timeForIsPlaying());
}
