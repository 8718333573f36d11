// Sound output through SDL2's audio callback. Each buffer gets an SDL
// stream opened in the buffer's own format (SDL converts to the hardware's),
// with a short callback period; only SDL's audio subsystem is used.
#pragma once

#include <chrono>

#include "sound/sound_device.h"

class SdlDevice : public SoundDevice {
  public:
    // Null when SDL's audio cannot be initialised or has no device.
    static std::shared_ptr<SdlDevice> Open();
    ~SdlDevice() override;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override;

    // Frames per callback: also how much audio the sound server holds
    // ahead, which must outlast the scheduling delays of a busy desktop.
    static constexpr int kPeriodFrames = 2048;
    // How long a callback waits for the program to refill the ring.
    static constexpr std::chrono::milliseconds kRefillWait{250};

  private:
    SdlDevice() = default;
};
