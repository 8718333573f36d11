#include "song/song_io.h"

#include <cstdio>
#include <cstring>

#include "OvraAudio.h"
#include "support/text_format.h"

const char* WavImageProblem(const std::uint8_t* image, std::size_t size) {
    WavHeader h;
    if (size < sizeof h) return "shorter than a WAV header";
    std::memcpy(&h, image, sizeof h);
    if (std::memcmp(h.RiffHeader.ChunkID, "RIFF", 4) != 0 ||
        std::memcmp(h.RiffHeader.Format, "WAVE", 4) != 0)
        return "no RIFF/WAVE header";
    if (std::memcmp(h.FormatHeader.ChunkID, "fmt ", 4) != 0 || h.FormatHeader.ChunkSize != 16)
        return "no format chunk where it belongs";
    if (h.FormatHeader.AudioFormat != 1) return "not integer PCM";
    if (h.FormatHeader.NumChannels < 1) return "no channels";
    if (h.FormatHeader.NumChannels > song_format::kMaxSampleChannels)
        return "more channels than any output plays (at most 8)";
    if (h.FormatHeader.SampleRate < song_format::kMinSampleRate ||
        h.FormatHeader.SampleRate > song_format::kMaxSampleRate)
        return "a sample rate no output plays (1,000 to 384,000 Hz)";
    if (h.FormatHeader.BitsPerSample < 8 || h.FormatHeader.BitsPerSample % 8 != 0)
        return "a sample width that is no whole number of bytes";
    if (std::memcmp(h.DataHeader.ChunkID, "data", 4) != 0) return "no data chunk where it belongs";
    if (h.DataHeader.ChunkSize < 0 ||
        static_cast<std::size_t>(h.DataHeader.ChunkSize) != size - sizeof h)
        return "a data size that is not the rest of the audio";
    return nullptr;
}

namespace {
// A currency tempo as people read it: "0.0827 bpm", "-7 bpm".
std::string Bpm(std::int64_t bpm) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", double(bpm) / 10000.0);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " bpm";
}
}  // namespace

std::string TempoProblem(std::int64_t bpm) {
    using namespace song_format;
    if (bpm >= kMinBpm && bpm <= kMaxBpm) return {};
    // The raw value, exactly, and what it means where that is readable.
    std::string what = "a tempo of " + std::to_string(bpm);
    if (bpm > -kMaxBpm * 1000 && bpm < kMaxBpm * 1000) what += " (" + Bpm(bpm) + ")";
    return what + ": tempos go from 1 to 10,000 bpm";
}
