// Rendering one loop of a song file to a WAV file without a window.
#pragma once

#include <memory>
#include <string>

#include "song/song.h"

// Renders loop `loop` of the song file as selecting it and pressing Play
// would, and writes `passes` passes of it as one WAV file at out (for one
// pass, exactly the loop buffer's byte image). Throws AppError.
void RenderSongLoop(const std::string& songPath, int loop, int passes, const std::string& out);
