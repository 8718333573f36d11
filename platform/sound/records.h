// Records of the DirectX 8 sound API as its automation type library lays
// them out (16-bit integers, 32-bit longs, natural alignment).
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

// A buffer's description for CreateSoundBuffer.
struct DSBUFFERDESC {
    LONG lFlags;
    LONG lBufferBytes;
    WAVEFORMATEX fxFormat;
    GUID guid3DAlgorithm;  // unused: no 3D processing
};

// A notification position: the event is signalled when the play cursor
// reaches lOffset (DSBPN_OFFSETSTOP: when the buffer stops).
struct DSBPOSITIONNOTIFY {
    LONG lOffset;
    LONG hEventNotify;
};

constexpr LONG DSSCL_NORMAL = 1;
constexpr LONG DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;
constexpr LONG DSBCAPS_GETCURRENTPOSITION2 = 0x10000;
constexpr LONG DSBPLAY_LOOPING = 1;
constexpr LONG DSBPN_OFFSETSTOP = -1;
