// A WAV file of any bytes through the file reader.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ComPtr<IOvraAudioGlobals> globals = Globals();
    std::string path = InputFile(data, size, ".wav");
    ComPtr<IWavFile> file;
    if (FAILED(globals->WavFile(Bstr(path).get(), file.Out()))) return 0;
    ComPtr<IWavReader> r;
    if (SUCCEEDED(file->OpenReader(r.Out()))) {
        // Peaks are as many as the header announces; keep the arrays small.
        LONG frames = 0;
        r->get_NumSamples(&frames);
        SAFEARRAY* peaks = nullptr;
        if (frames < (1 << 20) && SUCCEEDED(r->Peaks(3, &peaks))) SafeArrayDestroy(peaks);
        r->Skip(-1);
        Drain(r.get(), 11);
    }
    if (SUCCEEDED(file->OpenReader(r.Out()))) Drain(r.get(), -1);
    return 0;
}
