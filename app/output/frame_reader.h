// A reader that can copy its next frames straight into memory the caller
// gives (the device's ring), instead of handing out a new block: the
// streaming output fills a half with one copy from such a reader. A
// program-side interface: plain pointers, never marshalled.
#pragma once

#include "OvraAudio.h"

struct IFrameReader : IUnknown {
    static constexpr IID iid = MakeGuid("{10202CBE-1696-46A0-B0F3-31EA992D3A52}");
    // Copies up to NumSamplesToRead frames, the next ones of the reader,
    // into Values (room for that many frames of every channel) and moves
    // on past them; *NumSamplesRead says how many (0 at the end).
    virtual HRESULT ReadInto(LONG NumSamplesToRead, AudioSample* Values, LONG* NumSamplesRead) = 0;
};
