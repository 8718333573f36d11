// Rendering a song to an audio file: one loop so many passes, or the song's
// arrangement so many times through, as WAV (16-bit) or FLAC. The loops are
// rendered once each and streamed pass after pass, so memory stays the
// same however long the piece; the file replaces its target whole, or not
// at all. Used by `Trellon --render` and by the window's export alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "song/song.h"

struct ExportChoice {
    enum class Format { kWav, kFlac, kMidi };
    bool arrangement = false;  // the song's arrangement, else one loop
    int loop = 0;              // the loop, when not the arrangement
    int times = 1;             // passes of the loop, or times through the arrangement
    Format format = Format::kWav;
    int onlyTrack = -1;  // the one track heard (its stem); -1 for the mix
    bool stems = false;  // one file per track into a folder (WAV or FLAC)
};

// Calls pass(loop) for every pass the choice plays, in order, walking the
// arrangement's steps (never laying them out in memory); stops when pass
// answers false, and says whether it went through.
bool ForEachPass(const Song& song, const ExportChoice& choice,
                 const std::function<bool(std::uint8_t loop)>& pass);
// How many passes that is.
std::uint64_t PassCount(const Song& song, const ExportChoice& choice);

// Throws AppError when a step of the song's arrangement names a loop that
// cannot play: one outside 0 to 9 or holding no tick. name names the song.
void CheckArrangementLoops(const Song& song, const std::string& name);

// Throws AppError when the choice cannot be rendered, saying why: a loop
// outside 0 to 9 or holding no tick, an empty arrangement, or a WAV file
// longer than WAV allows (with the longest it allows). name names the song.
void CheckExport(const Song& song, const ExportChoice& choice, const std::string& name);

// Renders the choice to out. progress, when given, is told the share done
// (0 to 1) and returns false to cancel, which leaves out as it was and
// returns false. clipped, when given, gets how many values written are at
// full scale (clipped, or as loud). Throws AppError.
bool ExportSong(const Song& song, const ExportChoice& choice, const std::string& out,
                const std::function<bool(double)>& progress = {}, std::uint64_t* clipped = nullptr);

// One file of a stem export: the track and its file's name in the folder,
// "01 Kick.wav" (the track's number and caption).
struct Stem {
    int track = 0;
    std::string file;
};
// Every track with a sound, in order, with the names its files get.
std::vector<Stem> StemsOf(const Song& song, ExportChoice::Format format);
// Renders the choice once per track into folder (made when missing), each
// track as the mix has it (volume, pan, mute, solo, choked by the others),
// all of the same length, so that they add up to the mixed export. progress
// and its cancelling as for ExportSong (the files written stay); clipped
// gets the values at full scale over all stems. Throws AppError.
bool ExportStems(const Song& song, const ExportChoice& choice, const std::string& folder,
                 const std::function<bool(double)>& progress = {},
                 std::uint64_t* clipped = nullptr);

// A copy of song that shares nothing that changes with it (audio is shared:
// it never changes), for rendering on another thread.
Song DetachedCopy(const Song& song);

// "6 h 45 min 47 s", "3 min 20 s", "12 s".
std::string Duration(double seconds);
