// Registrations whose module is gone: a class (CLSID\{...}\InprocServer32)
// or a type library version (TypeLib\{...}\VER\LCID\linux64) naming a file
// that no longer exists. Finding them reads; pruning removes each such key
// with everything below it, and the ProgIDs that lead to a removed class.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com/registry.h"

struct StaleRegistration {
    std::string key;     // the key that goes, below HKEY_CLASSES_ROOT
    std::string module;  // the missing file it names
};

// Whether a module path still names a file; the default asks the file
// system.
using ModuleExists = std::function<bool(const std::string& path)>;
bool ModuleFileExists(const std::string& path);

// The stale registrations of reg: all of them, or only those naming module
// when it is not empty.
std::vector<StaleRegistration> FindStaleRegistrations(
    const Registry& reg, const std::string& module = "",
    const ModuleExists& exists = ModuleFileExists);

// Removes what FindStaleRegistrations finds, and every ProgID whose CLSID
// value names a removed class; returns the keys removed, ProgIDs included.
std::vector<std::string> PruneRegistry(Registry& reg, const std::string& module = "",
                                       const ModuleExists& exists = ModuleFileExists);
