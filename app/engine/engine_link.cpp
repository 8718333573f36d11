// Playing in a Link session: the song's tempo is the session's, each pass
// starts on the session's bars, and (when shared) playing and stopping
// go with the session's.
#include <cmath>

#include "engine/engine.h"
#include "engine/link_watch.h"
#include "support/app_error.h"
#include "sync/link_session.h"

namespace {

// A stream started in phase is held to a moment this far ahead at
// least, so that it is readied before its first frame is due.
constexpr std::int64_t kStartLeadUs = 15000;
// Tempos closer than this are one (the session's resolution is a
// microsecond a beat: about 0.0003 bpm at 120).
constexpr double kSameTempo = 0.001;

}  // namespace

void Engine::FollowLink(bool on) {
    if (on == bool(link_)) return;
    if (!on) {
        linkWatch_.reset();
        link_.reset();
        NudgeDefaultBeat(0);  // what was left of a nudge is dropped
        Notify(kChangeTransport);
        return;
    }
    link_ = std::make_unique<LinkSession>(double(song_->Bpm()) / 10000.0);
    link_->ShareStartStop(linkStartStop_);
    link_->Enable(true);
    linkWatch_ = std::make_unique<LinkWatch>(*link_, [this](LinkWatch::Event event) {
        Post([this, event] { FollowLinkEvent(event); });
    });
    // What plays now moves onto the session's bars.
    if (state_.playing && !state_.arrangement) MoveIntoPhase();
    Notify(kChangeTransport);
}

void Engine::ShareLinkStartStop(bool on) {
    linkStartStop_ = on;
    if (link_) link_->ShareStartStop(on);
}

int Engine::LinkPeers() const {
    return link_ ? int(link_->Peers()) : -1;
}

double Engine::LinkPhaseAt(std::int64_t us, double quantum) const {
    return link_ ? link_->PhaseAt(us, quantum) : 0;
}

double Engine::LinkPhaseErrorUs() const {
    return linkWatch_ ? linkWatch_->PhaseErrorUs() : 0;
}

void Engine::FollowLinkEvent(LinkWatch::Event event) {
    if (!link_) return;
    switch (event) {
        case LinkWatch::Event::kTempo: {
            // A peer's tempo: taken as finely as the song keeps it, so that
            // the passes keep to the session's bars; one a hair from a
            // tenth (the session keeps a beat's length in microseconds) is
            // that tenth, as it was typed.
            const double bpm = std::clamp(link_->Tempo(), 30.0, 300.0);
            if (std::abs(bpm - double(song_->Bpm()) / 10000.0) < kSameTempo) return;
            const double tenth = std::round(bpm * 10.0) / 10.0;
            SetTempoValue(
                std::llround((std::abs(bpm - tenth) < kSameTempo ? tenth : bpm) * 10000.0));
            return;
        }
        case LinkWatch::Event::kStarted:
            if (!state_.playing) {
                try {
                    Play();
                } catch (const std::exception& e) {
                    if (view_) view_->Report(ErrorText(e));
                }
            }
            return;
        case LinkWatch::Event::kStopped:
            if (state_.playing) Stop();
            return;
        case LinkWatch::Event::kOutOfPhase:
            if (state_.playing && !state_.arrangement) MoveIntoPhase();
            return;
    }
}

void Engine::TellLinkTempo() {
    if (!link_) return;
    const double bpm = double(song_->Bpm()) / 10000.0;
    if (std::abs(link_->Tempo() - bpm) >= kSameTempo) link_->SetTempo(bpm);
}

void Engine::TellLinkStopped() {
    if (link_ && link_->SharesStartStop() && link_->Playing())
        link_->SetPlaying(false, LinkSession::NowUs(), 4);
}

void Engine::MoveIntoPhase() {
    try {
        PlayInPhase();
    } catch (const std::exception& e) {
        state_.playing = false;
        if (view_) view_->Report(ErrorText(e));
        Notify(kChangeTransport);
    }
}

void Engine::PlayInPhase() {
    const Batch batch(*this);
    {
        Render(selected_, true);
        const std::shared_ptr<LoopFeed> feed = FeedOf(selected_);
        const LoopFormat& format = song_->Sequence(selected_)->Format();
        const double quantum = double(format.ticks) / format.ticksPerBeat;
        // The first frame is heard at a moment the output can still hold
        // it to; one that cannot starts at once.
        const BeatView beat = DefaultBeat();
        std::int64_t at = LinkSession::NowUs();
        if (beat.timed) {
            const std::int64_t period =
                beat.rate ? std::int64_t(beat.period) * 1000000 / beat.rate : 0;
            at = std::max(at + kStartLeadUs, beat.heardUs + 2 * period);
        }
        // A session that shares start and stop starts with this pass (at
        // once for a peer alone); a shared start is heard from the
        // session's first bar after it, its downbeat included.
        if (link_->SharesStartStop()) {
            if (!link_->Playing())
                at = std::max(at, link_->SetPlaying(true, at, quantum));
            else
                at = std::max(at, link_->PlayingSince());
            const double phase = link_->PhaseAt(at, quantum);
            if (beat.timed && phase > 1e-3 && quantum - phase > 1e-3)
                at = link_->TimeOfBeat(link_->BeatAt(at, quantum) + quantum - phase, quantum);
        }
        const double into = link_->PhaseAt(at, quantum) / quantum;
        const LONG from = LONG(std::llround(into * feed->Frames()) % feed->Frames());
        TakeState(GetPlayer().PlayLoop(selected_, feed, from, {.heardUs = beat.timed ? at : 0}));
        linkWatch_->HoldUntil(at + 20000);
    }
    Notify(kChangeTransport);
}
