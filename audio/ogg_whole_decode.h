// The whole-file decode of an Ogg Vorbis file into one 16-bit image, with
// the guards of the incremental reader: the comment header is checked
// before the decoder sees it, the decoder allocates only from an arena of
// ours (so it can neither leak nor free what it never set), the channel
// count is checked, and the result is bounded by what the stream can
// honestly hold.
#pragma once

#include <cstddef>
#include <string>

#include "OvraAudio.h"

// The most frames the decode of data may produce: the largest granule
// position of any page (the stream's length as its encoder wrote it) plus
// one long block for the last, untrimmed frame; and never more than one
// long block per two bytes, since every audio packet costs at least a
// byte and its lacing value. Zero when no page tells a position.
long long OggFrameBound(const unsigned char* data, std::size_t size, int maxFrameSize);

// Decodes the file at path (UTF-8). E_FAIL when it is missing, not a
// regular file or not Ogg Vorbis; E_OUTOFMEMORY past the bound above or
// the 2 GB a WAV image can describe.
HRESULT DecodeWholeOgg(const std::string& path, IWav** result);
