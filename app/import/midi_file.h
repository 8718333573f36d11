// Standard MIDI Files: the notes of a file read (format 0 or 1, any ticks
// per quarter note, running status), and a file written from timed events.
//
//   "MThd" 6 format tracks division   then per track
//   "MTrk" length { delta-time (variable length) event }...
//
// Big-endian throughout; a delta-time is 1 to 4 bytes of 7 bits each, the
// top bit set on all but the last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A note struck in a file: when, in the file's ticks from its start.
struct MidiFileNote {
    std::uint64_t tick = 0;
    std::uint8_t channel = 0;  // 0 to 15
    std::uint8_t key = 0;
    std::uint8_t velocity = 0;  // 1 to 127
    bool operator==(const MidiFileNote&) const = default;
};

struct MidiFileContent {
    int format = 0;
    int ticksPerQuarter = 480;
    // The first time signature (4/4 when the file has none).
    int beatsPerBar = 4;
    int beatUnit = 4;
    // The first tempo in beats per minute; 0 when the file gives none.
    double bpm = 0;
    std::vector<MidiFileNote> notes;  // by time, then as the file had them
    std::uint64_t endTick = 0;        // the latest end of track
};

// Reads a whole file held in bytes; name names it in refusals. Throws
// AppError 321 saying what is wrong and at which byte.
MidiFileContent ParseMidiFile(const std::string& bytes, const std::string& name);
// Reads the file at path (at most 16 MB).
MidiFileContent ReadMidiFile(const std::string& path);

// An event to be written: its time in ticks from the track's start and
// its bytes (a channel message, or FF type length data for a meta event).
struct MidiFileEvent {
    std::uint64_t tick = 0;
    std::vector<std::uint8_t> bytes;
};
// A format 1 file of the tracks given, each sorted by time (events at the
// same tick keep their order), with an end of track appended to each, at
// endTick or after its last event.
// Throws AppError 6 when a gap between events is longer than a delta-time
// holds (2^28 - 1 ticks) or a track longer than a chunk holds.
std::vector<std::uint8_t> WriteMidiFile(int ticksPerQuarter,
                                        std::vector<std::vector<MidiFileEvent>> tracks,
                                        std::uint64_t endTick = 0);
