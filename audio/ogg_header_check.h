// A check of the Vorbis comment header before the decoder sees it. The
// decoder trusts the lengths in that header and writes out of bounds when
// they exceed the packet, so a file whose comment header does not hold
// together is refused up front.
#pragma once

#include <cstddef>

enum class OggHeaderCheck { kValid, kNeedMoreData, kInvalid };

// Looks at the first pages of an Ogg Vorbis stream in [data, data + size).
OggHeaderCheck CheckOggVorbisHeaders(const unsigned char* data, std::size_t size);
