#include "audio/ogg_header_check.h"

#include <cmath>
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

// Bits of a packet, least significant first, as Vorbis packs them. Bits
// past the end read as zero, as the decoder reads them.
class PacketBits {
  public:
    PacketBits(const std::vector<unsigned char>& packet, std::size_t bytes)
        : packet_(packet), bit_(std::uint64_t{bytes} * 8) {}
    std::uint32_t Get(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++bit_) {
            const std::uint64_t byte = bit_ >> 3;
            if (byte < packet_.size()) v |= std::uint32_t((packet_[byte] >> (bit_ & 7)) & 1) << i;
        }
        return v;
    }
    void Skip(std::uint64_t n) { bit_ += n; }
    bool Past() const { return bit_ > std::uint64_t{packet_.size()} * 8; }

  private:
    const std::vector<unsigned char>& packet_;
    std::uint64_t bit_;
};

// Bits needed for n, as the decoder counts them (0 for 0).
int BitsFor(std::uint32_t n) {
    int bits = 0;
    for (; n; n >>= 1) ++bits;
    return bits;
}

constexpr std::int64_t kOverflow = -2;

// The decoder's size of a lookup-type-1 table, worked out with its own
// float steps, or kOverflow where one of its conversions to int would be
// out of range (undefined: a codebook of 31 or more dimensions does it).
std::int64_t Lookup1Values(std::uint32_t entries, std::uint32_t dimensions) {
    if (dimensions == 0) return -1;  // refused by the decoder
    auto fits = [](double v) { return v >= -2147483648.0 && v < 2147483648.0; };  // false for NaN
    const float q = static_cast<float>(std::log(double(float(entries)))) / float(dimensions);
    const double first = std::floor(std::exp(double(q)));
    if (!fits(first)) return kOverflow;
    int r = int(first);
    const double next = std::floor(std::pow(double(float(r) + 1.0f), double(dimensions)));
    if (!fits(next)) return kOverflow;
    if (int(next) <= int(entries)) ++r;
    if (std::pow(double(float(r) + 1.0f), double(dimensions)) <= double(entries)) return -1;
    const double last = std::floor(std::pow(double(float(r)), double(dimensions)));
    if (!fits(last)) return kOverflow;
    if (int(last) > int(entries)) return -1;
    return r;
}

// Walks the setup header's codebooks as the decoder reads them. False for
// a value table whose size the decoder would overflow in working it out;
// anything else the decoder refuses by itself is left to it.
bool ValidCodebooks(const std::vector<unsigned char>& packet) {
    if (packet.size() < 7 || packet[0] != 5 || std::memcmp(&packet[1], "vorbis", 6) != 0)
        return false;
    PacketBits b(packet, 7);
    const std::uint32_t count = b.Get(8) + 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (b.Get(24) != 0x564342) return true;
        const std::uint32_t dimensions = b.Get(16);
        const std::uint32_t entries = b.Get(24);
        const bool ordered = b.Get(1);
        const bool sparse = ordered ? false : b.Get(1);
        if (dimensions == 0 && entries != 0) return true;
        if (ordered) {
            std::uint32_t entry = 0, length = b.Get(5) + 1;
            while (entry < entries) {
                const std::uint32_t n = b.Get(BitsFor(entries - entry));
                if (length >= 32 || n > entries - entry || b.Past()) return true;
                entry += n;
                ++length;
            }
        } else {
            for (std::uint32_t j = 0; j < entries; ++j) {
                if ((!sparse || b.Get(1)) && b.Get(5) + 1 == 32) return true;
                if (b.Past()) return true;  // the rest reads as zero: no table follows
            }
        }
        const std::uint32_t lookupType = b.Get(4);
        if (lookupType == 0) continue;
        if (lookupType > 2) return true;
        b.Skip(64);  // minimum and delta
        const std::uint32_t valueBits = b.Get(4) + 1;
        b.Skip(1);  // sequence flag
        std::int64_t values;
        if (lookupType == 1) {
            values = Lookup1Values(entries, dimensions);
            if (values == kOverflow) return false;
            if (values < 0) return true;
        } else {
            // The decoder multiplies the two as ints.
            values = std::int64_t{entries} * dimensions;
            if (values > 2147483647) return false;
        }
        b.Skip(std::uint64_t(values) * valueBits);
        if (b.Past()) return true;
    }
    return true;
}

}  // namespace

OggHeaderCheck CheckOggVorbisHeaders(const unsigned char* data, std::size_t size) {
    // Reassembles the three header packets (identification, comment,
    // setup) from the pages' segment tables.
    std::vector<unsigned char> packet;
    int complete = 0;
    std::size_t pos = 0;
    while (complete < 3) {
        if (size - pos < kPageHeader) return OggHeaderCheck::kNeedMoreData;
        const unsigned char* page = data + pos;
        if (std::memcmp(page, "OggS", 4) != 0) return OggHeaderCheck::kInvalid;
        const std::size_t segments = page[26];
        if (size - pos < kPageHeader + segments) return OggHeaderCheck::kNeedMoreData;
        std::size_t body = 0;
        for (std::size_t s = 0; s < segments; ++s) body += page[kPageHeader + s];
        if (size - pos < kPageHeader + segments + body) return OggHeaderCheck::kNeedMoreData;
        const unsigned char* in = page + kPageHeader + segments;
        for (std::size_t s = 0; s < segments && complete < 3; ++s) {
            const std::size_t lace = page[kPageHeader + s];
            packet.insert(packet.end(), in, in + lace);
            in += lace;
            if (lace < 255) {
                if (complete == 1 && !ValidComment(packet)) return OggHeaderCheck::kInvalid;
                if (complete == 2 && !ValidCodebooks(packet)) return OggHeaderCheck::kInvalid;
                ++complete;
                packet.clear();
            }
        }
        pos += kPageHeader + segments + body;
    }
    return OggHeaderCheck::kValid;
}
