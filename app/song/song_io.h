// Reading and writing the fixed parts of a song file (song/song_format.h).
#pragma once

#include <string>

#include "song/song_format.h"
#include "support/app_error.h"
#include "support/file_streams.h"

// Exactly the bytes asked for, or error 111 "Unexpected EOF".
inline ByteArray ReadExactly(BinaryStream& in, std::int32_t count) {
    ByteArray bytes = in.ReadBytes(count);
    if (bytes.size() < static_cast<std::size_t>(count)) ThrowUnexpectedEof();
    return bytes;
}

// A count that must fit in one byte of the file; error 6 naming what it
// counts otherwise ("loops", "tracks in a loop" ...).
inline std::uint8_t CountByte(long long count, const char* what) {
    if (count < 0 || count > song_format::kMaxCount)
        ThrowOverflow("A song file holds at most 255 " + std::string(what) + ", not " +
                      std::to_string(count));
    return static_cast<std::uint8_t>(count);
}

// A slot index that must fit in one byte of the file; error 6 otherwise.
inline std::uint8_t IndexByte(long long index, const char* what) {
    if (index < 0 || index > song_format::kMaxCount)
        ThrowOverflow("A song file numbers " + std::string(what) + " 0 to 255, not " +
                      std::to_string(index));
    return static_cast<std::uint8_t>(index);
}
