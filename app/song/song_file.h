// Song files as the program opens and saves them: a song is accepted only
// when the whole file is one the program could have written.
#pragma once

#include <memory>
#include <string>

#include "song/song.h"

// A new song read from the whole file at path: the song's records, then
// nothing or its extension block. Throws AppError naming the file: the
// file's own errors (53, 70, 75), 111 for a file cut short, 321 for one
// that is not a song. Nothing is half-made for the caller. An extension
// block that is damaged is left out, and notice (when given) says so.
// progress, when given, is told the share read and may cancel (error 18).
std::shared_ptr<Song> ReadSongFile(const std::string& path, std::string* notice = nullptr,
                                   const Progress& progress = {});

// Writes song to path; the file it replaces stays whole until the new one
// is (support/file_streams.h). Throws AppError; cancelled by progress
// (error 18), the file stays as it was.
// With kOwnerOnly the file is the user's alone (0600), whatever the umask.
void WriteSongFile(const Song& song, const std::string& path, const Progress& progress = {},
                   AtomicFile::Access access = AtomicFile::Access::kAsUsual);
