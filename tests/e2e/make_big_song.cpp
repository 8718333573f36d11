// Makes a song of a given size from the default song for the tests of a
// busy window: loop 1 a copy of loop 0 (they sound the same), and one more
// track, ticked nowhere, whose sample holds the megabytes asked for.
//
// usage: make_big_song DEFAULT.loop MEGABYTES OUT.loop
//   The audio library is reached through activation (OVRA_REGISTRY).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "song/song_file.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_big_song DEFAULT.loop MEGABYTES OUT.loop\n");
        return 2;
    }
    try {
        std::shared_ptr<Song> song = ReadSongFile(argv[1]);
        auto& loop0 = *song->Sequence(0);
        auto& loop1 = *song->Sequence(1);
        loop1.Clear();
        for (const auto& t : loop0.Tracks())
            loop1.Tracks().push_back(std::make_shared<LoopTrack>(*t));
        const LONG frames = LONG(std::atol(argv[2]) * 1024 * 1024 / 4);
        ComPtr<IWav> wav;
        Check(AudioLibrary()->MakeWav(frames, 2, 44100, 2, wav.Out()));
        std::vector<AudioSample> values(std::size_t(frames) * 2);
        std::uint32_t x = 1;
        for (AudioSample& v : values) v = AudioSample((x = x * 1664525u + 1013904223u) >> 20);
        WriteWavValues(wav.get(), values);
        const auto big = song->SampleAt(song->NumTracks());
        big->SetWav(wav);
        big->SetCaption(u"Big");
        for (const auto& loop : song->LoopSlots())
            if (loop) {
                auto track = std::make_shared<LoopTrack>();
                track->SetNumTicks(32);
                loop->Tracks().push_back(track);
            }
        WriteSongFile(*song, argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_big_song: %s\n", ErrorText(e).c_str());
        return 1;
    }
    return 0;
}
