// make-default-song OUT.loop
//
// Writes the default song: the synthesised drum kit on ten tracks, at 120
// beats per minute, with six grooves in loops 0 to 5.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drum_kit.h"
#include "song/song.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

namespace {

enum Track {
    kKick,
    kSnare,
    kClosedHat,
    kOpenHat,
    kClap,
    kLowTom,
    kHighTom,
    kRim,
    kCowbell,
    kCrash
};

// One row per track, '1' where a tick is on ('.' or ' ' off), 32 ticks: two
// bars of sixteenths.
struct Groove {
    const char* rows[10];
};

const Groove kGrooves[] = {
    // 0: the basic beat
    {{"1.......1.......1.......1.......", "....1.......1.......1.......1...",
      "1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.", "................................",
      "................................", "................................",
      "................................", "................................",
      "................................", "1..............................."}},
    // 1: syncopated kick, open hats at the end of each bar
    {{"1.....1.1.......1.....1.1.......", "....1.......1.......1.......1...",
      "1111111111111.111111111111111.11", ".............1...............1..",
      "................................", "................................",
      "................................", "................................",
      "................................", "................................"}},
    // 2: funk, with ghost rims and claps
    {{"1..1....1.1.....1..1....1.1..1..", "....1.......1.......1.......1...",
      "1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.", "...........................1....",
      "............1...............1...", "................................",
      "................................", ".......1.......1.......1..1....1",
      "................................", "................................"}},
    // 3: a fill over the toms into the crash
    {{"1.......1.......1...............", "....1.......1...............1111",
      "1.1.1.1.1.1.1.1.1.1.1...........", "................................",
      "................................", "........................111.....",
      "................111.111.........", "................................",
      "................................", "1..............................."}},
    // 4: a break: kick and rims, cowbell on the offbeats
    {{"1.........1.....1.........1.....", "................................",
      "................................", "................................",
      "................................", "................................",
      "................................", "....1.......1.......1.......1...",
      "..1...1...1...1...1...1...1...1.", "................................"}},
    // 5: four on the floor with claps and open hats
    {{"1...1...1...1...1...1...1...1...", "................................",
      "11.111.111.111.111.111.111.111.1", "..1...1...1...1...1...1...1...1.",
      "....1.......1.......1.......1...", "................................",
      "................................", "................................",
      "................................", "1..............................."}},
};

ComPtr<IWav> WavOf(const DrumVoice& voice) {
    const LONG frames = static_cast<LONG>(voice.frames.size() / 2);
    ComPtr<IWav> wav;
    Check(AudioLibrary()->MakeWav(frames, 2, 44100, 2, wav.Out()));
    WriteWavValues(wav.get(), voice.frames);
    return wav;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-default-song OUT.loop\n");
        return 2;
    }
    try {
        Song song;
        song.SetBpm(120 * 10000);
        std::vector<DrumVoice> kit = SynthesiseDrumKit();
        auto loop0 = song.Sequence(0);
        for (std::size_t j = 0; j < kit.size(); ++j) {
            auto sample = song.SampleAt(static_cast<std::int32_t>(j));
            sample->SetCaption(kit[j].caption);
            sample->SetWav(WavOf(kit[j]));
            auto track = std::make_shared<LoopTrack>();
            track->SetNumTicks(32);
            loop0->Tracks().push_back(track);
        }
        for (std::size_t k = 0; k < std::size(kGrooves); ++k) {
            auto loop = song.Sequence(static_cast<std::int32_t>(k));
            for (std::size_t j = 0; j < kit.size(); ++j) {
                if (std::strlen(kGrooves[k].rows[j]) != 32)
                    ThrowError(kErrInvalidArgument, "a groove row is not 32 ticks");
                for (int i = 0; i < 32; ++i)
                    loop->Track(static_cast<std::int32_t>(j))
                        ->SetValue(static_cast<std::uint8_t>(i), kGrooves[k].rows[j][i] == '1');
            }
        }
        WriteSongFile(song, argv[1]);
    } catch (const AppError& e) {
        std::fprintf(stderr, "make-default-song: %s (%ld)\n", e.what(), e.Number());
        return 1;
    }
    return 0;
}
