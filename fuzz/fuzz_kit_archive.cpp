// A drum-kit archive of any bytes, unpacked from a file of its own.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "import/drum_kit.h"
#include "import/kit_archive.h"
#include "support/app_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz-kit-" + std::to_string(::getpid()) + ".h2drumkit";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        const auto kit = KitArchive::Unpack(path);
        ReadDrumKit(kit->Description());
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    std::remove(path.c_str());
    return 0;
}
