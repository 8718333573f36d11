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
    if (globals) return globals.get();
    const HRESULT hr = CoCreateInstance(CLSID_OvraAudioGlobals, globals.Out());
    // A damaged registry is named, with where it is damaged and the way out.
    if (hr == REGDB_E_READREGDB)
        throw AppError(hr, HResultDescription(hr) + ": " + LastRegistryReadError() +
                               ". Run \"ovra-regsvr --repair\" and register the audio library "
                               "again to rebuild it.");
    // Registrations whose modules are gone are named, with the way out.
    if (FAILED(hr) && !LastActivationError().empty())
        throw AppError(hr, HResultDescription(hr) + ": " + LastActivationError() +
                               ". Run \"ovra-regsvr --prune\" to remove registrations of modules "
                               "that are gone, and register the audio library again.");
    Check(hr);
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
