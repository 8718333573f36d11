#include "live/live_kit.h"

#include <algorithm>

#include "song/song.h"
#include "support/app_error.h"
#include "support/wav_values.h"

namespace {

std::shared_ptr<const LiveSound> SoundOf(IWav* wav) {
    SHORT channels = 0;
    LONG rate = 0;
    Check(wav->get_NumChannels(&channels));
    Check(wav->get_SampleRate(&rate));
    const std::vector<AudioSample> values = ReadWavValues(wav);
    auto sound = std::make_shared<LiveSound>();
    sound->rate = unsigned(std::max<LONG>(rate, 1));
    if (channels < 1) return sound;
    const std::size_t frames = values.size() / std::size_t(channels);
    sound->left.resize(frames);
    sound->right.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const AudioSample* f = values.data() + i * std::size_t(channels);
        sound->left[i] = float(f[0]) / 32768.0f;
        sound->right[i] = float(f[channels > 1 ? 1 : 0]) / 32768.0f;
    }
    return sound;
}

}  // namespace

int DefaultNoteOf(int track) {
    const int note = kFirstTrackNote + track;
    return note <= 127 ? note : -1;
}

LiveKit LiveKitMaker::Make(const Song& song) {
    LiveKit kit;
    kit.channel = song.MidiChannel();
    const auto& samples = song.SampleSlots();
    bool anySolo = false;
    for (const auto& s : samples) anySolo = anySolo || (s && s->Mix().solo);
    std::vector<Kept> kept;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Sample* sample = samples[k].get();
        std::shared_ptr<const LiveSound> sound;
        float gain = 0.0f;
        if (sample && sample->Wav()) {
            IWav* wav = sample->Wav().get();
            auto found = std::find_if(kept_.begin(), kept_.end(),
                                      [wav](const Kept& e) { return e.wav.get() == wav; });
            sound = found != kept_.end() ? found->sound : SoundOf(wav);
            kept.push_back({sample->Wav(), sound});
            const TrackMix mix = sample->Mix();
            if (!mix.mute && (!anySolo || mix.solo)) gain = float(mix.volume) / 100.0f;
        }
        kit.sounds.push_back(std::move(sound));
        kit.gains.push_back(gain);
        const int own = sample ? sample->MidiNote() : -1;
        const int note = own >= 0 ? own : DefaultNoteOf(int(k));
        if (note >= 0 && note <= 127 && kit.trackOfNote[std::size_t(note)] < 0)
            kit.trackOfNote[std::size_t(note)] = std::int16_t(k);
    }
    kept_ = std::move(kept);
    return kit;
}
