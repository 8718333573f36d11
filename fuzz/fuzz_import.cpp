// An audio file of any bytes imported as a sample: decoded, resampled and
// mixed to the song's format.
#include "fuzz_support.h"
#include "import/audio_import.h"
#include "support/app_error.h"
#include "support/audio_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (UseAudioLibrary(Globals().get()), true);
    (void)ready;
    const std::string path = InputFile(data, size, ".snd");
    try {
        ImportAudioFile(path);
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    return 0;
}
