// ovra-regsvr [-u] [-s] MODULE
//
// Registers an in-process server by calling its DllRegisterServer, or
// unregisters it with -u, in the registry file this user's programs read
// (OVRA_REGISTRY names another one).

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "com/activation.h"
#include "com/hresult.h"
#include "com/registry.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: ovra-regsvr [-u] [-s] MODULE\n"
                 "  registers the in-process server MODULE (a .so file)\n"
                 "  -u  unregister it instead\n"
                 "  -s  silent: print nothing on success\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false, silent = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0)
            unregister = true;
        else if (std::strcmp(argv[i], "-s") == 0)
            silent = true;
        else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
            return Usage(), 0;
        else if (argv[i][0] == '-' || module)
            return Usage();
        else
            module = argv[i];
    }
    if (!module) return Usage();

    // An absolute path, so the registry names the module wherever clients run.
    char full[PATH_MAX];
    if (!::realpath(module, full)) {
        std::fprintf(stderr, "ovra-regsvr: cannot find %s: %s\n", module, std::strerror(errno));
        return 1;
    }
    void* handle = ::dlopen(full, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "ovra-regsvr: cannot load %s: %s\n", full, ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "ovra-regsvr: %s does not export %s\n", full, entry);
        ::dlclose(handle);
        return 1;
    }
    HRESULT hr = fn();
    ::dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "ovra-regsvr: %s in %s failed: %s (%s)\n", entry, full,
                     HResultDescription(hr).c_str(), HResultHex(hr).c_str());
        return 1;
    }
    if (!silent)
        std::printf("%s %s in %s\n", unregister ? "Unregistered" : "Registered", full,
                    Registry::DefaultPath().c_str());
    return 0;
}
