// Records of the DirectX 8 sound API as its automation type library lays
// them out (16-bit integers, 32-bit longs, natural alignment). The format
// record itself is the runtime's (com/wave_format.h): the audio library's
// interface uses it too.
#pragma once

#include <cstddef>

#include "com/guid.h"
#include "com/types.h"
#include "com/wave_format.h"

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
