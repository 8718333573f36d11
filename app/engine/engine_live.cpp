// Live play: the voices on the output, the kit they play kept in step
// with the song.
#include "engine/engine.h"
#include "sound/sound_device.h"
#include "support/app_error.h"

void Engine::StartLive() {
    if (liveWanted_) return;
    UpdateLiveKit();
    SetLiveSource(live_);
    liveGeneration_ = SoundOutputGeneration();
    liveDevice_ = OpenDefaultSoundDevice();
    liveWanted_ = liveDevice_ != nullptr;
    if (!liveDevice_) {
        SetLiveSource(nullptr);
        ThrowError(kErrNoAudioDevice,
                   "No sound output could be opened for live play: " + DefaultSoundDeviceError());
    }
}

void Engine::PlayHit(LONG track, int velocity) {
    if (track < 0 || track >= NumTracks()) return;
    live_->Hit(int(track), velocity);
}

OutputStatus Engine::LiveOutputStatus() const {
    return liveDevice_ ? liveDevice_->Status() : OutputStatus{};
}

void Engine::UpdateLiveKit() {
    live_->SetKit(liveKits_.Make(*song_));
}

void Engine::RefreshLiveOutput() {
    live_->Collect();
    if (liveDevice_ && !liveDevice_->Gone() && liveGeneration_ == SoundOutputGeneration()) return;
    // The old device goes first (its client leaves the server); one that
    // does not open now is tried again next time.
    liveDevice_ = nullptr;
    liveGeneration_ = SoundOutputGeneration();
    liveDevice_ = OpenDefaultSoundDevice();
}
