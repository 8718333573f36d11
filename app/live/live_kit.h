// The kit live hits play, made from a song: each track's sample as a
// stereo sound shaped and panned as its sound setting says, its gain in
// the mix (volume, mute, solo, master level), its choke group and its
// note. Sounds are made once per sample and setting and kept while used.
#pragma once

#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "live/live_voices.h"
#include "song/sample.h"

class Song;

// The note track k plays unless the song says another: 36 + k (C1 on).
constexpr int kFirstTrackNote = 36;
int DefaultNoteOf(int track);

// What a kit is made from, taken from the song on its owner's thread (it
// is cheap): each track's audio, which is never changed once made, its
// mix and its note, and the channel listened to.
struct LiveKitSource {
    struct Track {
        ComPtr<IWav> wav;
        TrackMix mix;
        int note = -1;
        TrackSound sound;
    };
    std::vector<Track> tracks;
    int channel = 0;
    int masterLevel = 0;
};
LiveKitSource LiveKitSourceOf(const Song& song);

// Makes kits; one maker is used by one thread at a time.
class LiveKitMaker {
  public:
    // Each track on its sample's note, listening to the song's MIDI
    // channel. Throws AppError when a sample cannot be read.
    LiveKit Make(const LiveKitSource& source);
    LiveKit Make(const Song& song) { return Make(LiveKitSourceOf(song)); }

  private:
    struct Kept {
        ComPtr<IWav> wav;
        TrackSound setting;
        std::shared_ptr<const LiveSound> sound;
    };
    std::vector<Kept> kept_;
};
