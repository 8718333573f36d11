#include "audio/wav_parse.h"

#include <sys/stat.h>

#include <cstring>
#include <limits>

namespace {

std::uint32_t U32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// The tail shared by every WAVE_FORMAT_EXTENSIBLE subformat identifier.
constexpr unsigned char kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

bool ReadExactly(std::FILE* f, void* p, std::size_t n) {
    return std::fread(p, 1, n, f) == n;
}

}  // namespace

bool ReadWavLayout(std::FILE* f, WavLayout* out) {
    unsigned char riff[12];
    if (!ReadExactly(f, riff, sizeof riff)) return false;
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

    struct stat st;
    if (::fstat(::fileno(f), &st) != 0) return false;
    const long long fileSize = st.st_size;

    unsigned char fmt[16] = {};
    std::uint32_t fmtSize = 0;
    long long fmtAt = -1, dataAt = -1;
    std::uint32_t dataSize = 0;
    long long pos = 12;
    while (dataAt < 0) {
        unsigned char chunk[8];
        if (::fseeko(f, pos, SEEK_SET) != 0 || !ReadExactly(f, chunk, sizeof chunk)) return false;
        std::uint32_t size = U32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || !ReadExactly(f, fmt, sizeof fmt)) return false;
            std::uint16_t tag = U16(fmt);
            if (tag == kFormatExtensible) {
                // The real format is the subformat's first two bytes.
                unsigned char ext[24];
                if (size < 40 || !ReadExactly(f, ext, sizeof ext)) return false;
                if (std::memcmp(ext + 10, kSubformatTail, sizeof kSubformatTail) != 0) return false;
                tag = U16(ext + 8);
            }
            if (tag != kFormatPcm) return false;
            fmtAt = pos;
            fmtSize = size;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (fmtAt < 0) return false;  // audio of an unknown format
            dataAt = pos + 8;
            dataSize = size;
            break;
        }
        // Chunks are padded to an even size.
        pos += 8 + static_cast<long long>(size) + (size & 1);
        if (pos > fileSize) return false;
    }

    WavHeader& h = out->header;
    std::memcpy(h.RiffHeader.ChunkID, "RIFF", 4);
    std::memcpy(h.RiffHeader.Format, "WAVE", 4);
    std::memcpy(h.FormatHeader.ChunkID, "fmt ", 4);
    std::memcpy(&h.FormatHeader.AudioFormat, fmt, 16);
    std::memcpy(h.DataHeader.ChunkID, "data", 4);
    h.DataHeader.ChunkSize = static_cast<LONG>(dataSize);
    if (fmtAt == 12 && fmtSize == 16 && dataAt == 44) {
        // Canonical: the 44 bytes as the file holds them.
        h.RiffHeader.ChunkSize = static_cast<LONG>(U32(riff + 4));
        h.FormatHeader.ChunkSize = 16;
    } else {
        h.FormatHeader.ChunkSize = 16;
        h.FormatHeader.AudioFormat = kFormatPcm;
        h.RiffHeader.ChunkSize = static_cast<LONG>(dataSize + 36u);
    }
    if (h.FormatHeader.NumChannels < 1 || h.FormatHeader.BitsPerSample < 8) return false;

    out->dataOffset = dataAt;
    // A data size that is valid and fits the file ends the audio; trailing
    // chunks are metadata. Otherwise the audio runs to the end of the file.
    bool sizeValid = dataSize <= static_cast<std::uint32_t>(std::numeric_limits<LONG>::max()) &&
                     dataAt + static_cast<long long>(dataSize) <= fileSize;
    out->dataEnd = sizeValid ? dataAt + static_cast<long long>(dataSize) : -1;
    return ::fseeko(f, dataAt, SEEK_SET) == 0;
}
