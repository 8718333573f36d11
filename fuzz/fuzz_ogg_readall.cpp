// An Ogg Vorbis file of any bytes decoded whole by ReadAll.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ComPtr<IOvraAudioGlobals> globals = Globals();
    std::string path = InputFile(data, size, ".ogg");
    ComPtr<IOggVorbisFile> file;
    if (FAILED(globals->OggVorbisFile(Bstr(path).get(), file.Out()))) return 0;
    ComPtr<IWav> w;
    if (SUCCEEDED(file->ReadAll(w.Out()))) {
        SAFEARRAY* bytes = nullptr;
        if (SUCCEEDED(w->ToByteArray(&bytes))) SafeArrayDestroy(bytes);
    }
    return 0;
}
