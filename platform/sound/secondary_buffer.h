// A sound buffer: a looping byte ring in the buffer's own format, a play
// cursor, and the notification positions the cursor signals as it passes
// them. The device's real-time side only calls Render, which copies bytes
// out and queues due notifications; it never allocates or blocks.
#pragma once

#include <atomic>
#include <functional>
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
    void Render(unsigned char* out, std::size_t bytes);

  private:
    void SignalPassed(LONG from, LONG advance);

    WAVEFORMATEX format_;
    std::vector<unsigned char> ring_;
    std::vector<DSBPOSITIONNOTIFY> notify_;  // sorted by offset; set while stopped
    LONG stopEvent_ = 0;
    std::atomic<LONG> cursor_{0};
    // Bumped after every write, read before every render: what the program
    // wrote is visible to the device thread that plays it.
    std::atomic<unsigned> written_{0};
    std::atomic<bool> playing_{false};
    std::function<void(bool)> run_;
};
