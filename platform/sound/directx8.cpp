#include "sound/directx8.h"

#include <mutex>

#include "sound/sdl_device.h"

namespace {
struct DefaultDevice {
    std::mutex mutex;
    std::shared_ptr<SoundDevice> device;  // installed, or the open SDL device
    bool installed = false;
    SoundOutput output;  // where SDL's device plays
    unsigned long generation = 0;
    std::string error;  // why the last open failed
};
DefaultDevice& Default() {
    static DefaultDevice d;
    return d;
}
}  // namespace

std::shared_ptr<SoundDevice> OpenDefaultSoundDevice() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.device) {
        d.error.clear();
        d.device = SdlDevice::Open(d.output, &d.error);
    }
    return d.device;
}

std::string DefaultSoundDeviceError() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.error;
}

void SetDefaultSoundDevice(std::shared_ptr<SoundDevice> device) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.installed = device != nullptr;
    d.device = std::move(device);
}

void SetSoundOutput(const SoundOutput& output) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (output == d.output) return;
    d.output = output;
    ++d.generation;
    if (!d.installed) d.device = nullptr;
}

SoundOutput GetSoundOutput() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.output;
}

unsigned long SoundOutputGeneration() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.generation;
}

void ReleaseDefaultSoundDevice() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.installed) d.device = nullptr;
}

void ReleaseSoundThreadState() {
    SdlDevice::ReleaseThreadState();
}

HRESULT DirectSound8::SetCooperativeLevel(LONG, LONG level) {
    return level == DSSCL_NORMAL ? S_OK : E_INVALIDARG;
}

std::string DirectSound8::LastError() const {
    return device_->LastError();
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
