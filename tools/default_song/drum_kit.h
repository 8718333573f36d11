// A synthesised drum kit: each voice as 16-bit stereo frames at 44100 Hz.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DrumVoice {
    std::u16string caption;
    std::vector<std::int16_t> frames;  // interleaved left, right
};

// Kick, snare, closed and open hat, clap, low and high tom, rim shot,
// cowbell and crash, in that order.
std::vector<DrumVoice> SynthesiseDrumKit();
