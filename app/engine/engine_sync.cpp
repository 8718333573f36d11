// Following the output's transport (JACK's): playback starts, stops and
// moves with it, each pass starting on its bars, and takes its tempo.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "engine/engine.h"
#include "engine/transport_watch.h"
#include "support/app_error.h"

void Engine::FollowTransport(bool on) {
    if (on == bool(transportWatch_)) return;
    if (!on) {
        transportWatch_.reset();
        return;
    }
    transportWatch_ = std::make_unique<TransportWatch>(
        [] { return DefaultTransport(); },
        [this](const TransportView& view, std::chrono::steady_clock::time_point seenAt,
               bool relocated) {
            Post([this, view, seenAt, relocated] { FollowTransportView(view, seenAt, relocated); });
        });
}

void Engine::FollowTransportView(const TransportView& view,
                                 std::chrono::steady_clock::time_point seenAt, bool relocated) {
    if (!transportWatch_) return;
    // Its timebase master's tempo, from the end of the pass as the tempo
    // box's.
    if (view.bbt) SetTempo(view.bpm);
    const bool arrangement = arrangementMode_ && !song_->Arrangement().empty();
    if (view.starting) {
        // The transport waits at its frame for Trellon: the loop is made
        // ready to roll with it, its first frame on the transport's, and
        // the transport is told (whatever came of it, so that it never
        // waits out its timeout for Trellon). The bar and beat a starting
        // transport shows may still be those of where it was, so the
        // place comes from its frame, checked against its bars once it
        // rolls.
        if (state_.playing) Stop();
        if (!arrangement) PlaceOnTransport(view, std::nullopt, false);
        DefaultTransportReady(view.frame);
        return;
    }
    if (!view.rolling) {
        heldFor_ = -1;
        if (state_.playing) Stop();
        return;
    }
    if (state_.playing && !relocated) {
        // Rolling with the loop readied for it: where its bars place the
        // loop now, against where the loop stands.
        const std::int64_t heldFor = std::exchange(heldFor_, -1);
        if (heldFor < 0 || !view.bbt || state_.arrangement) return;
        const double rate = view.rate ? view.rate : 44100;
        const std::shared_ptr<LoopFeed> feed = FeedOf(selected_);
        const long long frames = feed->Frames();
        const long long stands =
            ((heldFrom_ + (long long)view.frame - heldFor) % frames + frames) % frames;
        const long long off = std::llabs(TransportPlace(view, 0, true) - stands);
        // The master's bar and beat are in whole ticks: within one is on.
        const double tick = view.ticksPerBeat > 0 && view.bpm > 0
                                ? 60.0 * rate / (view.bpm * view.ticksPerBeat)
                                : 0;
        if (double(std::min(off, frames - off)) <= tick + 1) return;
        Stop();
        PlaceOnTransport(view, seenAt, true);
        return;
    }
    if (state_.playing) Stop();
    if (arrangement) {
        Play();
        return;
    }
    // Rolling without having waited for Trellon (a transport that timed
    // out its wait, or was moved faster than seen).
    PlaceOnTransport(view, seenAt, true);
}

LONG Engine::TransportPlace(const TransportView& view, double since, bool byBars) {
    const LoopFormat& format = song_->Sequence(selected_)->Format();
    const double rate = view.rate ? view.rate : 44100;
    const double bpm = view.bbt ? view.bpm : double(song_->Bpm()) / 10000.0;
    double beats = 0;
    if (byBars && view.bbt)
        beats = (view.bar - 1) * view.beatsPerBar + (view.beat - 1) +
                view.tick / view.ticksPerBeat + since * bpm / (60.0 * rate);
    else
        beats = (double(view.frame) + since) * bpm / (60.0 * rate);
    // The pass starts with the transport's bars (its frame 0 without a
    // timebase master).
    const LONG frames = FeedOf(selected_)->Frames();
    const double passBeats = double(format.ticks) / format.ticksPerBeat;
    const double into = std::fmod(std::max(beats, 0.0), passBeats) / passBeats;
    return LONG(std::llround(into * frames)) % frames;
}

void Engine::PlaceOnTransport(const TransportView& view,
                              std::optional<std::chrono::steady_clock::time_point> seenAt,
                              bool byBars) {
    const Batch batch(*this);
    heldFor_ = -1;
    try {
        Render(selected_, true);
        // Starting: on the frame the transport waits at. Rolling: where it
        // will be a moment from now (reckoned once the loop is ready): on
        // JACK's transport, its frame at least 20 ms and two periods ahead,
        // the stream held to it; on a MIDI clock, which no stream can be
        // held to, where the clock will be when the next period plays.
        std::int64_t at = std::int64_t(view.frame), heldFor = at;
        if (seenAt) {
            const bool held = GetTransportRole() == TransportRole::kFollow;
            const double rate = view.rate ? view.rate : 44100;
            const double seen =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - *seenAt).count() *
                rate;
            at += std::llround(seen +
                               (held ? std::max(0.02 * rate, 2.0 * view.period) : view.period));
            heldFor = held ? at : -1;
        }
        const LONG from = TransportPlace(view, double(at - std::int64_t(view.frame)), byBars);
        TakeState(
            GetPlayer().PlayLoop(selected_, FeedOf(selected_), from, {.transportFrame = heldFor}));
        heldFor_ = heldFor;
        heldFrom_ = from;
    } catch (const std::exception& e) {
        state_.playing = false;
        if (view_) view_->Report(ErrorText(e));
    }
    Notify(kChangeTransport);
}
