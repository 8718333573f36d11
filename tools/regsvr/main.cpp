// ovra-regsvr [--system] [-u] [-s] MODULE
// ovra-regsvr [--system] --repair [MODULE...]
// ovra-regsvr [--system] --prune
// ovra-regsvr --help | --version
//
// Registers an in-process server by calling its DllRegisterServer, or
// unregisters it with -u, in the registry file this user's programs read
// (OVRA_REGISTRY names another one); a module that is gone is unregistered
// by removing what names it. --repair replaces a damaged registry file
// with an empty one, keeping the damaged file beside it, reports
// registrations of modules that are gone, and then registers the modules
// given. --prune removes registrations of modules that are gone. --system
// works on the machine-wide registry that every user's activation reads
// after their own.

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "com/activation.h"
#include "com/hresult.h"
#include "com/registry.h"
#include "com/registry_prune.h"

namespace {

const char kUsage[] =
    "usage: ovra-regsvr [--system] [-u] [-s] MODULE\n"
    "       ovra-regsvr [--system] --repair [MODULE...]\n"
    "       ovra-regsvr [--system] --prune\n"
    "       ovra-regsvr --help | --version\n"
    "  registers the in-process server MODULE (a .so file)\n"
    "  -u        unregister it instead (a module that is gone: remove what names it)\n"
    "  -s        silent: print nothing on success\n"
    "  --system  the machine-wide registry instead of the user's\n"
    "  --repair  start a damaged registry afresh (the damaged file is kept\n"
    "            as REGISTRY.damaged), report registrations of modules that are\n"
    "            gone, then register each MODULE\n"
    "  --prune   remove registrations of modules that are gone\n";

int Usage() {
    std::fprintf(stderr, "%sTry 'ovra-regsvr --help' for more information.\n", kUsage);
    return 2;
}

// Help and version go to standard output; a write that fails is said.
int Print(const char* text) {
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "ovra-regsvr: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

// The absolute path of a module named on the command line.
bool FullPath(const char* module, std::string* full) {
    *full = module;
    if (!full->empty() && (*full)[0] == '/') return true;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) {
        std::fprintf(stderr, "ovra-regsvr: cannot find %s: %s\n", module, std::strerror(errno));
        return false;
    }
    *full = std::string(cwd) + "/" + *full;
    return true;
}

// Removes the registrations of modules that are gone (only those of module
// when it is given) from the registry this run works on; 0 on success.
int Prune(const std::string& module, bool silent) {
    const std::string path = Registry::DefaultPath();
    std::vector<std::string> removed;
    std::string error;
    const HRESULT hr = UpdateRegistry(
        path,
        [&](Registry& reg) {
            removed = PruneRegistry(reg, module);
            return S_OK;
        },
        &error);
    if (FAILED(hr)) {
        std::fprintf(stderr, "ovra-regsvr: cannot prune %s: %s\n", path.c_str(),
                     error.empty() ? HResultDescription(hr).c_str() : error.c_str());
        return 1;
    }
    if (!module.empty() && removed.empty()) {
        std::fprintf(stderr, "ovra-regsvr: cannot find %s, and %s registers nothing in it\n",
                     module.c_str(), path.c_str());
        return 1;
    }
    if (silent) return 0;
    if (removed.empty()) std::printf("%s registers no module that is gone\n", path.c_str());
    for (const std::string& key : removed)
        std::printf("Removed %s from %s\n", key.c_str(), path.c_str());
    return 0;
}

// Calls the module's registration entry; 0 on success, else 1 with a message.
int Register(const char* module, bool unregister, bool silent) {
    // An absolute path, so the registry names the module wherever clients
    // run; links are kept, so a library is registered by its soname and
    // survives an upgrade of the file the name leads to.
    std::string full;
    if (!FullPath(module, &full)) return 1;
    if (::access(full.c_str(), R_OK) != 0) {
        // A module that is gone cannot unregister itself: what names it goes.
        if (unregister && errno == ENOENT) return Prune(full, silent);
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
    // What reads may still name modules that are gone: said, not removed.
    Registry reg;
    if (SUCCEEDED(ReadRegistry(path, &reg, &error))) {
        const std::vector<StaleRegistration> stale = FindStaleRegistrations(reg);
        for (const StaleRegistration& s : stale)
            std::printf("%s names %s, which is gone\n", s.key.c_str(), s.module.c_str());
        if (!stale.empty())
            std::printf("\"ovra-regsvr --prune\" removes %s\n", stale.size() == 1 ? "it" : "them");
    }
    int status = 0;
    for (int i = 0; i < count; ++i) status |= Register(modules[i], false, false);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")))
        return Print(kUsage);
    if (argc == 2 && !std::strcmp(argv[1], "--version"))
        return Print("ovra-regsvr " OVRA_VERSION "\n");
    if (argc >= 2 && std::strcmp(argv[1], "--system") == 0) {
        // The module's registration writes where OVRA_REGISTRY points.
        ::setenv("OVRA_REGISTRY", Registry::SystemPath().c_str(), 1);
        --argc;
        ++argv;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--repair") == 0) return Repair(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "--prune") == 0) {
        if (argc > 2) return Usage();
        return Prune("", false);
    }
    bool unregister = false, silent = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0)
            unregister = true;
        else if (std::strcmp(argv[i], "-s") == 0)
            silent = true;
        else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
            return Print(kUsage);
        else if (argv[i][0] == '-' || module) {
            std::fprintf(stderr, "ovra-regsvr: unexpected argument '%s'\n", argv[i]);
            return Usage();
        } else
            module = argv[i];
    }
    if (!module) return Usage();
    return Register(module, unregister, silent);
}
