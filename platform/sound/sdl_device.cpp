#include "sound/sdl_device.h"

#include <SDL.h>

#include "sound/event_service.h"

namespace {

// A buffer and the SDL stream that plays it; the stream closes with the buffer.
class SdlBuffer : public DirectSoundSecondaryBuffer8 {
  public:
    SdlBuffer(const DSBUFFERDESC& desc)
        : DirectSoundSecondaryBuffer8(desc, [this](bool run) {
              if (device_) SDL_PauseAudioDevice(device_, run ? 0 : 1);
          }) {}
    ~SdlBuffer() override {
        if (device_) SDL_CloseAudioDevice(device_);
    }
    bool Open() {
        SDL_AudioSpec want{};
        want.freq = Format().lSamplesPerSec;
        want.format = Format().nBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(Format().nChannels);
        want.samples = SdlDevice::kPeriodFrames;
        want.callback = [](void* self, Uint8* out, int len) {
            static_cast<SdlBuffer*>(self)->Render(out, static_cast<std::size_t>(len),
                                                  SdlDevice::kRefillWait);
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        return device_ != 0;
    }

  private:
    SDL_AudioDeviceID device_ = 0;
};

}  // namespace

std::shared_ptr<SdlDevice> SdlDevice::Open() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    // A device that opens at all is a device: try the default output once.
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = kPeriodFrames;
    want.callback = [](void*, Uint8* out, int len) {
        SDL_memset(out, 0, static_cast<std::size_t>(len));
    };
    SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (probe == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_CloseAudioDevice(probe);
    // Notifications leave the audio thread through the service's own thread.
    EventService::Instance().StartDeliveryThread();
    return std::shared_ptr<SdlDevice>(new SdlDevice);
}

SdlDevice::~SdlDevice() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::shared_ptr<DirectSoundSecondaryBuffer8> SdlDevice::CreateBuffer(const DSBUFFERDESC& desc) {
    if (desc.fxFormat.nChannels < 1 || desc.fxFormat.lSamplesPerSec < 1 || desc.lBufferBytes < 1)
        return nullptr;
    auto buffer = std::make_shared<SdlBuffer>(desc);
    if (!buffer->Open()) return nullptr;
    return buffer;
}
