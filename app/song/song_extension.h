// The song file's extension block (song/song_format.h): the mix, the swing,
// the arrangement, the ticks' velocities, the MIDI map, the loops' lengths,
// the tracks' sounds, the master level, the humanize, and records of newer
// programs kept as they came.
#pragma once

#include <cstdint>
#include <string>

#include "song/song.h"
#include "support/file_streams.h"

// Whether the song holds anything of its own the block is for.
bool HasExtension(const Song& song);
// The whole block for song: its records in the order the file had them,
// new ones after. Throws AppError when it would be larger than a reader
// takes (kMaxExtensionSize), before anything is written.
ByteArray ExtensionBlock(const Song& song);
// What a save writes after the song's records: the block for what the
// song holds, or else the block it could not read, unchanged; nothing
// when there is neither.
ByteArray BlockToWrite(const Song& song);
// Whether bytes begin with the block's tag.
bool StartsExtensionBlock(const ByteArray& bytes);
// Reads the block, which is all of bytes, into song. An empty answer when
// it was taken; otherwise why it is damaged (or that a newer program
// wrote it), and song is left without any of it. Mix entries for tracks
// the song does not have are ignored.
std::string ReadExtensionBlock(const ByteArray& bytes, Song& song);
// The answer of ReadExtensionBlock for a block of a newer version.
inline const char kNewerExtension[] = "a newer Trellon wrote it";

// CRC-32 (the polynomial of zlib and PNG) of size bytes.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);
