#include "sound/directx8.h"

#include <mutex>

#include "sound/sdl_device.h"

namespace {
struct DefaultDevice {
    std::mutex mutex;
    std::shared_ptr<SoundDevice> device;  // installed, or the open SDL device
};
DefaultDevice& Default() {
    static DefaultDevice d;
    return d;
}
}  // namespace

std::shared_ptr<SoundDevice> OpenDefaultSoundDevice() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.device) d.device = SdlDevice::Open();
    return d.device;
}

void SetDefaultSoundDevice(std::shared_ptr<SoundDevice> device) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.device = std::move(device);
}

HRESULT DirectSound8::SetCooperativeLevel(LONG, LONG level) {
    return level == DSSCL_NORMAL ? S_OK : E_INVALIDARG;
}

std::shared_ptr<DirectSoundSecondaryBuffer8> DirectSound8::CreateSoundBuffer(
    const DSBUFFERDESC& desc) {
    return device_->CreateBuffer(desc);
}

std::shared_ptr<DirectSound8> DirectX8::DirectSoundCreate(const std::string& guid) {
    if (!guid.empty()) return nullptr;  // only the default device is known
    std::shared_ptr<SoundDevice> device = OpenDefaultSoundDevice();
    return device ? std::make_shared<DirectSound8>(device) : nullptr;
}

LONG DirectX8::CreateEvent(DirectXEvent8* sink) {
    return EventService::Instance().CreateEvent(sink);
}

void DirectX8::DestroyEvent(LONG id) {
    EventService::Instance().DestroyEvent(id);
}
