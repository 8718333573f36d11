// Importing an audio file of any common kind as a track's sample: whatever
// libsndfile reads (WAV of every depth, integer or float, extensible WAV,
// AIFF, FLAC, Ogg Vorbis ...) becomes the song's sample format, 16-bit
// stereo at 44,100 Hz. Other rates are resampled with libsoxr at high
// quality; mono goes to both channels, more than two channels are mixed
// to both with equal weights; values are rounded and clamped, never
// wrapped. The result is the library's Wav, written as whole blocks.
#pragma once

#include <string>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "support/progress.h"

struct ImportedAudio {
    ComPtr<IWav> wav;
    std::u16string caption;  // the file's name without its extension
    int midiNote = -1;       // the note that plays it, as a drum kit gives it; -1: the default
};

// The song's sample format.
constexpr LONG kImportRate = 44100;
constexpr SHORT kImportChannels = 2;
// The rates a file to import may have.
constexpr int kMinImportRate = 1000;
constexpr int kMaxImportRate = 384000;

// Throws AppError naming the file: 53 when it does not exist, 321 when it
// is not audio libsndfile reads (with libsndfile's reason) or holds none;
// 18 when progress cancels it.
ImportedAudio ImportAudioFile(const std::string& path, const Progress& progress = {});

// The file's name without its extension: "kick" for ".../kick.wav".
std::string CaptionOfPath(const std::string& path);

// The kinds of files the importer takes, as a name filter for file dialogs
// ("*.wav *.flac ...").
std::string ImportableFilePatterns();
