#include "audio_library.h"

#include "app_error.h"
#include "com/activation.h"
#include "com/comptr.h"

IOvraAudioGlobals* AudioLibrary() {
    static ComPtr<IOvraAudioGlobals> globals;
    if (!globals) Check(CoCreateInstance(CLSID_OvraAudioGlobals, globals.Out()));
    return globals.get();
}
