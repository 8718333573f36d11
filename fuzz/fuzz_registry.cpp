// A registry file of any bytes: parsed, and what parses is written out and
// must parse back to the same text.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "com/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Registry reg;
    std::string error;
    if (FAILED(Registry::Parse(text, &reg, &error))) return 0;
    const std::string once = reg.Serialize();
    Registry again;
    if (FAILED(Registry::Parse(once, &again, &error)) || again.Serialize() != once) {
        std::fprintf(stderr, "%s\n%s\n", error.c_str(), once.c_str());
        std::abort();
    }
    return 0;
}
