#include "engine/player.h"

#include <algorithm>

#include "output/av_module.h"
#include "sound/event_service.h"
#include "sound/sound_device.h"
#include "support/app_error.h"
#include "support/integers.h"

namespace {

// Notifications of the sound device go to the player's thread.
class Dispatch {
  public:
    static void Install(SerialThread& thread) {
        EventService::Instance().SetDispatcher(
            [&thread](std::function<void()> delivery) { thread.Post(std::move(delivery)); });
    }
    static void Remove() { EventService::Instance().SetDispatcher(nullptr); }
};

}  // namespace

Player::Player(Poster post, Events events)
    : post_(std::move(post)), events_(std::move(events)), av_(GetAvSystem()) {
    Dispatch::Install(thread_);
}

Player::~Player() {
    thread_.Call([this] {
        try {
            av_.StopPlaying();
        } catch (const std::exception&) {
        }
        // No notification may reach this sink once it is gone.
        av_.DetachSink(this);
        av_.SetWriteObserver(nullptr);
        ReleaseSoundThreadState();
    });
    Dispatch::Remove();
    // Deliveries posted before the dispatcher went run now, and find no sink.
    thread_.Flush();
}

void Player::KeepGeometry(std::uint8_t loop, const LoopFeed& feed) {
    geometry_[loop] = {feed.Ticks(), feed.TickLength()};
    av_.SetBeatGrid(loop, {feed.Ticks(), feed.TickLength(), feed.TicksPerBeat()});
}

std::optional<Player::HitPlace> Player::PlaceOfHit(std::uint64_t clock) {
    return thread_.Call([&]() -> std::optional<HitPlace> {
        StreamPlace place;
        if (!av_.PlaceAt(clock, &place) || place.tag < 0) return std::nullopt;
        const auto g = geometry_.find(std::uint8_t(place.tag));
        if (g == geometry_.end() || g->second.tickLength <= 0) return std::nullopt;
        HitPlace hit{std::uint8_t(place.tag), 0, place.pass};
        const LONG length = g->second.tickLength;
        hit.tick = (place.frame + length / 2) / length;
        if (hit.tick >= g->second.ticks) {
            hit.tick = 0;
            ++hit.pass;
        }
        return hit;
    });
}

void Player::Start(ComPtr<IWavReader> reader, std::uint8_t loop,
                   const std::shared_ptr<LoopFeed>& feed, LONG from, LoopStart start) {
    KeepGeometry(loop, *feed);
    // Nothing left queued from before; the end of each reader is its own
    // end, so a loop of another length (another tempo) can follow.
    av_.Enqueue(nullptr);
    try {
        av_.PlayAudio(reader.get(), {.EventSink = this,
                                     .StartPos = std::clamp<LONG>(from, 0, feed->Frames() - 1),
                                     .EndPos = -1,
                                     .PlayLoop = true,
                                     .HalfBufferSize = feed->Frames() / feed->Ticks() + 1,
                                     .Tag = loop,
                                     .StartAt = start.heardUs,
                                     .StartWithTransport = start.transportFrame});
    } catch (...) {
        if (av_.IsPlaying()) av_.StopPlaying();
        state_ = {};
        throw;
    }
    playingFeed_ = feed;
    queuedFeed_ = nullptr;
    state_.playing = true;
    state_.queuedLoop = -1;
}

TransportState Player::PlayLoop(std::uint8_t loop, std::shared_ptr<LoopFeed> feed, LONG from,
                                LoopStart start) {
    return thread_.Call([&] {
        if (av_.IsPlaying()) av_.StopPlaying();
        steps_.clear();
        feeds_.clear();
        state_.arrangement = false;
        Start(OpenFeedReader(feed), loop, feed, from, start);
        state_.playingLoop = loop;
        return Stamp();
    });
}

TransportState Player::PlayArrangement(std::vector<ArrangementStep> steps, Feeds feeds) {
    return thread_.Call([&] {
        if (steps.empty()) ThrowError(kErrInvalidArgument, "The arrangement is empty");
        if (av_.IsPlaying()) av_.StopPlaying();
        steps_ = std::move(steps);
        feeds_ = std::move(feeds);
        playingAt_ = {};
        const std::uint8_t loop = steps_[0].loop;
        Start(OpenFeedReader(feeds_.at(loop)), loop, feeds_.at(loop));
        state_.arrangement = true;
        state_.playingLoop = loop;
        QueueNextPass();
        return Stamp();
    });
}

TransportState Player::QueueLoop(std::uint8_t loop, std::shared_ptr<LoopFeed> feed) {
    return thread_.Call([&] {
        if (!state_.playing) return Stamp();
        state_.arrangement = false;
        steps_.clear();
        feeds_.clear();
        KeepGeometry(loop, *feed);
        av_.Enqueue(OpenFeedReader(feed).get(), loop);
        queuedFeed_ = std::move(feed);
        state_.queuedLoop = loop;
        return Stamp();
    });
}

TransportState Player::FollowArrangement(std::vector<ArrangementStep> steps, Feeds feeds,
                                         bool restart) {
    return thread_.Call([&] {
        if (!state_.playing || steps.empty()) return Stamp();
        const bool was = state_.arrangement;
        steps_ = std::move(steps);
        feeds_ = std::move(feeds);
        // From the start: the pass playing counts as the last one, so the
        // first comes next.
        if (restart || !was || playingAt_.step >= steps_.size())
            playingAt_ = {steps_.size() - 1, std::uint16_t(steps_.back().repeats - 1)};
        else if (playingAt_.pass >= steps_[playingAt_.step].repeats)
            playingAt_.pass = std::uint16_t(steps_[playingAt_.step].repeats - 1);
        state_.arrangement = true;
        QueueNextPass();
        return Stamp();
    });
}

