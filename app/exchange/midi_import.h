// A MIDI file's notes laid into a loop: each note to the track that plays
// it (its MIDI note), at the nearest tick of the loop's grid, with its
// velocity. The loop keeps its resolution and takes its length from the
// file's first bars, as many whole bars as 64 ticks hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/midi_file.h"
#include "song/song.h"

struct MidiLoopImport {
    LoopFormat format;
    // The loop's rows afterwards, one per track (the song's, then those
    // added for notes without one).
    std::vector<LoopTrack> tracks;
    // Notes no track plays, ascending; with adding, the tracks made for
    // them, in that order (their captions).
    std::vector<int> unmapped;
    std::vector<std::string> added;
    std::size_t placed = 0;        // notes laid into the loop
    std::size_t pastEnd = 0;       // notes after the loop's end
    std::size_t otherChannel = 0;  // notes on a channel not listened to
    std::size_t unplayed = 0;      // notes of keys without a track, not added
    int channel = 0;               // the channel taken (1 to 16), 0 for all
};

// Plans the import into loop k of song; addTracks makes a track (without a
// sound, named for the note) for each note no track plays, as far as 64
// tracks allow. Throws AppError when the file holds no note to import.
MidiLoopImport PlanMidiImport(const MidiFileContent& file, const Song& song, std::uint8_t k,
                              bool addTracks, const std::string& name);

// What the import did, for the user: "Imported 24 notes into loop 2 (16
// ticks) ...".
std::string MidiImportSummary(const MidiLoopImport& import, std::uint8_t k);

// The General MIDI name of a drum note ("Acoustic Snare"), else "Note N".
std::string DrumNoteName(int note);
