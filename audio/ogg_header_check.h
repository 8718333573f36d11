// A check of the Vorbis comment and setup headers before the decoder sees
// them. The decoder trusts the lengths in the comment header and writes out
// of bounds when they exceed the packet, and it sizes a codebook's value
// table with arithmetic that overflows for tables no encoder writes; a file
// with either is refused up front.
#pragma once

#include <cstddef>

enum class OggHeaderCheck { kValid, kNeedMoreData, kInvalid };

// Looks at the first pages of an Ogg Vorbis stream in [data, data + size).
OggHeaderCheck CheckOggVorbisHeaders(const unsigned char* data, std::size_t size);
