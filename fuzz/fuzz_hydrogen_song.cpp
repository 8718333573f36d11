// Another drum machine's song file of any bytes.
#include "exchange/hydrogen_song.h"
#include "support/app_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ParseHydrogenSong(std::string(reinterpret_cast<const char*>(data), size), "f.h2song");
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    return 0;
}
