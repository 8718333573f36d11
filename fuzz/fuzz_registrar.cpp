// A registration script of any bytes, run for registration and then for
// unregistration against a registry, which must still write out and parse.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "com/registrar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const ScriptReplacements replacements{{"MODULE", "/usr/lib/x \"odd\\\" name\n.so"}};
    Registry reg;
    std::string error;
    for (bool registering : {true, false}) {
        if (FAILED(RunRegistrarScript(script, replacements, registering, reg, &error))) return 0;
        Registry back;
        if (FAILED(Registry::Parse(reg.Serialize(), &back, &error))) {
            std::fprintf(stderr, "%s\n%s\n", error.c_str(), reg.Serialize().c_str());
            std::abort();
        }
    }
    return 0;
}
