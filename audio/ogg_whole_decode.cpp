#include "audio/ogg_whole_decode.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "audio/ogg_header_check.h"
#include "audio/ogg_vorbis_reader.h"
#include "audio/wav.h"
#include "files/regular_file.h"

namespace {

constexpr std::size_t kPageHeader = 27;
// The largest result: the data of a WAV image is counted in a LONG.
constexpr long long kMaxResultBytes = std::numeric_limits<LONG>::max() - 44;

// The whole file, or false when it is no regular file or cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out) {
    FilePtr f = OpenRegularFile(path);
    if (!f) return false;
    unsigned char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, f.get());
        out->insert(out->end(), buffer, buffer + got);
        if (got < sizeof buffer) return !std::ferror(f.get());
        // The decoder takes its input's length as an int.
        if (out->size() > std::size_t(std::numeric_limits<int>::max() - sizeof buffer))
            return false;
    }
}

// stb_vorbis's float-to-16-bit conversion, bit for bit, in arithmetic
// that is defined for every float: the value plus 1.5 * 2^8 + 2^-16, whose
// bits less an addend are the value times 2^15 rounded (stb_vorbis does the
// subtraction in int, which overflows for values far outside +-1), then
// clamped.
AudioSample ToSampleAsWholeFileDecode(float x) {
    const float shifted = x + (1.5f * (1 << (23 - 15)) + 0.5f / (1 << 15));
    std::uint32_t bits;
    std::memcpy(&bits, &shifted, 4);
    const std::uint32_t v = bits - ((std::uint32_t{150 - 15} << 23) + (1u << 22));
    if (v + 32768u > 65535u) return static_cast<std::int32_t>(v) < 0 ? -32768 : 32767;
    return static_cast<AudioSample>(static_cast<std::int32_t>(v));
}

}  // namespace

long long OggFrameBound(const unsigned char* data, std::size_t size, int maxFrameSize) {
    // Every capture pattern with a whole page header counts, as the decoder
    // resynchronises on any of them.
    long long granule = -1;
    for (std::size_t i = 0; i + kPageHeader <= size; ++i) {
        if (std::memcmp(data + i, "OggS", 4) != 0) continue;
        std::int64_t g;
        std::memcpy(&g, data + i + 6, 8);  // little-endian, as the machine
        if (g >= 0) granule = std::max<long long>(granule, g);
    }
    const long long perPacket = std::max(maxFrameSize, 1);
    const long long structural = static_cast<long long>(size / 2) * perPacket;
    if (granule < 0) return structural;
    // The granule may be any 63-bit number: add without overflow.
    const long long byGranule =
        granule > std::numeric_limits<long long>::max() - perPacket ? granule : granule + perPacket;
    return std::min(byGranule, structural);
}

HRESULT DecodeWholeOgg(const std::string& path, IWav** result) {
    *result = nullptr;
    std::vector<unsigned char> file;
    if (path.empty() || !ReadWholeFile(path, &file)) return E_FAIL;
    if (CheckOggVorbisHeaders(file.data(), file.size()) != OggHeaderCheck::kValid) return E_FAIL;

    // The decoder allocates only from this arena; it grows while the
    // decoder asks for more, up to the reader's cap.
    CBuffer arena;
    stb_vorbis* decoder = nullptr;
    for (std::size_t arenaSize = OggVorbisFileReader::kArenaSize;; arenaSize *= 2) {
        arena.reset(static_cast<unsigned char*>(std::malloc(arenaSize)));
        if (!arena) return E_OUTOFMEMORY;
        stb_vorbis_alloc alloc{reinterpret_cast<char*>(arena.get()), static_cast<int>(arenaSize)};
        int error = 0;
        decoder =
            stb_vorbis_open_memory(file.data(), static_cast<int>(file.size()), &error, &alloc);
        if (decoder) break;
        if (error != VORBIS_outofmem) return E_FAIL;
        if (arenaSize >= OggVorbisFileReader::kArenaCap) return E_OUTOFMEMORY;
    }
    // Closing with an arena frees nothing; the arena goes with its owner.
    struct Closer {
        stb_vorbis* d;
        ~Closer() { stb_vorbis_close(d); }
    } closer{decoder};

    const stb_vorbis_info info = stb_vorbis_get_info(decoder);
    const int channels = info.channels;
    if (channels < 1 || channels > OggVorbisFileReader::kMaxChannels) return E_FAIL;
    const long long bound = OggFrameBound(file.data(), file.size(), info.max_frame_size);

    // Frame by frame into a buffer that always has room for a whole frame
    // (4096 frames, the longest Vorbis block's half), as the whole-file
    // decode has always done, so every frame arrives complete.
    const long long room = 4096LL * channels;
    long long capacity = room, used = 0, frames = 0;
    CBuffer data(static_cast<unsigned char*>(std::malloc(std::size_t(capacity) * 2)));
    if (!data) return E_OUTOFMEMORY;
    for (;;) {
        auto* values = reinterpret_cast<AudioSample*>(data.get()) + used;
        float** frame = nullptr;
        const int n = stb_vorbis_get_frame_float(decoder, nullptr, &frame);
        if (n <= 0) break;
        if (n > 4096) return E_FAIL;  // longer than any Vorbis block's half
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) *values++ = ToSampleAsWholeFileDecode(frame[c][i]);
        frames += n;
        used += static_cast<long long>(n) * channels;
        // More than the stream can honestly hold, or than an image can.
        if (frames > bound || used * 2 > kMaxResultBytes) return E_OUTOFMEMORY;
        if (used + room > capacity) {
            capacity = std::min(capacity * 2, kMaxResultBytes / 2 + room);
            void* grown = std::realloc(data.get(), std::size_t(capacity) * 2);
            if (!grown) return E_OUTOFMEMORY;
            data.release();
            data.reset(static_cast<unsigned char*>(grown));
        }
    }
    WavHeader h = BuildHeader(static_cast<LONG>(frames), static_cast<SHORT>(channels),
                              OggVorbisFileReader::kSampleRate, 2);
    Wav* w = nullptr;
    HRESULT hr = Wav::Adopt(h, std::move(data), &w);
    if (FAILED(hr)) return hr;
    *result = w;
    return S_OK;
}
