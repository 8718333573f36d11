#include "song/song_file.h"

#include "song/song_io.h"
#include "support/paths.h"

namespace {

// What the bytes after the song follow, for the message.
const char* LastRecord(const Song& song) {
    for (const auto& s : song.SampleSlots())
        if (s) return "the last sample";
    for (const auto& l : song.LoopSlots())
        if (l) return "the last loop";
    return "the song header";
}

}  // namespace

std::shared_ptr<Song> ReadSongFile(const std::string& path) {
    auto stream = OpenFileForReading(path);
    auto song = std::make_shared<Song>();
    const std::string name = Quoted(FileNameOfPath(path));
    try {
        song->ReadFromFile(*stream);
        if (const long long rest = stream->BytesLeft(); rest > 0)
            ThrowNotASong(Thousands(rest) + (rest == 1 ? " byte follows " : " bytes follow ") +
                          LastRecord(*song));
    } catch (const AppError& e) {
        const long n = e.Number();
        const char* what = n == kErrUnexpectedEof       ? " is cut short: "
                           : n == kErrInvalidFileFormat ? " is not a Trellon song: "
                                                        : " could not be read: ";
        throw AppError(n, name + what + e.Description());
    }
    return song;
}

void WriteSongFile(const Song& song, const std::string& path) {
    auto stream = CreateFileForWriting(path);
    song.WriteToFile(*stream);
    stream->Commit();
}
