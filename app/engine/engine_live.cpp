// Live play: the voices on the output, the kit they play kept in step
// with the song.
#include "engine/engine.h"
#include "sound/sound_device.h"
#include "support/app_error.h"

void Engine::StartLive() {
    if (liveWanted_) return;
    liveWanted_ = true;
    SetLiveSource(live_);
    // Notes from the sequencer reach the voices whatever the output is;
    // the clock of an output that sends one goes out on it too.
    if (SequencerInput::Available()) {
        sequencer_ = SequencerInput::Open([live = live_](const MidiEvent& e) { live->Midi(e); },
                                          &sequencerProblem_);
        std::string problem;
        sequencerClock_ = SequencerClock::Open(&problem);
        if (!sequencerClock_ && sequencerProblem_.empty()) sequencerProblem_ = problem;
        SetClockSink(sequencerClock_);
    }
    OpenLiveOutput();
    if (!liveDevice_ && DefaultOutputIsLive())
        ThrowError(kErrNoAudioDevice,
                   "No sound output could be opened for live play: " + DefaultSoundDeviceError());
}

void Engine::OpenLiveOutput() {
    liveGeneration_ = SoundOutputGeneration();
    liveDevice_ = nullptr;
    // Only an output with a callback of its own plays live hits; SDL's is
    // not opened for them.
    if (!DefaultOutputIsLive()) return;
    liveDevice_ = OpenDefaultSoundDevice();
    UpdateLiveKit();
}

void Engine::PlayHit(LONG track, int velocity) {
    if (track < 0 || track >= NumTracks()) return;
    live_->Hit(int(track), velocity);
}

OutputStatus Engine::LiveOutputStatus() const {
    return liveDevice_ ? liveDevice_->Status() : OutputStatus{};
}

void Engine::UpdateLiveKit() {
    // Only an output that plays live hits needs their sounds.
    if (!liveDevice_) return;
    // Converting a long sample (and resampling it to the server's rate)
    // takes a while: it is done on the kit's own thread, in order, and the
    // voices play the kit they had until then.
    if (!liveKitThread_) liveKitThread_ = std::make_unique<SerialThread>();
    liveKitThread_->Post([this, source = LiveKitSourceOf(*song_)] {
        try {
            live_->SetKit(liveKits_.Make(source));
        } catch (const std::exception& e) {
            // The hits play the kit they had; the song is untouched.
            Post([this, text = ErrorText(e)] {
                if (view_) view_->Report("Live play keeps its earlier sounds: " + text);
            });
        }
    });
}

void Engine::WaitForLiveKit() {
    if (liveKitThread_) liveKitThread_->Flush();
}

void Engine::RefreshLiveOutput() {
    live_->Collect();
    if (liveGeneration_ == SoundOutputGeneration() && (!liveDevice_ || !liveDevice_->Gone()))
        return;
    // The old device goes first (its client leaves the server); one that
    // does not open now is tried again when another output is chosen.
    OpenLiveOutput();
}
