#include "audio_library.h"

#include "app_error.h"
#include "com/activation.h"
#include "com/comptr.h"

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
