#include "support/audio_library.h"

#include <fstream>

#include "com/activation.h"
#include "com/bstr.h"
#include "com/comptr.h"
#include "support/app_error.h"

namespace {
ComPtr<IOvraAudioGlobals>& Globals() {
    static ComPtr<IOvraAudioGlobals> globals;
    return globals;
}
}  // namespace

IOvraAudioGlobals* AudioLibrary() {
    ComPtr<IOvraAudioGlobals>& globals = Globals();
    if (!globals) Check(CoCreateInstance(CLSID_OvraAudioGlobals, globals.Out()));
    return globals.get();
}

void UseAudioLibrary(IOvraAudioGlobals* library) {
    Globals() = ComPtr<IOvraAudioGlobals>(library);
}

ComPtr<IWavFile> OpenWavFile(const std::string& path) {
    if (!std::ifstream(path)) ThrowError(kErrFileNotFound, "File not found: " + path);
    ComPtr<IWavFile> file;
    Check(AudioLibrary()->WavFile(Bstr(path).get(), file.Out()));
    return file;
}
