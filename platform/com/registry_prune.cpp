#include "com/registry_prune.h"

#include <sys/stat.h>

#include <set>

#include "com/ascii_case.h"

bool ModuleFileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<StaleRegistration> FindStaleRegistrations(const Registry& reg,
                                                      const std::string& module,
                                                      const ModuleExists& exists) {
    std::vector<StaleRegistration> stale;
    const auto check = [&](const std::string& key, const std::string& valueKey) {
        std::string path;
        if (!reg.GetValue(valueKey, "", &path) || path.empty()) return;
        if (!module.empty() && path != module) return;
        if (!exists(path)) stale.push_back({key, path});
    };
    for (const std::string& clsid : reg.Subkeys("CLSID")) {
        const std::string key = "CLSID\\" + clsid;
        check(key, key + "\\InprocServer32");
    }
    for (const std::string& lib : reg.Subkeys("TypeLib"))
        for (const std::string& version : reg.Subkeys("TypeLib\\" + lib)) {
            const std::string key = "TypeLib\\" + lib + "\\" + version;
            for (const std::string& lcid : reg.Subkeys(key)) {
                if (EqualsIgnoringCase(lcid, "FLAGS") || EqualsIgnoringCase(lcid, "HELPDIR"))
                    continue;
                const std::size_t before = stale.size();
                check(key, key + "\\" + lcid + "\\linux64");
                if (stale.size() > before) break;  // one entry per version
            }
        }
    return stale;
}

std::vector<std::string> PruneRegistry(Registry& reg, const std::string& module,
                                       const ModuleExists& exists) {
    std::vector<std::string> removed;
    std::set<std::string> classes;  // the removed classes, lower case
    for (const StaleRegistration& s : FindStaleRegistrations(reg, module, exists)) {
        if (s.key.compare(0, 6, "CLSID\\") == 0) classes.insert(LowerAscii(s.key.substr(6)));
        reg.DeleteTree(s.key);
        removed.push_back(s.key);
    }
    if (classes.empty()) return removed;
    // The ProgIDs (and their version-independent names) that lead there.
    for (const std::string& name : reg.Subkeys("")) {
        std::string clsid;
        if (!reg.GetValue(name + "\\CLSID", "", &clsid) || !classes.count(LowerAscii(clsid)))
            continue;
        if (EqualsIgnoringCase(name, "CLSID")) continue;
        reg.DeleteTree(name);
        removed.push_back(name);
    }
    return removed;
}
