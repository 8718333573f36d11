// The device behind DirectSoundCreate: it gives every buffer a stream that
// plays it. SdlDevice is the default; tests install a VirtualDevice.
#pragma once

#include <memory>
#include <string>

#include "sound/secondary_buffer.h"
#include "sound/sound_output.h"

class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // A buffer this device plays; null when no stream can be opened for it.
    virtual std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) = 0;
    // Why the last CreateBuffer gave null, as a sentence naming what was tried.
    virtual std::string LastError() const { return {}; }
};

// Opens the default device: the one installed with SetDefaultSoundDevice,
// else SDL's, on the chosen output. Null when none can be opened; then
// DefaultSoundDeviceError says why.
std::shared_ptr<SoundDevice> OpenDefaultSoundDevice();
std::string DefaultSoundDeviceError();
// Replaces the default device (tests; null returns to SDL).
void SetDefaultSoundDevice(std::shared_ptr<SoundDevice> device);

// The output SDL's device plays on. A new choice is used from the next
// open: the device open now is let go, and those who hold it notice a new
// SoundOutputGeneration.
void SetSoundOutput(const SoundOutput& output);
SoundOutput GetSoundOutput();
unsigned long SoundOutputGeneration();
// Lets go of SDL's device, so that its driver stops once nobody plays on it
// (an installed device stays).
void ReleaseDefaultSoundDevice();
// Frees what the sound layer keeps for the calling thread (SDL's error
// text, for one); a thread other than SDL's own that opened or played
// calls it as it ends.
void ReleaseSoundThreadState();
