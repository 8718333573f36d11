// A drum-kit description of any bytes.
#include "import/drum_kit.h"
#include "support/app_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ParseDrumKit(std::string(reinterpret_cast<const char*>(data), size), "/kits/k", "k.xml");
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    return 0;
}
