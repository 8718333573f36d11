#include "audio/ogg_header_check.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kPageHeader = 27;

std::uint32_t U32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

bool ValidComment(const std::vector<unsigned char>& packet) {
    const std::size_t size = packet.size();
    if (size < 7 || packet[0] != 3 || std::memcmp(&packet[1], "vorbis", 6) != 0) return false;
    std::size_t p = 7;
    auto length = [&](std::uint32_t* out) {
        if (size - p < 4) return false;
        *out = U32(&packet[p]);
        p += 4;
        return *out <= size - p;  // the text must lie inside the packet
    };
    std::uint32_t n;
    if (!length(&n)) return false;  // vendor
    p += n;
    if (size - p < 4) return false;
    std::uint32_t count = U32(&packet[p]);
    p += 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!length(&n)) return false;
        p += n;
    }
    return p < size && (packet[p] & 1);  // framing bit
}

}  // namespace

OggHeaderCheck CheckOggVorbisHeaders(const unsigned char* data, std::size_t size) {
    // Reassembles the first two packets (identification, comment) from
    // the pages' segment tables.
    std::vector<unsigned char> packet;
    int complete = 0;
    std::size_t pos = 0;
    while (complete < 2) {
        if (size - pos < kPageHeader) return OggHeaderCheck::kNeedMoreData;
        const unsigned char* page = data + pos;
        if (std::memcmp(page, "OggS", 4) != 0) return OggHeaderCheck::kInvalid;
        const std::size_t segments = page[26];
        if (size - pos < kPageHeader + segments) return OggHeaderCheck::kNeedMoreData;
        std::size_t body = 0;
        for (std::size_t s = 0; s < segments; ++s) body += page[kPageHeader + s];
        if (size - pos < kPageHeader + segments + body) return OggHeaderCheck::kNeedMoreData;
        const unsigned char* in = page + kPageHeader + segments;
        for (std::size_t s = 0; s < segments && complete < 2; ++s) {
            const std::size_t lace = page[kPageHeader + s];
            packet.insert(packet.end(), in, in + lace);
            in += lace;
            if (lace < 255) {
                if (complete == 1 && !ValidComment(packet)) return OggHeaderCheck::kInvalid;
                ++complete;
                packet.clear();
            }
        }
        pos += kPageHeader + segments + body;
    }
    return OggHeaderCheck::kValid;
}
