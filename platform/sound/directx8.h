// The objects of the DirectX 8 sound API that the program uses.
#pragma once

#include <memory>
#include <string>

#include "sound/event_service.h"
#include "sound/secondary_buffer.h"
#include "sound/sound_device.h"

class DirectSound8 {
  public:
    explicit DirectSound8(std::shared_ptr<SoundDevice> device) : device_(std::move(device)) {}
    HRESULT SetCooperativeLevel(LONG hwnd, LONG level);
    // A buffer in desc's format; null when the device cannot play it.
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateSoundBuffer(const DSBUFFERDESC& desc);
    // Why the last CreateSoundBuffer gave null.
    std::string LastError() const;
    // Whether the device can play no more (its server is gone).
    bool Gone() const { return device_->Gone(); }

  private:
    std::shared_ptr<SoundDevice> device_;
};

class DirectX8 {
  public:
    // The device named by guid ("" is the default); null when none opens.
    std::shared_ptr<DirectSound8> DirectSoundCreate(const std::string& guid);
    // An event whose signals call sink->DXCallback(id) on the program's thread.
    LONG CreateEvent(DirectXEvent8* sink);
    void DestroyEvent(LONG id);
};
