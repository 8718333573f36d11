// Reading the fixed parts of a song file: exactly the bytes asked for, or
// error 111 "Unexpected EOF".
#pragma once

#include "app_error.h"
#include "file_streams.h"

inline ByteArray ReadExactly(BinaryStream& in, std::int32_t count) {
    ByteArray bytes = in.ReadBytes(count);
    if (bytes.size() < static_cast<std::size_t>(count)) ThrowUnexpectedEof();
    return bytes;
}

// A count or index that must fit in one byte of the file; error 6 otherwise.
inline std::uint8_t ToByte(long long value) {
    if (value < 0 || value > 255) ThrowOverflow();
    return static_cast<std::uint8_t>(value);
}
