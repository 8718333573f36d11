// Following the output's transport (JACK's): playback starts, stops and
// moves with it, each pass starting on its bars, and takes its tempo.
#include <cmath>

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
    if (!view.rolling) {
        if (state_.playing) Stop();
        return;
    }
    if (state_.playing && !relocated) return;
    if (state_.playing) Stop();
    if (arrangementMode_ && !song_->Arrangement().empty()) {
        Play();
        return;
    }
    const Batch batch(*this);
    try {
        Render(selected_, true);
        const std::shared_ptr<LoopFeed> feed = FeedOf(selected_);
        // Where the transport will be when the first frame plays: it has gone
        // on since the view was seen, and the stream starts with the next
        // period.
        const double rate = view.rate ? view.rate : 44100;
        const double since =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - seenAt).count() *
                rate +
            view.period;
        const LoopFormat& format = song_->Sequence(selected_)->Format();
        const double bpm = double(song_->Bpm()) / 10000.0;
        double beats = 0;
        if (view.bbt)
            beats = (view.bar - 1) * view.beatsPerBar + (view.beat - 1) +
                    view.tick / view.ticksPerBeat + since * view.bpm / (60.0 * rate);
        else
            beats = (double(view.frame) + since) * bpm / (60.0 * rate);
        // The pass starts with the transport's bars (its frame 0 without a
        // timebase master).
        const double passBeats = double(format.ticks) / format.ticksPerBeat;
        const double into = std::fmod(std::max(beats, 0.0), passBeats) / passBeats;
        const LONG from = LONG(std::llround(into * feed->Frames())) % feed->Frames();
        TakeState(GetPlayer().PlayLoop(selected_, feed, from));
    } catch (const std::exception& e) {
        state_.playing = false;
        if (view_) view_->Report(ErrorText(e));
    }
    Notify(kChangeTransport);
}
