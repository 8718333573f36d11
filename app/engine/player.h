// Playback on a thread of the engine's own. The Player owns the shared
// AvSystem while the engine lives: every call on it, the refills the
// device's notifications ask for included, runs on the player's thread,
// one at a time, so no window or other work can hold a refill up. The
// engine's calls wait for that thread (it never waits for them); what
// happens on it by itself (a queued pass taking over, the tick being
// played, playback ending) reaches the engine through post, which runs
// it on the engine's own thread later.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/loop_feed.h"
#include "engine/serial_thread.h"
#include "output/av_system.h"
#include "song/song.h"

// What plays, as the engine sees it.
struct TransportState {
    bool playing = false;      // a loop or the arrangement (a preview is not)
    int playingLoop = -1;      // the loop whose pass is read now
    int queuedLoop = -1;       // the loop that takes over at the end of the pass
    bool arrangement = false;  // the arrangement plays, pass by pass
    // Counts the changes: of two states, the later has the larger number.
    std::uint64_t version = 0;
    bool SameAs(const TransportState& o) const {
        return playing == o.playing && playingLoop == o.playingLoop && queuedLoop == o.queuedLoop &&
               arrangement == o.arrangement;
    }
};

// When a stream's first frame is heard, on an output that can hold its
// start: at the steady clock's microsecond heardUs (0: at once), or on
// frame transportFrame of the transport the output follows, once it rolls
// (< 0: not held for it).
struct LoopStart {
    std::int64_t heardUs = 0;
    std::int64_t transportFrame = -1;
};

class Player : private DirectXEvent8 {
  public:
    using Feeds = std::map<std::uint8_t, std::shared_ptr<LoopFeed>>;
    // Runs work on the engine's thread, later.
    using Poster = std::function<void(std::function<void()>)>;
    struct Events {
        // The state after something changed on the player's thread.
        std::function<void(const TransportState&)> changed;
        // The light of tick (of the loop playing) should be lit.
        std::function<void(LONG tick)> tickLit;
        // Playback stopped because it could not go on.
        std::function<void(const std::string& error)> failed;
    };

    Player(Poster post, Events events);
    // Stops playback and hands the AvSystem back.
    ~Player();

    // Plays a loop over and over from its start (the first pass from its
    // frame `from`, heard as start says, else at once). Throws AppError (no
    // device ...); nothing plays then.
    TransportState PlayLoop(std::uint8_t loop, std::shared_ptr<LoopFeed> feed, LONG from = 0,
                            LoopStart start = {});
    // Plays the arrangement over and over from its first pass; feeds has
    // every loop its steps name.
    TransportState PlayArrangement(std::vector<ArrangementStep> steps, Feeds feeds);
    // While playing: loop follows at the end of the pass being read, and
    // the arrangement, if it played, is left.
    TransportState QueueLoop(std::uint8_t loop, std::shared_ptr<LoopFeed> feed);
    // While playing: the arrangement follows at the end of the pass being
    // read, from its first pass (restart) or from the pass after the one
    // playing, read from feeds (renderings that changed).
    TransportState FollowArrangement(std::vector<ArrangementStep> steps, Feeds feeds, bool restart);
    // While playing: nothing is queued; the loop playing goes on by itself.
    TransportState ClearQueue();
    TransportState Stop();
    // Plays reader once, stopping what plays (a sample listened to).
    TransportState Preview(ComPtr<IWavReader> reader);
    // Halts and restarts the device around work that must not be heard over.
    void Pause();
    void UnPause();
    // Lets go of the sound device while nothing plays.
    void ReleaseDevice();

    // Stops playback when its device went away; true when it did.
    bool StopIfOutputLost();
    // Where a hit played at frame `clock` of the output's clock falls in
    // the loop then heard: the loop, its nearest tick (the first, of the
    // pass after, when that is nearer), and that pass's number since Play
    // (0 the first). Nothing when the output keeps no clock or nothing
    // was playing then.
    struct HitPlace {
        std::uint8_t loop = 0;
        LONG tick = 0;
        std::uint64_t pass = 0;
    };
    std::optional<HitPlace> PlaceOfHit(std::uint64_t clock);
    // The reader's position, and whether anything plays (a preview too).
    LONG PlaybackPosition();
    bool IsStreaming();
    // The AvSystem's half, for tests and measurements.
    LONG HalfFrames();
    // Runs on the player's thread whatever it was given before.
    void Flush() { thread_.Flush(); }
    // For measuring tools: every half written, on the player's thread;
    // and the device buffer's frames played as silence for want of a
    // refill, and its longest wait from a notification to the refill.
    void SetWriteObserver(AvSystem::WriteObserver observer);
    struct Stats {
        unsigned long lateFrames = 0;
        double longestRefill = 0;
    };
    Stats DeviceStats();

  private:
    void DXCallback(LONG eventid) override;
    // Starts reader from idle, or switches a running stream to it.
    void Start(ComPtr<IWavReader> reader, std::uint8_t loop, const std::shared_ptr<LoopFeed>& feed,
               LONG from = 0, LoopStart start = {});
    // Notes a loop's ticks as its feed has them, for PlaceOfHit.
    void KeepGeometry(std::uint8_t loop, const LoopFeed& feed);
    // After a notification: a queued pass that took over.
    void FollowQueue();
    // Queues the arrangement's pass after the one playing.
    void QueueNextPass();
    void LightTick();
    // The state as changed by a call, numbered.
    TransportState Stamp();
    // Tells the engine the state, when it changed on the player's thread.
    void Publish();

    // The arrangement's pass after at.
    struct At {
        std::size_t step = 0;
        std::uint16_t pass = 0;
    };
    At Next(At at) const;

    Poster post_;
    Events events_;
    AvSystem& av_;
    // Everything below is the player thread's own.
    TransportState state_;
    std::vector<ArrangementStep> steps_;
    Feeds feeds_;
    At playingAt_, queuedAt_;
    std::shared_ptr<LoopFeed> playingFeed_, queuedFeed_;
    TransportState published_;
    std::uint64_t version_ = 0;
    LONG litTick_ = -1;
    struct Geometry {
        LONG ticks = 0, tickLength = 0;
    };
    std::map<std::uint8_t, Geometry> geometry_;
    SerialThread thread_;  // last: it ends first
};
