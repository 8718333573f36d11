#include "sound/sdl_device.h"

#include <SDL.h>
#include <stdlib.h>

#include <algorithm>

#include "sound/event_service.h"

namespace {

// A buffer and the SDL stream that plays it; the stream closes with the buffer.
class SdlBuffer : public DirectSoundSecondaryBuffer8 {
  public:
    explicit SdlBuffer(const DSBUFFERDESC& desc)
        : DirectSoundSecondaryBuffer8(desc, [this](bool run) {
              if (device_) SDL_PauseAudioDevice(device_, run ? 0 : 1);
          }) {}
    ~SdlBuffer() override {
        if (device_) SDL_CloseAudioDevice(device_);
    }
    // SDL stops a device whose sound server or hardware went away.
    bool Lost() const override {
        return device_ && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED;
    }
    // Opens a stream on the named device ("" for the default).
    bool Open(const std::string& name) {
        SDL_AudioSpec want{};
        want.freq = Format().lSamplesPerSec;
        want.format = Format().nBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(Format().nChannels);
        want.samples = SdlDevice::PeriodFor(Size() / std::max<LONG>(Format().nBlockAlign, 1));
        want.callback = [](void* self, Uint8* out, int len) {
            static_cast<SdlBuffer*>(self)->Render(out, static_cast<std::size_t>(len));
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
        return device_ != 0;
    }

  private:
    SDL_AudioDeviceID device_ = 0;
};

std::string RunningDriver() {
    const char* d = SDL_GetCurrentAudioDriver();
    return d ? d : "";
}

// SDL's reason, without a trailing full stop (one is added).
std::string SdlReason() {
    std::string e = SDL_GetError();
    while (!e.empty() && (e.back() == '.' || e.back() == ' ')) e.pop_back();
    return e.empty() ? "no reason given" : e;
}

}  // namespace

std::string DescribeSoundOutput(const SoundOutput& output, const std::string& runningDriver) {
    const std::string device =
        output.device.empty() ? "the system's default device" : "“" + output.device + "”";
    const std::string& driver = output.driver.empty() ? runningDriver : output.driver;
    return device +
           (driver.empty() ? " through any audio driver" : " through the “" + driver + "” driver");
}

std::shared_ptr<SdlDevice> SdlDevice::Open(const SoundOutput& output, std::string* error) {
    // The program ends on SIGINT and SIGTERM itself; SDL must not take them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // libpulse reads this when SDL connects its stream.
    ::setenv("PULSE_LATENCY_MSEC", kPulseLatencyMsec, 0);
    // The driver is chosen by the hint SDL's start-up reads; without a
    // choice, SDL_AUDIODRIVER from the environment rules again.
    if (output.driver.empty())
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    else
        SDL_SetHint(SDL_HINT_AUDIODRIVER, output.driver.c_str());
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (error)
            *error = (output.driver.empty()
                          ? std::string("No audio driver could start")
                          : "The “" + output.driver + "” audio driver could not start") +
                     ": " + SdlReason() + ".";
        return nullptr;
    }
    // SDL runs one driver at a time: one started for an earlier choice and
    // still playing keeps running.
    if (!output.driver.empty() && RunningDriver() != output.driver) {
        if (error)
            *error = "The “" + output.driver + "” audio driver could not start while the “" +
                     RunningDriver() + "” driver is playing.";
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    // Whether the chosen device opens shows when a buffer's stream opens
    // on it (an extra trial open here would only delay the first Play).

    // Notifications leave the audio thread through the service's own thread.
    EventService::Instance().StartDeliveryThread();
    return std::shared_ptr<SdlDevice>(new SdlDevice(output));
}

SdlDevice::~SdlDevice() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::shared_ptr<DirectSoundSecondaryBuffer8> SdlDevice::CreateBuffer(const DSBUFFERDESC& desc) {
    if (desc.fxFormat.nChannels < 1 || desc.fxFormat.lSamplesPerSec < 1 || desc.lBufferBytes < 1) {
        lastError_ = "The sound buffer's format is not one a device can play.";
        return nullptr;
    }
    auto buffer = std::make_shared<SdlBuffer>(desc);
    if (!buffer->Open(output_.device)) {
        lastError_ =
            "Tried " + DescribeSoundOutput(output_, RunningDriver()) + ": " + SdlReason() + ".";
        return nullptr;
    }
    lastError_.clear();
    return buffer;
}

int SdlDevice::PeriodFor(long ringFrames) {
    int period = kPeriodFrames;
    while (period > kMinPeriodFrames && long(period) * 4 > ringFrames) period /= 2;
    return period;
}

void SdlDevice::ReleaseThreadState() {
    SDL_TLSCleanup();
}

std::vector<std::string> SdlDevice::Drivers() {
    std::vector<std::string> names;
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) names.push_back(SDL_GetAudioDriver(i));
    return names;
}

bool SdlDevice::OutputDevices(const std::string& driver, std::vector<std::string>* names,
                              std::string* error) {
    names->clear();
    const std::string running = RunningDriver();
    const bool started = running.empty();
    if (!started && !driver.empty() && driver != running) {
        if (error)
            *error = "The “" + running +
                     "” driver is in use; stop playback to list the devices "
                     "of another.";
        return false;
    }
    if (started && SDL_AudioInit(driver.empty() ? nullptr : driver.c_str()) != 0) {
        if (error)
            *error = (driver.empty() ? std::string("No audio driver could start")
                                     : "The “" + driver + "” audio driver could not start") +
                     ": " + SdlReason() + ".";
        return false;
    }
    for (int i = 0; i < SDL_GetNumAudioDevices(0); ++i)
        if (const char* name = SDL_GetAudioDeviceName(i, 0)) names->push_back(name);
    if (started) SDL_AudioQuit();
    return true;
}
