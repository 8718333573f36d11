// The format of a piece of PCM audio as the sound API's automation type
// library lays it out: shared by the sound layer and by the audio
// library's public interface (IWav::get_fxFormat), so that neither needs
// the other.
#pragma once

#include <cstddef>

#include "com/guid.h"
#include "com/types.h"

// The format of a sound buffer or of a piece of PCM audio.
struct WAVEFORMATEX {
    SHORT nFormatTag;  // 1 for integer PCM
    SHORT nChannels;
    LONG lSamplesPerSec;  // frames per second
    LONG lAvgBytesPerSec;
    SHORT nBlockAlign;  // bytes per frame
    SHORT nBitsPerSample;
    SHORT nSize;  // bytes of extra format information
    LONG lExtra;
};
static_assert(sizeof(WAVEFORMATEX) == 24);
static_assert(offsetof(WAVEFORMATEX, nSize) == 16);
static_assert(offsetof(WAVEFORMATEX, lExtra) == 20);

// The record's identifier in the sound API's type library.
constexpr GUID GUID_WAVEFORMATEX = MakeGuid("{3A8E7C42-5B1D-4F6E-9A0C-2D7B8E4F1A63}");
