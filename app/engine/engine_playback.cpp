// The engine's playback: the loop shown played over and over, loops
// queued to take over at the end of the pass, the arrangement walked pass
// by pass, and the light of the tick being played.
#include "engine/engine.h"
#include "song/song_export.h"
#include "support/app_error.h"
#include "support/text_format.h"

void Engine::TakeState(const TransportState& state) {
    // A state posted earlier than one a call returned is out of date.
    if (state.version <= state_.version) return;
    state_ = state;
    // The arrangement shows what plays.
    if (state_.playing && state_.arrangement && state_.playingLoop >= 0 &&
        state_.playingLoop != selected_)
        ShowLoop(std::uint8_t(state_.playingLoop));
    Notify(kChangeTransport);
}

void Engine::SelectLoop(std::uint8_t v) {
    const Batch batch(*this);
    ShowLoop(v);
    // Takes over at the end of the pass being played.
    if (state_.playing) {
        arrangementMode_ = false;
        TakeState(GetPlayer().QueueLoop(v, FeedOf(v)));
    }
    Notify(kChangeTransport);
}

void Engine::CheckArrangement() const {
    if (song_->Arrangement().empty())
        ThrowError(kErrInvalidArgument,
                   "The arrangement is empty: add its loops with Edit... first");
    CheckArrangementLoops(*song_, Quoted(DocumentName()));
}

Player::Feeds Engine::ArrangementFeeds() {
    Player::Feeds feeds;
    for (const ArrangementStep& step : song_->Arrangement())
        if (!feeds.count(step.loop)) feeds[step.loop] = FeedOf(step.loop);
    return feeds;
}

void Engine::Play() {
    if (state_.playing) return;
    const Batch batch(*this);
    const std::string what =
        arrangementMode_ ? "play the arrangement" : "play loop " + std::to_string(selected_);
    try {
        Doing(what, [&] { StartPlaying(); });
    } catch (...) {
        // Nothing plays.
        state_.playing = false;
        state_.arrangement = false;
        state_.queuedLoop = state_.playingLoop = -1;
        Notify(kChangeTransport);
        throw;
    }
    Notify(kChangeTransport);
}

void Engine::StartPlaying() {
    if (arrangementMode_) {
        // The piece starts with its first pass, shown as it plays.
        CheckArrangement();
        ShowLoop(song_->Arrangement().front().loop);
        TakeState(GetPlayer().PlayArrangement(song_->Arrangement(), ArrangementFeeds()));
    } else if (link_) {
        PlayInPhase();
    } else {
        Render(selected_, true);
        TakeState(GetPlayer().PlayLoop(selected_, FeedOf(selected_)));
    }
}

void Engine::Stop() {
    // Hits played up to now are kept; the take ends with playback.
    if (recording_) SetRecording(false);
    TakeState(GetPlayer().Stop());
    TellLinkStopped();
    Notify(kChangeTransport);
}

void Engine::PlayOrStop() {
    if (state_.playing)
        Stop();
    else
        Play();
}

void Engine::SetArrangementMode(bool on) {
    if (arrangementMode_ == on) return;
    const Batch batch(*this);
    arrangementMode_ = on;
    if (!on && PlayingArrangement()) {
        // The loop that plays goes on by itself.
        TakeState(GetPlayer().ClearQueue());
    } else if (on && state_.playing && !state_.arrangement && !song_->Arrangement().empty()) {
        // The arrangement starts at the end of this pass.
        try {
            CheckArrangement();
            TakeState(
                GetPlayer().FollowArrangement(song_->Arrangement(), ArrangementFeeds(), true));
        } catch (const std::exception& e) {
            if (view_) view_->Report(ErrorText(e));
        }
    }
    Notify(kChangeTransport);
}

void Engine::CheckOutput() {
    if (liveWanted_) RefreshLiveOutput();
    if (!player_ || !GetPlayer().StopIfOutputLost()) return;
    RunPosted();  // the stopped state
    if (view_)
        view_->Report(
            "Playback stopped: the sound output went away (its sound server ended, or "
            "the device was unplugged). Press Play to start again, or choose another "
            "output (Audio > Output Device).");
}

void Engine::Preview(ComPtr<IWav> wav) {
    ComPtr<IWavReader> reader;
    Check(wav->OpenReader(reader.Out()));
    // A loop that played stops.
    TakeState(GetPlayer().Preview(std::move(reader)));
}
