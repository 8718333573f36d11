// An Ogg Vorbis file of any bytes through the incremental reader.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ComPtr<IOvraAudioGlobals> globals = Globals();
    std::string path = InputFile(data, size, ".ogg");
    ComPtr<IOggVorbisFile> file;
    if (FAILED(globals->OggVorbisFile(Bstr(path).get(), file.Out()))) return 0;
    ComPtr<IWavReader> r;
    if (SUCCEEDED(file->OpenReader(r.Out()))) Drain(r.get(), 1000);
    return 0;
}
