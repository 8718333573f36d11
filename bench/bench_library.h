// The audio library as the benchmarks use it: created in-process once and
// made the program's library, and noise to render with.
#pragma once

#include <vector>

#include "audio/globals.h"
#include "com/server.h"
#include "support/audio_library.h"
#include "support/wav_values.h"

inline IOvraAudioGlobals* Library() {
    static ComPtr<IOvraAudioGlobals> g = [] {
        ComPtr<IOvraAudioGlobals> made;
        CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, made.OutVoid());
        UseAudioLibrary(made.get());
        return made;
    }();
    return g.get();
}

// frames of stereo noise, -amplitude to amplitude, the same for the same seed.
inline ComPtr<IWav> SeededNoise(LONG frames, unsigned seed, unsigned amplitude = 12000) {
    ComPtr<IWav> w;
    Library()->MakeWav(frames, 2, 44100, 2, w.Out());
    std::vector<AudioSample> v(std::size_t(frames) * 2);
    for (AudioSample& x : v) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<AudioSample>(int((seed >> 16) % (2 * amplitude)) - int(amplitude));
    }
    WriteWavValues(w.get(), v);
    return w;
}
