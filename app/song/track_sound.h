// What a track's sound setting does to its sample's frames before they are
// mixed: trimming, reversing and pitching (resampled with libsoxr), the
// gains of volume, pan and master level, and the cut of a choke. Each is
// a plain function of frames in, frames out; the renderer and the live kit
// share them, so a hit sounds the same played live and rendered.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "OvraAudio.h"
#include "song/sample.h"

// Interleaved 16-bit frames: value (channel j, frame i) at i * channels + j.
struct SoundFrames {
    std::vector<AudioSample> values;
    LONG frames = 0;
    SHORT channels = 1;
};

// The audio of wav as it is held: its values, frames and channels.
SoundFrames SoundFramesOf(IWav* wav);

// The frames of src as a loop of channels channels reads them: value
// (channel j, frame i) is src's value at flat index i * src.channels + j,
// 0 beyond its data (the library's rule), for src.frames frames.
SoundFrames InLoopShape(const SoundFrames& src, SHORT channels);

// Frames [start, end) of src (end 0: to its end; both clamped to it),
// reversed when sound.reverse, then pitched by sound.pitch cents: played
// 2^(cents / 1200) times as fast, so as many times shorter.
SoundFrames ShapeFrames(const SoundFrames& src, const TrackSound& sound);

// The shaped frames of sample in channels channels, made once per sample,
// setting and layout and kept with the sample (pitching a long sample
// costs tens of milliseconds). Null when the sample has no audio.
std::shared_ptr<const SoundFrames> ShapedFramesOf(const Sample& sample, SHORT channels);

// The shaped frames of sample scaled by volume, its pan and the master
// level (hundredths of a dB), kept with the sample the same way: a change
// of the level does not pitch the sample again.
std::shared_ptr<const SoundFrames> LevelledFramesOf(const Sample& sample, SHORT channels,
                                                    int volume, int master);

// The gain of channel (0 left, 1 right) of a stereo track at pan: 1 on the
// side it leans to and in the middle, (100 - |pan|) / 100 on the other.
double PanGain(int pan, SHORT channel, SHORT channels);
// The gain of a master level in hundredths of a dB: 10^(level / 2000).
double MasterGain(int level);

// Scales every value of frames by volume / 100 and its channel's gain
// (gains[channel]), each rounded to the nearest and clipped to 16 bits.
// Does nothing when volume is 100 and every gain is 1.
void ScaleFrames(SoundFrames& frames, int volume, const std::vector<double>& gains);

// The frames of a choked sound: as src up to frame cut, then a linear fade
// over fade frames (frame cut + k scaled by (fade - k) / fade), then
// nothing. src itself when it ends before cut.
SoundFrames ChokedFrames(const SoundFrames& src, LONG cut, LONG fade);
// The fade of a choked sound: 5 ms.
constexpr LONG ChokeFadeFrames(LONG rate) {
    return rate * 5 / 1000;
}
