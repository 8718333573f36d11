#include "sound/directx8.h"

#include <atomic>

#include <stdlib.h>

#include <mutex>

#include "sound/jack_device.h"
#include "sound/sdl_device.h"

namespace {
struct DefaultDevice {
    std::mutex mutex;
    std::shared_ptr<SoundDevice> device;  // installed, or the open SDL device
    bool installed = false;
    SoundOutput output;  // where SDL's device plays
    unsigned long generation = 0;
    std::string error;  // why the last open failed
    std::shared_ptr<LiveSource> live;
    std::shared_ptr<ClockSink> clock;
    TransportRole transport = TransportRole::kNone;
};

// The device output names: JACK when asked for, or when nothing is asked
// for and a JACK server answers; SDL's otherwise.
std::shared_ptr<SoundDevice> OpenFor(const SoundOutput& output, std::string* error) {
    if (output.driver == JackDevice::kDriverName) return JackDevice::Open(error);
    if (output.driver.empty() && output.device.empty())
        if (auto jack = JackDevice::Open(nullptr)) return jack;
    return SdlDevice::Open(output, error);
}
DefaultDevice& Default() {
    static DefaultDevice d;
    return d;
}
}  // namespace

std::shared_ptr<SoundDevice> OpenDefaultSoundDevice() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    // A device whose server went away is opened anew.
    if (d.device && !d.installed && d.device->Gone()) d.device = nullptr;
    if (!d.device) {
        d.error.clear();
        d.device = OpenFor(d.output, &d.error);
        if (d.device && d.live) d.device->SetLiveSource(d.live);
        if (d.device && d.clock) d.device->SetClockSink(d.clock);
        if (d.device && d.transport != TransportRole::kNone)
            d.device->SetTransportRole(d.transport);
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

namespace {
std::atomic<bool> sendMidiClock{true};
}  // namespace

void SetSendMidiClock(bool send) {
    sendMidiClock.store(send, std::memory_order_relaxed);
}

bool SendsMidiClock() {
    return sendMidiClock.load(std::memory_order_relaxed);
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

std::vector<std::string> OutputDrivers() {
    const char* all = ::getenv("TRELLON_TEST_AUDIO_DRIVERS");
    std::vector<std::string> names{JackDevice::kDriverName};
    for (const std::string& d : SdlDevice::Drivers())
        if ((all && *all) || (d != "disk" && d != "dummy")) names.push_back(d);
    return names;
}

bool OutputDevicesOf(const std::string& driver, std::vector<std::string>* names,
                     std::string* error) {
    if (driver != JackDevice::kDriverName) return SdlDevice::OutputDevices(driver, names, error);
    names->clear();
    return true;
}

void SetLiveSource(std::shared_ptr<LiveSource> source) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.live = source;
    if (d.device) d.device->SetLiveSource(std::move(source));
}

void SetClockSink(std::shared_ptr<ClockSink> sink) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.clock = sink;
    if (d.device) d.device->SetClockSink(std::move(sink));
}

void SetTransportRole(TransportRole role) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.transport = role;
    if (d.device) d.device->SetTransportRole(role);
}

TransportRole GetTransportRole() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.transport;
}

TransportView DefaultTransport() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.device ? d.device->Transport() : TransportView{};
}

BeatView DefaultBeat() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.device ? d.device->Beat() : BeatView{};
}

void NudgeDefaultBeat(int frames) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.device) d.device->Nudge(frames);
}

void DefaultTransportReady(std::uint64_t frame) {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.device) d.device->TransportReady(frame);
}

bool DefaultOutputIsLive() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.device && (d.installed || !d.device->Gone())) return d.device->Status().live;
    if (d.installed) return false;
    if (d.output.driver == JackDevice::kDriverName) return true;
    return d.output.driver.empty() && d.output.device.empty() && JackDevice::ServerRunning();
}

OutputStatus DefaultOutputStatus() {
    DefaultDevice& d = Default();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.device ? d.device->Status() : OutputStatus{};
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
