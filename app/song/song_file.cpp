#include "song/song_file.h"

#include <cstdio>
#include <cstring>

#include "files/regular_file.h"

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

// What kind of file begins with these bytes, when it is one people open
// by mistake: "a WAV file", "a text file" ...; "" for none of them.
std::string LooksLike(const std::string& path) {
    const FilePtr f = OpenRegularFile(path);
    if (!f) return "";
    unsigned char b[16] = {};
    const std::size_t n = std::fread(b, 1, sizeof b, f.get());
    auto starts = [&](const char* magic, std::size_t at = 0) {
        const std::size_t len = std::strlen(magic);
        return n >= at + len && std::memcmp(b + at, magic, len) == 0;
    };
    if (starts("RIFF") && starts("WAVE", 8)) return "a WAV file";
    if (starts("OggS")) return "an Ogg file";
    if (starts("fLaC")) return "a FLAC file";
    if (starts("FORM") && (starts("AIFF", 8) || starts("AIFC", 8))) return "an AIFF file";
    if (starts("ID3") || (n >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0)) return "an MP3 file";
    if (starts("<?xml")) return "an XML file";
    if (starts("MThd")) return "a MIDI file";
    bool text = n > 0;
    for (std::size_t i = 0; i < n && text; ++i)
        text = b[i] == '\n' || b[i] == '\r' || b[i] == '\t' || (b[i] >= 0x20 && b[i] < 0x7F);
    return text ? "a text file" : "";
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
        // A file of another kind is said to be one, rather than where the
        // song's reading of it first went wrong.
        if (n == kErrUnexpectedEof || n == kErrInvalidFileFormat)
            if (const std::string kind = LooksLike(path); !kind.empty())
                throw AppError(kErrInvalidFileFormat,
                               name + " is not a Trellon song (it looks like " + kind + ")");
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
