// What the fuzz targets share: the entry object made in-process, and the
// input written to a file for the readers that take a path.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "audio/globals.h"
#include "com/comptr.h"
#include "com/server.h"

inline ComPtr<IOvraAudioGlobals> Globals() {
    ComPtr<IOvraAudioGlobals> g;
    CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, g.OutVoid());
    return g;
}

// The input as a file of this process's own.
inline std::string InputFile(const uint8_t* data, size_t size, const char* suffix) {
    std::string path = "/tmp/ovra-fuzz-" + std::to_string(::getpid()) + suffix;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Reads a reader to its end in blocks of varying size, touching what comes out.
inline void Drain(IWavReader* r, LONG firstBlock) {
    LONG block = firstBlock;
    for (int i = 0; i < 256; ++i) {
        VARIANT_BOOL eof = VARIANT_TRUE;
        r->get_EOF(&eof);
        if (eof) break;
        ComPtr<IWav> w;
        if (FAILED(r->Read(block, w.Out()))) break;
        SAFEARRAY* bytes = nullptr;
        if (SUCCEEDED(w->ToByteArray(&bytes))) SafeArrayDestroy(bytes);
        block = block * 3 % 5000 + 1;
    }
}
