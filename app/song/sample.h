// The sample of a track: its audio, the caption on its button, and how the
// track sounds in the mix.
#pragma once

#include <cstdint>
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

class Sample {
  public:
    const ComPtr<IWav>& Wav() const { return wav_; }
    void SetWav(ComPtr<IWav> wav) { wav_ = std::move(wav); }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption) { caption_ = std::move(caption); }
    const TrackMix& Mix() const { return mix_; }
    void SetMix(TrackMix mix) { mix_ = mix; }
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
    int midiNote_ = -1;
};
