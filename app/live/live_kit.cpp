#include "live/live_kit.h"

#include <algorithm>

#include "song/song.h"
#include "song/track_sound.h"
#include "support/app_error.h"
#include "support/wav_values.h"

namespace {

// The track's sample as the voices play it: trimmed, reversed and pitched
// as the loop renders it, panned, as floats.
std::shared_ptr<const LiveSound> SoundOf(IWav* wav, const TrackSound& setting) {
    SHORT channels = 0;
    LONG rate = 0;
    Check(wav->get_NumChannels(&channels));
    Check(wav->get_SampleRate(&rate));
    std::vector<AudioSample> values = ReadWavValues(wav);
    if (setting.ShapesFrames() && channels > 0) {
        const LONG frames = LONG(values.size() / std::size_t(channels));
        values = ShapeFrames(SoundFrames{std::move(values), frames, channels}, setting).values;
    }
    auto sound = std::make_shared<LiveSound>();
    sound->rate = unsigned(std::max<LONG>(rate, 1));
    if (channels < 1) return sound;
    const std::size_t frames = values.size() / std::size_t(channels);
    sound->left.resize(frames);
    sound->right.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const AudioSample* f = values.data() + i * std::size_t(channels);
        sound->left[i] = float(f[0]) / 32768.0f * float(PanGain(setting.pan, 0, 2));
        sound->right[i] =
            float(f[channels > 1 ? 1 : 0]) / 32768.0f * float(PanGain(setting.pan, 1, 2));
    }
    return sound;
}

}  // namespace

int DefaultNoteOf(int track) {
    const int note = kFirstTrackNote + track;
    return note <= 127 ? note : -1;
}

LiveKitSource LiveKitSourceOf(const Song& song) {
    LiveKitSource source;
    source.channel = song.MidiChannel();
    source.masterLevel = song.MasterLevel();
    for (const auto& sample : song.SampleSlots()) {
        LiveKitSource::Track t;
        if (sample) t = {sample->Wav(), sample->Mix(), sample->MidiNote(), sample->Sound()};
        source.tracks.push_back(std::move(t));
    }
    return source;
}

LiveKit LiveKitMaker::Make(const LiveKitSource& source) {
    LiveKit kit;
    kit.channel = source.channel;
    const float master = float(MasterGain(source.masterLevel));
    const auto& tracks = source.tracks;
    bool anySolo = false;
    for (const auto& t : tracks) anySolo = anySolo || t.mix.solo;
    std::vector<Kept> kept;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const LiveKitSource::Track& track = tracks[k];
        std::shared_ptr<const LiveSound> sound;
        float gain = 0.0f;
        if (track.wav) {
            IWav* wav = track.wav.get();
            const TrackSound& setting = track.sound;
            auto found = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& e) {
                return e.wav.get() == wav && e.setting == setting;
            });
            sound = found != kept_.end() ? found->sound : SoundOf(wav, setting);
            kept.push_back({track.wav, setting, sound});
            const TrackMix& mix = track.mix;
            if (!mix.mute && (!anySolo || mix.solo)) gain = float(mix.volume) / 100.0f * master;
        }
        kit.sounds.push_back(std::move(sound));
        kit.gains.push_back(gain);
        kit.chokes.push_back(track.sound.choke);
        const int own = track.note;
        const int note = own >= 0 ? own : DefaultNoteOf(int(k));
        if (note >= 0 && note <= 127 && kit.trackOfNote[std::size_t(note)] < 0)
            kit.trackOfNote[std::size_t(note)] = std::int16_t(k);
    }
    kept_ = std::move(kept);
    return kit;
}
