// Opening a song file as the Open command does, and rendering one of its
// loops to a WAV file without a window.
#pragma once

#include <memory>
#include <string>

#include "song/song.h"

// A new song read from the file at path. Throws AppError; nothing is
// half-made for the caller.
std::shared_ptr<Song> ReadSongFile(const std::string& path);

// Renders loop `loop` of the song file as selecting it and pressing Play
// would, and writes `passes` passes of it as one WAV file at out (for one
// pass, exactly the loop buffer's byte image). Throws AppError.
void RenderSongLoop(const std::string& songPath, int loop, int passes, const std::string& out);
