// Sound output through SDL2's audio callback. Each buffer gets an SDL
// stream opened in the buffer's own format (SDL converts to the hardware's),
// with a short callback period; only SDL's audio subsystem is used.
#pragma once

#include "sound/sound_device.h"

class SdlDevice : public SoundDevice {
  public:
    // Null when SDL's audio cannot be initialised or has no device.
    static std::shared_ptr<SdlDevice> Open();
    ~SdlDevice() override;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override;

    static constexpr int kPeriodFrames = 512;

  private:
    SdlDevice() = default;
};
