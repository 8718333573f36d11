// The sample of a track: its audio, the caption on its button, and how the
// track sounds in the mix.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "support/file_streams.h"

// A track's place in the mix: its volume in percent (0 to 200), and
// whether it is muted or soloed. The default changes nothing.
struct TrackMix {
    static constexpr std::uint16_t kMaxVolume = 200;
    std::uint16_t volume = 100;
    bool mute = false;
    bool solo = false;
    bool IsDefault() const { return volume == 100 && !mute && !solo; }
    bool operator==(const TrackMix&) const = default;
};

// How a track's sample sounds before it is mixed: its pan (-100 left to
// +100 right; 0 passes both channels unchanged, a side attenuates the
// other channel), its pitch in cents (-2400 to +2400), the frames of the
// sample it plays (start, and end exclusive; 0 for the sample's end),
// whether it plays reversed, and its choke group (0 none, 1 to 8: a hit
// ends the sounds of the group's other tracks still ringing). The default
// changes nothing.
struct TrackSound {
    static constexpr int kMaxPan = 100;
    static constexpr int kMaxPitch = 2400;
    static constexpr int kMaxChokeGroup = 8;
    std::int16_t pan = 0;
    std::int16_t pitch = 0;
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool reverse = false;
    std::uint8_t choke = 0;
    bool IsDefault() const { return *this == TrackSound{}; }
    // Whether the sample's frames themselves change (not only the mix).
    bool ShapesFrames() const { return pitch != 0 || start != 0 || end != 0 || reverse; }
    bool operator==(const TrackSound&) const = default;
};

class Sample {
  public:
    const ComPtr<IWav>& Wav() const { return wav_; }
    void SetWav(ComPtr<IWav> wav) { wav_ = std::move(wav); }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption) { caption_ = std::move(caption); }
    const TrackMix& Mix() const { return mix_; }
    void SetMix(TrackMix mix) { mix_ = mix; }
    const TrackSound& Sound() const { return sound_; }
    void SetSound(TrackSound sound) { sound_ = sound; }
    // Frames made from the audio for its sound setting (song/track_sound.h),
    // kept until they are made for another; immutable once made.
    const std::shared_ptr<const void>& ShapedCache() const { return shaped_; }
    void SetShapedCache(std::shared_ptr<const void> shaped) const { shaped_ = std::move(shaped); }
    // The MIDI note that plays the track (0 to 127); -1 for the default,
    // 36 plus the track's index.
    int MidiNote() const { return midiNote_; }
    void SetMidiNote(int note) { midiNote_ = note; }

    void WriteToFile(BinaryStream& out) const;
    void ReadFromFile(BinaryStream& in);

  private:
    ComPtr<IWav> wav_;
    std::u16string caption_;
    TrackMix mix_;
    TrackSound sound_;
    mutable std::shared_ptr<const void> shaped_;
    int midiNote_ = -1;
};
