// ovra-regsvr [--system] [-u] [-s] MODULE
// ovra-regsvr [--system] --repair [MODULE...]
//
// Registers an in-process server by calling its DllRegisterServer, or
// unregisters it with -u, in the registry file this user's programs read
// (OVRA_REGISTRY names another one). --repair replaces a damaged registry
// file with an empty one, keeping the damaged file beside it, and then
// registers the modules given. --system works on the machine-wide registry
// that every user's activation reads after their own.

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "com/activation.h"
#include "com/hresult.h"
#include "com/registry.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: ovra-regsvr [--system] [-u] [-s] MODULE\n"
                 "       ovra-regsvr [--system] --repair [MODULE...]\n"
                 "  registers the in-process server MODULE (a .so file)\n"
                 "  -u        unregister it instead\n"
                 "  -s        silent: print nothing on success\n"
                 "  --system  the machine-wide registry instead of the user's\n"
                 "  --repair  start a damaged registry afresh (the damaged file is kept\n"
                 "            as REGISTRY.damaged), then register each MODULE\n");
    return 2;
}

// Calls the module's registration entry; 0 on success, else 1 with a message.
int Register(const char* module, bool unregister, bool silent) {
    // An absolute path, so the registry names the module wherever clients
    // run; links are kept, so a library is registered by its soname and
    // survives an upgrade of the file the name leads to.
    std::string full = module;
    if (full.empty() || full[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) {
            std::fprintf(stderr, "ovra-regsvr: cannot find %s: %s\n", module, std::strerror(errno));
            return 1;
        }
        full = std::string(cwd) + "/" + full;
    }
    if (::access(full.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "ovra-regsvr: cannot find %s: %s\n", module, std::strerror(errno));
        return 1;
    }
    struct Unload {
        void operator()(void* h) const { ::dlclose(h); }
    };
    const std::unique_ptr<void, Unload> handle(::dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle) {
        std::fprintf(stderr, "ovra-regsvr: cannot load %s: %s\n", full.c_str(), ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle.get(), entry));
    if (!fn) {
        std::fprintf(stderr, "ovra-regsvr: %s does not export %s\n", full.c_str(), entry);
        return 1;
    }
    const HRESULT hr = fn();
    if (FAILED(hr)) {
        std::fprintf(stderr, "ovra-regsvr: %s in %s failed: %s (%s)\n", entry, full.c_str(),
                     HResultDescription(hr).c_str(), HResultHex(hr).c_str());
        if (hr == REGDB_E_READREGDB)
            std::fprintf(stderr,
                         "ovra-regsvr: \"ovra-regsvr --repair %s\" starts the registry "
                         "afresh and registers the module again\n",
                         module);
        return 1;
    }
    if (!silent)
        std::printf("%s %s in %s\n", unregister ? "Unregistered" : "Registered", full.c_str(),
                    Registry::DefaultPath().c_str());
    return 0;
}

int Repair(int count, char** modules) {
    const std::string path = Registry::DefaultPath();
    std::string keptAs, error;
    if (FAILED(RepairRegistry(path, &keptAs, &error))) {
        std::fprintf(stderr, "ovra-regsvr: cannot repair %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    if (keptAs.empty())
        std::printf("%s reads as it is; nothing to repair\n", path.c_str());
    else
        std::printf("%s was damaged: kept as %s, and started afresh\n", path.c_str(),
                    keptAs.c_str());
    int status = 0;
    for (int i = 0; i < count; ++i) status |= Register(modules[i], false, false);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--system") == 0) {
        // The module's registration writes where OVRA_REGISTRY points.
        ::setenv("OVRA_REGISTRY", Registry::SystemPath().c_str(), 1);
        --argc;
        ++argv;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--repair") == 0) return Repair(argc - 2, argv + 2);
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
    return Register(module, unregister, silent);
}
