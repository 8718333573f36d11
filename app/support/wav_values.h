// The interleaved 16-bit values of an in-memory Wav, read and written as
// whole blocks through the library's IWavValues rather than value by value.
#pragma once

#include <vector>

#include "OvraAudio.h"

// Every value of wav (frames times channels of them). Throws AppError.
std::vector<AudioSample> ReadWavValues(IWav* wav);
// Copies count values into wav from value index first on. Throws AppError.
void WriteWavValues(IWav* wav, LONG first, const AudioSample* values, LONG count);
inline void WriteWavValues(IWav* wav, const std::vector<AudioSample>& values) {
    WriteWavValues(wav, 0, values.data(), static_cast<LONG>(values.size()));
}
