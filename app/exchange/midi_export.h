// A song's hits as a Standard MIDI File, for a DAW to play with sounds of
// its own: format 1 at 480 ticks per quarter note, a tempo track (the
// song's tempo, and a time signature for each loop length the passes
// play) and one track of drum notes on channel 10: each track's MIDI
// note, each hit's velocity, a tick long. The hits fall where they are
// heard: swing and humanize move them as they move the audio, and tracks
// muted (or not soloed while others are) are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song/song_export.h"

constexpr int kMidiExportTicksPerQuarter = 480;

// The file's bytes for choice (loop and passes, or the arrangement so many
// times). Throws AppError as CheckExport does, and 6 when the piece is
// longer than a MIDI file holds.
std::vector<std::uint8_t> SongToMidi(const Song& song, const ExportChoice& choice,
                                     const std::string& name);
// Writes it to out, replacing out whole or not at all.
void ExportMidiFile(const Song& song, const ExportChoice& choice, const std::string& out,
                    const std::string& name);

// The MIDI note of track j of song (its own, else 36 + j).
int MidiNoteOf(const Song& song, int track);
