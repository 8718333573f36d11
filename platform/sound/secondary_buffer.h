// A sound buffer: a looping byte ring in the buffer's own format, a play
// cursor, and the notification positions the cursor signals as it passes
// them. The device's real-time side only calls Render, which copies bytes
// out and queues due notifications; it never allocates.
//
// A frame of the ring is played once per write: the program refills what
// was played (a half, when a notification says the cursor entered the
// other one), and Render never plays a frame that has not been written
// since it was last played. Where it would, it waits, a bounded while, for
// the program to write it: a device that is asked for data in bursts (a
// sound server catching up after a stall) runs ahead of the program's
// refills, and without the wait it would play the ring's old contents. A
// frame not written in time is played as silence, and the write that comes
// for it afterwards is dropped: the stream keeps its timing and its order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "com/hresult.h"
#include "sound/records.h"

class DirectSoundSecondaryBuffer8 {
  public:
    // started/stopped tell the device to run or halt its stream.
    DirectSoundSecondaryBuffer8(const DSBUFFERDESC& desc, std::function<void(bool)> run);
    virtual ~DirectSoundSecondaryBuffer8() = default;

    HRESULT SetNotificationPositions(LONG count, const DSBPOSITIONNOTIFY* table);
    // Copies bytes into the ring at start, wrapping at its end.
    HRESULT WriteBuffer(LONG start, LONG bytes, const void* data, LONG flags);
    HRESULT SetCurrentPosition(LONG offset);
    HRESULT GetCurrentPosition(LONG* play, LONG* write) const;
    HRESULT Play(LONG flags);
    // Halts a playing buffer and signals the stop notification; a stopped
    // buffer signals nothing.
    HRESULT Stop();

    bool IsPlaying() const { return playing_.load(std::memory_order_acquire); }
    const WAVEFORMATEX& Format() const { return format_; }
    LONG Size() const { return static_cast<LONG>(ring_.size()); }

    // The real-time side: the next bytes the device plays, silence while
    // stopped; the cursor advances and passed notifications are signalled.
    // A frame not written since it was last played is waited for as long
    // as wait, then played as silence.
    void Render(unsigned char* out, std::size_t bytes, std::chrono::milliseconds wait);

    // Whether the frame at byte offset has been written since it was played.
    bool IsFresh(LONG offset) const;

    // For measuring: frames played as silence because their write came too
    // late, and the longest time from a notification signalled to the next
    // write (the program's refill), in seconds.
    unsigned long LateFrames() const { return lateFrames_.load(std::memory_order_relaxed); }
    double LongestRefill() const;

  private:
    void SignalPassed(LONG from, LONG advance);
    std::size_t FrameBytes() const;
    // Until the frame at the cursor is written, the cursor moves or playback
    // stops; false when wait passed first.
    bool WaitForWrite(LONG from, std::chrono::milliseconds wait);
    void WakeRender();

    WAVEFORMATEX format_;
    std::vector<unsigned char> ring_;
    std::vector<DSBPOSITIONNOTIFY> notify_;  // sorted by offset; set while stopped
    LONG stopEvent_ = 0;
    std::atomic<LONG> cursor_{0};
    // Per frame: played; written and not yet played (fresh); or played as
    // silence because its write was late (skipped). A write sets it after
    // the bytes (release), Render reads it before them (acquire).
    enum : unsigned char { kPlayed, kFresh, kSkipped };
    std::unique_ptr<std::atomic<unsigned char>[]> state_;
    std::atomic<bool> playing_{false};
    std::atomic<unsigned long> lateFrames_{0};
    // When the oldest unanswered notification was signalled (steady clock,
    // nanoseconds; 0: none), and the longest wait for a write after one.
    std::atomic<long long> signalledAt_{0};
    std::atomic<long long> longestRefill_{0};
    // Render waits here for a write; the program's thread only notifies.
    std::mutex waitMutex_;
    std::condition_variable written_;
    std::function<void(bool)> run_;
};
