// AvSystem: plays a stream of PCM audio pulled from a reader through one
// looping device buffer of two halves. While one half is heard the other is
// refilled; the device's notifications say when the play position enters a
// half. The program shares one, reached through GetAvSystem.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "output/frame_reader.h"
#include "sound/directx8.h"

// How PlayAudio plays a reader: its arguments, named as designed.
struct PlayOptions {
    LONG hwnd = 0;                       // the window given to the device's cooperative level
    DirectXEvent8* EventSink = nullptr;  // receives the notifications
    LONG StartPos = 0;                   // the first frame played
    LONG EndPos = -1;                    // the frame where reading stops; < 0: the reader's end
    bool PlayLoop = false;               // at the end, the next pass instead of silence
    LONG HalfBufferSize = 0;             // frames per half; <= 0: the default half
    long Tag = -1;                       // names the reader's passes for PlaceAt
    // From idle: the steady clock's microsecond the first frame is to be
    // heard at, on an output that can hold its start (0: at once).
    std::int64_t StartAt = 0;
    // From idle, on an output that follows a transport: the transport's
    // frame the first frame plays on, held until the rolling transport
    // reaches it (< 0: not held for it).
    std::int64_t StartWithTransport = -1;
};

// Where a stream stood at some frame of its output's clock: the pass then
// playing (its tag, and its number since the stream began, 0 first) and
// the reader's frame within it.
struct StreamPlace {
    long tag = -1;
    std::uint64_t pass = 0;
    LONG frame = 0;
};

// How the beats of a tag's passes fall, for the output's beat clock.
struct BeatGrid {
    LONG ticks = 0;       // ticks in a pass
    LONG tickLength = 0;  // frames per tick
    int ticksPerBeat = 0;
};

class AvSystem {
  public:
    AvSystem() = default;
    AvSystem(const AvSystem&) = delete;
    AvSystem& operator=(const AvSystem&) = delete;
    ~AvSystem();

    // The reader that takes over at the end of the current pass; tag
    // names its passes for PlaceAt.
    void Enqueue(IWavReader* reader, long tag = -1);
    // The beats of tag's passes from its next pass on; a tag without a
    // grid has no beat (its passes stop the output's beat clock).
    void SetBeatGrid(long tag, BeatGrid grid) { grids_[tag] = grid; }
    // Plays audioFile as options say, or switches a running stream to it at
    // once. Throws AppError; 0xE0010031 when no sound device can be opened.
    void PlayAudio(IWavReader* audioFile, const PlayOptions& options);
    void StopPlaying();
    // While not playing, lets go of the sound device, so that its driver
    // stops; the next PlayAudio opens the chosen output again.
    void ReleaseDevice();
    // Halts and restarts the device buffer; the stream goes on afterwards.
    void Pause();
    void UnPause();
    LONG PlaybackPosition() const;
    // What was heard at frame `clock` of the output's clock (an output
    // with a clock of its own only); false when that is not known (no
    // such clock, a frame before the stream or long past).
    bool PlaceAt(std::uint64_t clock, StreamPlace* place) const;
    // Whether a stream plays on a device that went away.
    bool OutputLost() const { return isPlaying_ && buffer_ && buffer_->Lost(); }
    bool IsPlaying() const { return isPlaying_; }
    // A sink that goes away: playback for it stops and its events are
    // destroyed, so the next PlayAudio makes events for its own sink.
    void DetachSink(DirectXEvent8* sink);
    // For measuring tools: sees every half written to the device, in the
    // order written (which is the order played while nothing jumps).
    using WriteObserver = std::function<void(const AudioSample* values, std::size_t count)>;
    void SetWriteObserver(WriteObserver observer) { writeObserver_ = std::move(observer); }
    // What every event sink forwards its DXCallback to.
    void HandleNotification(LONG eventid, bool force);

    // The state, for the tick display and tests.
    LONG HalfFrames() const { return halfFrames_; }
    LONG HalfValues() const { return halfValues_; }
    LONG HalfBytes() const { return halfBytes_; }
    LONG PlayingHalfOffset() const { return playingHalfOffset_; }
    LONG LastEventId() const { return lastEventId_; }
    LONG StartEventId() const { return startEventId_; }
    LONG HalfEventId() const { return halfEventId_; }
    // Whether a reader waits to take over at the end of the pass.
    bool HasQueued() const { return bool(queuedReader_); }
    bool AtEnd() const { return atEnd_; }
    const std::shared_ptr<DirectSoundSecondaryBuffer8>& Buffer() const { return buffer_; }

  private:
    void StartNextPass();
    // Notes that a pass of tag begins at the reader's frame first, played
    // at the buffer's frame `played`.
    void LogPass(std::uint64_t played, long tag, LONG first);
    // The stream's next half, HalfValues values (silence past its end).
    void ReadHalfInto(AudioSample* values);
    // Reads the next half into the ring's half at byte start.
    void FillHalf(LONG start);
    // The reader's one-copy interface, when it has one.
    IFrameReader* DirectReader();

    std::unique_ptr<DirectX8> directX_;
    std::shared_ptr<DirectSound8> sound_;
    unsigned long soundGeneration_ = 0;  // the output sound_ was opened for
    std::shared_ptr<DirectSoundSecondaryBuffer8> buffer_;
    DSBPOSITIONNOTIFY notifyTable_[3] = {};
    DirectXEvent8* sink_ = nullptr;  // the sink of the three events
    LONG stopEventId_ = 0;
    LONG halfEventId_ = 0;
    LONG startEventId_ = 0;
    LONG halfFrames_ = 0;
    LONG halfValues_ = 0;
    LONG halfBytes_ = 0;
    ComPtr<IWavReader> reader_;
    bool isPlaying_ = false;
    bool atEnd_ = false;
    LONG playingHalfOffset_ = 0;
    LONG startPos_ = 0;
    LONG endPos_ = 0;
    bool playLoop_ = false;
    ComPtr<IWavReader> queuedReader_;
    long tag_ = -1, queuedTag_ = -1;
    // The stream's frames written to the buffer so far (silence past its
    // end too), and how far the buffer's played frames are from them (a
    // switch at once moves the play position).
    std::uint64_t written_ = 0;
    long long playedLead_ = 0;
    struct PassStart {
        std::uint64_t played;  // the buffer's frame the pass begins at
        long tag;
        std::uint64_t number;
        LONG first;  // the reader's frame it begins with
    };
    std::deque<PassStart> passes_;  // the latest few
    std::map<long, BeatGrid> grids_;
    std::uint64_t passCount_ = 0;
    ComPtr<IWavReader> directOf_;  // the reader direct_ was asked of
    ComPtr<IFrameReader> direct_;
    LONG lastEventId_ = 0;
    // Stop notifications that Pause and StopPlaying raised, still to come,
    // and how many of them end a stopped stream whose notifications are
    // stale until then.
    int stopsToCome_ = 0;
    int staleStops_ = 0;
    WriteObserver writeObserver_;
};
