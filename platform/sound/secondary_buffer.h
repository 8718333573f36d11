// A sound buffer: a looping byte ring in the buffer's own format, a play
// cursor, and the notification positions the cursor signals as it passes
// them. The device's real-time side only calls Render, which copies bytes
// out and queues due notifications; it never allocates, locks or waits.
//
// A frame of the ring is played once per write: the program refills what
// was played (a half, when a notification says the cursor entered the
// other one), and Render never plays a frame that has not been written
// since it was last played. A frame the program has not refilled in time
// is played as silence: the stream keeps its timing and its order. The
// write meant for that play, if it comes before the cursor passes the
// next notification position, is dropped (it would be heard a lap late);
// a write after that is the refill for the next lap and is kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "com/hresult.h"
#include "sound/pass_mark.h"
#include "sound/records.h"

class DirectSoundSecondaryBuffer8 {
  public:
    // run tells the device to start or halt its stream.
    DirectSoundSecondaryBuffer8(const DSBUFFERDESC& desc, std::function<void(bool)> run);
    virtual ~DirectSoundSecondaryBuffer8() = default;

    HRESULT SetNotificationPositions(LONG count, const DSBPOSITIONNOTIFY* table);
    // Copies bytes into the ring at start, wrapping at its end.
    HRESULT WriteBuffer(LONG start, LONG bytes, const void* data, LONG flags);
    // Writing in place: Lock hands out the ring's memory for bytes from
    // start on (a second part when it wraps; null and 0 otherwise), Unlock
    // makes what was written there playable. Between the two the program
    // may only write those bytes.
    HRESULT Lock(LONG start, LONG bytes, void** part1, LONG* bytes1, void** part2, LONG* bytes2);
    HRESULT Unlock(void* part1, LONG bytes1, void* part2, LONG bytes2);
    HRESULT SetCurrentPosition(LONG offset);
    HRESULT GetCurrentPosition(LONG* play, LONG* write) const;
    HRESULT Play(LONG flags);
    // Halts a playing buffer and signals the stop notification, after any
    // notification of the play it ends; a stopped buffer signals nothing.
    HRESULT Stop();

    bool IsPlaying() const { return playing_.load(std::memory_order_acquire); }
    // For an output with a clock of its own (frames since it began): how
    // many of the buffer's frames (at its own rate) had been played by
    // frame `at` of that clock; false when the output keeps no such clock
    // or the buffer has not played yet. Any thread.
    virtual bool FramesPlayedAt(std::uint64_t at, std::uint64_t* played) const {
        (void)at;
        (void)played;
        return false;
    }
    // The buffer's frames played so far, at its own rate (0 when the
    // output keeps no count). Any thread.
    virtual std::uint64_t FramesPlayed() const { return 0; }
    // Where a pass of the stream begins and how its beats fall, told as
    // it is written (ahead of being played): an output that sends a beat
    // clock places it by these. Other outputs keep none. One thread.
    virtual void MarkPass(const PassMark& mark) { (void)mark; }
    // Holds the buffer's first frame until the steady clock's microsecond
    // heardUs (when it is heard), so that a stream starts on a given beat;
    // told before Play. An output that cannot place its start exactly
    // starts at once.
    virtual void StartAt(std::int64_t heardUs) { (void)heardUs; }
    // Holds the buffer's first frame until the transport its output follows
    // rolls and reaches its frame `frame`, and plays it there (when the
    // transport is already past it, what of the stream was due before is
    // skipped); told before Play. An output with no transport starts at
    // once.
    virtual void StartWithTransport(std::uint64_t frame) { (void)frame; }
    // Whether the device that plays the buffer is gone (its sound server
    // ended, its hardware was unplugged): nothing it is given is heard.
    virtual bool Lost() const { return false; }
    const WAVEFORMATEX& Format() const { return format_; }
    LONG Size() const { return static_cast<LONG>(ring_.size()); }

    // The real-time side: the next bytes the device plays, silence while
    // stopped; the cursor advances and passed notifications are signalled.
    void Render(unsigned char* out, std::size_t bytes);

    // Whether the frame at byte offset has been written since it was played.
    bool IsFresh(LONG offset) const;

    // For measuring: frames played as silence because their write came too
    // late, and the longest time from a notification signalled to the next
    // write (the program's refill), in seconds.
    unsigned long LateFrames() const { return lateFrames_.load(std::memory_order_relaxed); }
    double LongestRefill() const;

  private:
    // Marks the frames of bytes from start on written.
    void MarkWritten(std::size_t start, std::size_t bytes);
    std::size_t FrameBytes() const;
    std::size_t Frames() const { return ring_.size() / FrameBytes(); }
    // How many frames from frame first on (at most most, wrapping) are
    // fresh, or not, as fresh says.
    std::size_t RunOf(std::size_t first, bool fresh, std::size_t most) const;
    // Calls f(word, mask) for the words of a bit map that hold frames
    // [first, first + count) of the ring, wrapping at its end.
    template <class F>
    void ForFrames(std::size_t first, std::size_t count, F&& f) const;

    WAVEFORMATEX format_;
    std::vector<unsigned char> ring_;
    std::vector<DSBPOSITIONNOTIFY> notify_;  // sorted by offset; set while stopped
    LONG stopEvent_ = 0;
    std::atomic<LONG> cursor_{0};
    // One bit per frame, 64 to a word. fresh_: written and not played
    // since (a write sets it after the bytes, with release; Render reads
    // it before them, with acquire). skipped_: played as silence because
    // its write was late, when the notifications signalled numbered
    // skippedAt_ (older skips are cleared when a new one begins).
    std::unique_ptr<std::atomic<std::uint64_t>[]> fresh_, skipped_;
    std::atomic<unsigned long> skippedAt_{0};
    // Notifications signalled so far.
    std::atomic<unsigned long> epoch_{0};
    std::atomic<bool> playing_{false};
    // Renders under way: Stop lets them finish before it signals.
    std::atomic<int> rendering_{0};
    std::atomic<unsigned long> lateFrames_{0};
    // When the oldest unanswered notification was signalled (steady clock,
    // nanoseconds; 0: none), and the longest wait for a write after one.
    std::atomic<long long> signalledAt_{0};
    std::atomic<long long> longestRefill_{0};
    std::function<void(bool)> run_;
};
