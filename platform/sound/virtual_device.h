// A device for tests: its play cursor moves only when the test advances
// it, and the notifications that come due are delivered at once, through
// the same event service as on a real device. What it played is kept.
#pragma once

#include <atomic>
#include <vector>

#include "sound/sound_device.h"

class VirtualDevice : public SoundDevice {
  public:
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override;

    // Plays frames (or bytes) of the newest buffer, then delivers what came due.
    void AdvanceFrames(long frames);
    void AdvanceBytes(long bytes);
    // Everything played so far, in the newest buffer's format.
    const std::vector<unsigned char>& Played() const { return played_; }
    void ClearPlayed() { played_.clear(); }
    std::shared_ptr<DirectSoundSecondaryBuffer8> Buffer() const { return buffer_; }
    int BuffersCreated() const { return created_; }
    // Delivers what came due without moving the cursor.
    void DeliverPendingForTest() { AdvanceBytes(0); }
    // As a sound server that ends: the device's buffers say they are lost.
    void SetLost(bool lost) { lost_->store(lost); }

  private:
    std::shared_ptr<DirectSoundSecondaryBuffer8> buffer_;
    std::vector<unsigned char> played_;
    int created_ = 0;
    std::shared_ptr<std::atomic<bool>> lost_ = std::make_shared<std::atomic<bool>>(false);
};
