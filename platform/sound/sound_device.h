// The device behind DirectSoundCreate: it gives every buffer a stream that
// plays it. SdlDevice is the default; tests install a VirtualDevice.
#pragma once

#include <memory>

#include "sound/secondary_buffer.h"

class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // A buffer this device plays; null when no stream can be opened for it.
    virtual std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) = 0;
};

// Opens the default device: the one installed with SetDefaultSoundDevice,
// else SDL's default output. Null when none can be opened.
std::shared_ptr<SoundDevice> OpenDefaultSoundDevice();
// Replaces the default device (tests; null returns to SDL).
void SetDefaultSoundDevice(std::shared_ptr<SoundDevice> device);
