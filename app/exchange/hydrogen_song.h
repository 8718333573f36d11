// Songs of the XML song format of Linux's best-known drum machine
// (.h2song, as its 0.9 to 1.2 versions write it), opened as songs of ours:
//
//   <song> <bpm> <volume> <swing_factor> <name>
//     <instrumentList> <instrument> <id> <name> <drumkit> <volume> <isMuted>
//       <pan> (or <pan_L> <pan_R>) <midiOutNote> <muteGroup> <pitchOffset>
//       <instrumentComponent> <layer> <filename> <min> <max> <gain> <pitch>
//     <patternList> <pattern> <name> <size> (48 ticks a quarter note)
//       <noteList> <note> <position> <velocity> <instrument> <pan> <pitch>
//     <virtualPatternList>  <patternSequence> <group> <patternID>...
//
// Instruments become tracks (the layer for full velocity), patterns loops,
// the sequence the arrangement. A sample is looked for in the instrument's
// kit where that program keeps kits, then beside the song; nothing outside
// the kit's folder is read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "song/song.h"
#include "support/progress.h"

// What a song file says, as read.
struct HydrogenSong {
    std::string name;
    double bpm = 120, volume = 1, swing = 0, humanizeTime = 0, humanizeVelocity = 0;
    struct Layer {
        std::string file;
        double min = 0, max = 1, gain = 1, pitch = 0;
    };
    struct Instrument {
        int id = -1;
        std::string name, drumkit, file;
        double volume = 1, gain = 1, componentGain = 1, pan = 0, pitch = 0;
        double panL = -1, panR = -1;  // the older pair, -1 when absent
        bool muted = false, soloed = false;
        int note = -1, muteGroup = -1;
        std::vector<Layer> layers;
    };
    struct Note {
        int position = 0, instrument = -1;
        double velocity = 0.8, pan = 0, pitch = 0, leadLag = 0;
        double panL = -1, panR = -1;
    };
    struct Pattern {
        std::string name;
        int size = 192;
        std::vector<Note> notes;
    };
    std::vector<Instrument> instruments;
    std::vector<Pattern> patterns;
    std::vector<std::vector<std::string>> sequence;  // columns of pattern names
    int virtualPatterns = 0;
};

// Reads the XML held in text; name names the file in refusals. Throws
// AppError 321 for text that is no such song (with what and where).
HydrogenSong ParseHydrogenSong(const std::string& text, const std::string& name);

// The folders a song's kits are looked for in, in order: the user's kits,
// then the system's. Tests and the command line may name others.
std::vector<std::string> HydrogenKitFolders();

// Reads the song file at path and makes a song of it, its samples
// imported. notice, when given, gets once what could not be carried over.
// Throws AppError (53 missing, 321 not such a song).
std::shared_ptr<Song> ReadHydrogenSong(
    const std::string& path, std::string* notice, const Progress& progress = {},
    const std::vector<std::string>& kitFolders = HydrogenKitFolders());

// Whether path names such a song (by its extension, case aside).
bool IsHydrogenSongPath(const std::string& path);
