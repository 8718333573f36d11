// Opening a song file of ours or of another program's format, told apart
// by its extension.
#pragma once

#include <memory>
#include <string>

#include "song/song.h"
#include "support/progress.h"

// Reads the song at path. foreign, when given, is set when the song is of
// another format: it opens as a new song, without a file of its own.
// notice gets what was left out. Throws AppError.
std::shared_ptr<Song> ReadAnySong(const std::string& path, std::string* notice = nullptr,
                                  const Progress& progress = {}, bool* foreign = nullptr);

// The patterns of the song files that open, for a file chooser.
std::string OpenableSongPatterns();
