// Reading and writing the fixed parts of a song file (song/song_format.h),
// with errors that say which part of the file is wrong. The record readers
// raise them with the part ("the ticks of track 2"); the song adds where
// the record stands ("in loop 3") and the file reader the file's name.
#pragma once

#include <string>

#include "song/song_format.h"
#include "support/app_error.h"
#include "support/file_streams.h"
#include "support/text_format.h"

// Exactly the bytes asked for; error 111 saying how many more of what were
// expected otherwise.
inline ByteArray ReadExactly(BinaryStream& in, std::int32_t count, const char* what) {
    ByteArray bytes = in.ReadBytes(count);
    const long long missing = count - static_cast<long long>(bytes.size());
    if (missing > 0)
        ThrowError(kErrUnexpectedEof, "expected " + Thousands(missing) +
                                          (missing == 1 ? " more byte of " : " more bytes of ") +
                                          what);
    return bytes;
}

// Error 321: the bytes cannot be a song the program wrote, for the reason given.
[[noreturn]] inline void ThrowNotASong(const std::string& reason) {
    ThrowError(kErrInvalidFileFormat, reason);
}

// Why the bytes of an embedded sample are not a WAV image as the library
// writes one; null when they are.
const char* WavImageProblem(const std::uint8_t* image, std::size_t size);

// Runs read, adding where the record stands to the description of an
// error it raises ("... of the ticks of track 2" + " in loop 3").
template <class F>
void ReadingWhere(const std::string& where, F&& read) {
    try {
        read();
    } catch (const AppError& e) {
        throw AppError(e.Number(), e.Description() + " " + where);
    }
}

// Why a tempo (currency) is none a song file holds; empty when it is one.
std::string TempoProblem(std::int64_t bpm);

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
