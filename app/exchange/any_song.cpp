#include "exchange/any_song.h"

#include "exchange/hydrogen_song.h"
#include "song/song_file.h"

std::shared_ptr<Song> ReadAnySong(const std::string& path, std::string* notice,
                                  const Progress& progress, bool* foreign) {
    const bool other = IsHydrogenSongPath(path);
    if (foreign) *foreign = other;
    return other ? ReadHydrogenSong(path, notice, progress) : ReadSongFile(path, notice, progress);
}

std::string OpenableSongPatterns() {
    return "*.loop *.h2song";
}