TransportState Player::ClearQueue() {
    return thread_.Call([&] {
        av_.Enqueue(nullptr);
        queuedFeed_ = nullptr;
        // The loop playing goes on: its passes are placed by its own ticks
        // again (a queued one of another tempo had replaced them).
        if (playingFeed_ && state_.playingLoop >= 0)
            KeepGeometry(std::uint8_t(state_.playingLoop), *playingFeed_);
        steps_.clear();
        feeds_.clear();
        state_.arrangement = false;
        state_.queuedLoop = -1;
        return Stamp();
    });
}

TransportState Player::Stop() {
    return thread_.Call([&] {
        const bool streaming = av_.IsPlaying();
        state_ = {};
        steps_.clear();
        feeds_.clear();
        playingFeed_ = queuedFeed_ = nullptr;
        if (streaming) av_.StopPlaying();
        return Stamp();
    });
}

TransportState Player::Preview(ComPtr<IWavReader> reader) {
    return thread_.Call([&] {
        if (av_.IsPlaying()) av_.StopPlaying();
        state_ = {};
        steps_.clear();
        feeds_.clear();
        playingFeed_ = queuedFeed_ = nullptr;
        av_.Enqueue(nullptr);
        av_.PlayAudio(reader.get(), {.EventSink = this, .PlayLoop = false});
        return Stamp();
    });
}

void Player::Pause() {
    thread_.Call([&] { av_.Pause(); });
}

void Player::UnPause() {
    thread_.Call([&] { av_.UnPause(); });
}

void Player::ReleaseDevice() {
    thread_.Call([&] { av_.ReleaseDevice(); });
}

bool Player::StopIfOutputLost() {
    return thread_.Call([&] {
        if (!av_.OutputLost()) return false;
        try {
            av_.StopPlaying();
        } catch (const std::exception&) {
        }
        state_ = {};
        playingFeed_ = queuedFeed_ = nullptr;
        Publish();
        return true;
    });
}

LONG Player::PlaybackPosition() {
    return thread_.Call([&] { return av_.PlaybackPosition(); });
}

bool Player::IsStreaming() {
    return thread_.Call([&] { return av_.IsPlaying(); });
}

LONG Player::HalfFrames() {
    return thread_.Call([&] { return av_.HalfFrames(); });
}

void Player::SetWriteObserver(AvSystem::WriteObserver observer) {
    thread_.Call([&] { av_.SetWriteObserver(std::move(observer)); });
}

Player::Stats Player::DeviceStats() {
    return thread_.Call([&] {
        const auto& buffer = av_.Buffer();
        return buffer ? Stats{buffer->LateFrames(), buffer->LongestRefill()} : Stats{};
    });
}

Player::At Player::Next(At at) const {
    if (at.step < steps_.size() && at.pass + 1 < steps_[at.step].repeats)
        return {at.step, std::uint16_t(at.pass + 1)};
    return {at.step + 1 < steps_.size() ? at.step + 1 : 0, 0};
}

void Player::QueueNextPass() {
    if (steps_.empty()) return;
    queuedAt_ = Next(playingAt_);
    const std::uint8_t loop = steps_[queuedAt_.step].loop;
    queuedFeed_ = feeds_.at(loop);
    KeepGeometry(loop, *queuedFeed_);
    av_.Enqueue(OpenFeedReader(queuedFeed_).get(), loop);
    state_.queuedLoop = loop;
}

void Player::LightTick() {
    if (!playingFeed_ || playingFeed_->TickLength() <= 0) return;
    const LONG tick =
        MinLong(playingFeed_->Ticks() - 1, av_.PlaybackPosition() / playingFeed_->TickLength());
    if (tick == litTick_) return;
    litTick_ = tick;
    if (events_.tickLit) post_([f = events_.tickLit, tick] { f(tick); });
}

void Player::FollowQueue() {
    if (state_.queuedLoop < 0 || av_.HasQueued() || !av_.IsPlaying()) return;
    // The queued reader took over at the end of the pass.
    playingFeed_ = std::move(queuedFeed_);
    state_.playingLoop = state_.queuedLoop;
    state_.queuedLoop = -1;
    if (state_.arrangement) {
        playingAt_ = queuedAt_;
        QueueNextPass();
    }
}

TransportState Player::Stamp() {
    state_.version = ++version_;
    published_ = state_;
    return state_;
}

void Player::Publish() {
    if (state_.SameAs(published_)) return;
    Stamp();
    if (events_.changed) post_([f = events_.changed, s = state_] { f(s); });
}

void Player::DXCallback(LONG eventid) {
    try {
        // The tick being played lights before the buffer is refilled.
        LightTick();
        Doing("go on playing", [&] { av_.HandleNotification(eventid, false); });
        FollowQueue();
        // A stream that ended by itself (a preview, a stop) plays nothing.
        if (!av_.IsPlaying() && state_.playing) {
            state_ = {};
            playingFeed_ = queuedFeed_ = nullptr;
        }
        Publish();
    } catch (const std::exception& e) {
        // Playback that cannot go on stops, rather than failing at every tick.
        try {
            if (av_.IsPlaying()) av_.StopPlaying();
        } catch (const std::exception&) {
        }
        state_ = {};
        playingFeed_ = queuedFeed_ = nullptr;
        Publish();
        if (events_.failed) post_([f = events_.failed, text = ErrorText(e)] { f(text); });
    }
}
