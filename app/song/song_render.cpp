#include "song_render.h"

#include <cstring>

#include "app_error.h"
#include "loop_renderer.h"

std::shared_ptr<Song> ReadSongFile(const std::string& path) {
    auto stream = OpenFileForReading(path);
    auto song = std::make_shared<Song>();
    song->ReadFromFile(*stream);
    return song;
}

void RenderSongLoop(const std::string& songPath, int loop, int passes, const std::string& out) {
    if (loop < 0 || loop > 255) ThrowSubscriptOutOfRange();
    if (passes < 1) throw AppError(5, "Invalid procedure call or argument");
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

    SAFEARRAY* image = nullptr;
    Check(r.LoopWav->ToByteArray(&image));
    struct Guard {
        SAFEARRAY* a;
        ~Guard() { SafeArrayDestroy(a); }
    } guard{image};
    const auto* bytes = static_cast<const std::uint8_t*>(image->pvData);
    const std::size_t size = image->rgsabound[0].cElements;
    const std::uint64_t data = size - 44;
    if (data * passes + 36 > 0x7FFFFFFFull) ThrowOverflow();
    // The header of all passes, then the data again and again.
    std::uint8_t header[44];
    std::memcpy(header, bytes, 44);
    const std::uint32_t total = static_cast<std::uint32_t>(data * passes);
    const std::uint32_t riff = total + 36;
    std::memcpy(header + 4, &riff, 4);
    std::memcpy(header + 40, &total, 4);
    auto file = CreateFileForWriting(out);
    file->WriteBytes(header, 44);
    for (int p = 0; p < passes; ++p) file->WriteBytes(bytes + 44, data);
    file->Commit();
}
