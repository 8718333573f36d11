#include "song/song_render.h"

#include <cstring>
#include <string>

#include "song/loop_renderer.h"
#include "song/song_file.h"
#include "song/song_format.h"
#include "support/app_error.h"

void RenderSongLoop(const std::string& songPath, int loop, int passes, const std::string& out) {
    if (loop < 0 || loop > song_format::kMaxCount)
        ThrowSubscriptOutOfRange("Loop " + std::to_string(loop) +
                                 " does not exist: loops are numbered 0 to 255");
    if (passes < 1)
        ThrowError(kErrInvalidArgument,
                   "A loop is rendered at least once, not " + std::to_string(passes) + " times");
    std::shared_ptr<Song> song = ReadSongFile(songPath);

    // Opening: rows for the song's tracks, loop 0 prepared and rendered.
    LoopRenderer r;
    r.NumTracks = song->NumTracks();
    r.PrepareLoopWav(*song);
    r.RenderSelectedLoop(*song, LoopGrid(*song->Sequence(0)));
    // Selecting the loop: its rendering, or a new one.
    r.SelectedLoopIndex = static_cast<std::uint8_t>(loop);
    auto selected = song->Sequence(loop);
    r.LoopWav = selected->Wav();
    LoopGrid grid(*selected);
    if (!r.LoopWav) {
        r.PrepareLoopWav(*song);
        r.RenderSelectedLoop(*song, grid);
    }
    // Play renders once more before it starts.
    r.RenderSelectedLoop(*song, grid);

    SafeArrayPtr image;
    Check(r.LoopWav->ToByteArray(image.Out()));
    const std::uint8_t* bytes = image.Bytes();
    const std::uint64_t data = image.Count() - sizeof(WavHeader);
    if (data * passes + 36 > 0x7FFFFFFFull)
        ThrowOverflow(std::to_string(passes) + " passes of this loop do not fit in a WAV file");
    // The header of all passes, then the data again and again.
    WavHeader header;
    std::memcpy(&header, bytes, sizeof header);
    header.DataHeader.ChunkSize = static_cast<LONG>(data * passes);
    header.RiffHeader.ChunkSize = header.DataHeader.ChunkSize + 36;
    auto file = CreateFileForWriting(out);
    file->WriteBytes(&header, sizeof header);
    for (int p = 0; p < passes; ++p) file->WriteBytes(bytes + sizeof header, data);
    file->Commit();
}
