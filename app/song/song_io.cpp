#include "song/song_io.h"

#include <cstring>

#include "OvraAudio.h"

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
    if (h.FormatHeader.BitsPerSample < 8 || h.FormatHeader.BitsPerSample % 8 != 0)
        return "a sample width that is no whole number of bytes";
    if (std::memcmp(h.DataHeader.ChunkID, "data", 4) != 0) return "no data chunk where it belongs";
    if (h.DataHeader.ChunkSize < 0 ||
        static_cast<std::size_t>(h.DataHeader.ChunkSize) != size - sizeof h)
        return "a data size that is not the rest of the audio";
    return nullptr;
}
