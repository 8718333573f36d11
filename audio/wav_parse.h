// Finding the audio in a WAV file: the fmt and data chunks, wherever they
// are, turned into the canonical 44-byte header.
#pragma once

#include <cstdio>

#include "OvraAudio.h"

struct WavLayout {
    WavHeader header{};
    long long dataOffset = 0;  // first byte of the sample data
    long long dataEnd = -1;    // one past its last byte; -1: up to the end of the file
};

// Reads the chunks of a RIFF/WAVE file of integer PCM from the start of f.
// A canonical file's first 44 bytes are taken as they are; any other layout
// gets a header built from its fmt and data chunks. False when f is not such
// a file; f's position is then undefined.
bool ReadWavLayout(std::FILE* f, WavLayout* out);
