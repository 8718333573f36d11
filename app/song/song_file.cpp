#include "song/song_file.h"

#include "song/song_extension.h"
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

// About the bytes the song's file takes: its samples' images and a little.
long long ApproximateFileSize(const Song& song) {
    long long bytes = 4096;
    for (const auto& s : song.SampleSlots()) {
        LONG frames = 0;
        SHORT channels = 0, width = 0;
        if (!s || !s->Wav()) continue;
        if (SUCCEEDED(s->Wav()->get_NumSamples(&frames)) &&
            SUCCEEDED(s->Wav()->get_NumChannels(&channels)) &&
            SUCCEEDED(s->Wav()->get_BytesPerSample(&width)))
            bytes += 44 + (long long)frames * channels * width;
    }
    return bytes;
}

// Writes the song's records and its block; the file at path is replaced
// only once all of it is written.
void WriteSong(const Song& song, const std::string& path, const Progress& progress,
               AtomicFile::Access access) {
    // Made first: a block no reader would take is refused before the file
    // is touched.
    const ByteArray block = BlockToWrite(song);
    auto stream = CreateFileForWriting(path, access);
    if (progress) stream->SetProgress(progress, ApproximateFileSize(song));
    song.WriteToFile(*stream);
    if (!block.empty()) stream->WriteBytes(block);
    stream->Commit();
}

}  // namespace

std::shared_ptr<Song> ReadSongFile(const std::string& path, std::string* notice,
                                   const Progress& progress) {
    auto stream = OpenFileForReading(path);
    if (progress) stream->SetProgress(progress, stream->BytesLeft());
    auto song = std::make_shared<Song>();
    const std::string name = Quoted(FileNameOfPath(path));
    try {
        song->ReadFromFile(*stream);
        // Nothing may follow the song but its extension block.
        if (const long long rest = stream->BytesLeft(); rest > 0) {
            ByteArray tag = stream->ReadBytes(4);
            if (!StartsExtensionBlock(tag) ||
                rest > static_cast<long long>(song_format::kMaxExtensionSize))
                ThrowNotASong(Thousands(rest) + (rest == 1 ? " byte follows " : " bytes follow ") +
                              LastRecord(*song));
            ByteArray block = std::move(tag);
            const ByteArray more = stream->ReadBytes(static_cast<std::int32_t>(rest - 4));
            block.insert(block.end(), more.begin(), more.end());
            const std::string damage = ReadExtensionBlock(block, *song);
            if (!damage.empty()) {
                // Kept as it came, and written back unchanged by a save
                // unless the song gets a mix, swing or arrangement of its own.
                song->SetUnreadBlock(std::move(block));
                if (notice)
                    *notice = name + " opened without its mix, swing and arrangement: " +
                              (damage == kNewerExtension
                                   ? std::string("a newer Trellon saved them, in a way this one "
                                                 "does not read")
                                   : "their part of the file is damaged (" + damage + ")") +
                              ". That part is kept as it is and saved back unchanged, unless you "
                              "give the song a mix, swing or arrangement of its own.";
            }
        }
    } catch (const AppError& e) {
        const long n = e.Number();
        const char* what = n == kErrUnexpectedEof       ? " is cut short: "
                           : n == kErrInvalidFileFormat ? " is not a Trellon song: "
                                                        : " could not be read: ";
        throw AppError(n, name + what + e.Description());
    }
    return song;
}

void WriteSongFile(const Song& song, const std::string& path, const Progress& progress,
                   AtomicFile::Access access) {
    Doing("save " + Quoted(FileNameOfPath(path)), [&] { WriteSong(song, path, progress, access); });
}
