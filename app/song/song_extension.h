// The song file's extension block (song/song_format.h): the mix, the swing,
// the arrangement, and records of newer programs kept as they came.
#pragma once

#include <cstdint>
#include <string>

#include "song/song.h"
#include "support/file_streams.h"

// Whether the song holds anything the block is for.
bool HasExtension(const Song& song);
// The whole block for song.
ByteArray ExtensionBlock(const Song& song);
// Whether bytes begin with the block's tag.
bool StartsExtensionBlock(const ByteArray& bytes);
// Reads the block, which is all of bytes, into song. An empty answer when
// it was taken; otherwise why it is damaged, and song is left without any
// of it.
std::string ReadExtensionBlock(const ByteArray& bytes, Song& song);

// CRC-32 (the polynomial of zlib and PNG) of size bytes.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);
