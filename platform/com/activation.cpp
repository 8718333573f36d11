#include "com/activation.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "com/registry.h"

namespace {

struct LoadedModule {
    void* handle;
    DllGetClassObjectFn getClassObject;
    DllCanUnloadNowFn canUnloadNow;
};

// The server modules this process has loaded, by path.
struct ModuleTable {
    std::mutex mutex;
    std::map<std::string, LoadedModule> modules;
};

ModuleTable& Modules() {
    static ModuleTable table;
    return table;
}

HRESULT LoadModule(const std::string& path, DllGetClassObjectFn* fn) {
    ModuleTable& t = Modules();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.modules.find(path);
    if (it == t.modules.end()) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return CO_E_DLLNOTFOUND;
        void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) return CO_E_ERRORINDLL;
        auto get = reinterpret_cast<DllGetClassObjectFn>(::dlsym(h, "DllGetClassObject"));
        auto can = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(h, "DllCanUnloadNow"));
        if (!get) {
            ::dlclose(h);
            return CO_E_ERRORINDLL;
        }
        it = t.modules.emplace(path, LoadedModule{h, get, can}).first;
    }
    *fn = it->second.getClassObject;
    return S_OK;
}

// What the last failed registry read of this thread said, and the
// registrations its last activation passed over.
thread_local std::string lastRegistryError;
thread_local std::string lastActivationError;

HRESULT ReadRegistryAt(const std::string& path, Registry* reg) {
    std::string error;
    if (SUCCEEDED(ReadRegistry(path, reg, &error))) return S_OK;
    lastRegistryError = error;
    return REGDB_E_READREGDB;
}

// A value looked up the way classes are: the per-user registry first, then
// the machine-wide one, so that a user's registration overrides the
// machine's. S_FALSE when neither holds it.
HRESULT LookUp(const std::string& key, std::string* value) {
    for (const std::string& path : {Registry::DefaultPath(), Registry::SystemPath()}) {
        Registry reg;
        if (FAILED(ReadRegistryAt(path, &reg))) return REGDB_E_READREGDB;
        if (reg.GetValue(key, "", value) && !value->empty()) return S_OK;
    }
    return S_FALSE;
}

}  // namespace

std::string LastRegistryReadError() {
    return lastRegistryError;
}

std::string LastActivationError() {
    return lastActivationError;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(clsctx & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    lastActivationError.clear();
    // The user's registration first, then the machine's. A registration
    // whose module is gone (a build folder cleaned, a copy deleted) is
    // passed over for the next one; it is named only when none works.
    const std::string key = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
    HRESULT failed = REGDB_E_CLASSNOTREG;
    std::string skipped;
    for (const std::string& registry : {Registry::DefaultPath(), Registry::SystemPath()}) {
        Registry reg;
        if (FAILED(ReadRegistryAt(registry, &reg))) return REGDB_E_READREGDB;
        std::string path;
        if (!reg.GetValue(key, "", &path) || path.empty()) continue;
        DllGetClassObjectFn get = nullptr;
        const HRESULT hr = LoadModule(path, &get);
        if (SUCCEEDED(hr)) return get(clsid, riid, ppv);
        if (failed == REGDB_E_CLASSNOTREG) failed = hr;
        skipped += std::string(skipped.empty() ? "" : "; ") + registry + " registers class " +
                   GuidToString(clsid) + " in " + path +
                   (hr == CO_E_DLLNOTFOUND ? ", which does not exist" : ", which does not load");
    }
    lastActivationError = skipped;
    return failed;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    return hr;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!text || !clsid) return E_INVALIDARG;
    auto g = GuidFromString(Utf8FromOle(text));
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    *clsid = GUID_NULL;
    std::string name = Utf8FromOle(progId);
    if (name.empty() || name.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    // Follow CurVer to the current version; a loop of CurVer keys stops.
    for (int hops = 0; hops < 8; ++hops) {
        std::string next;
        const HRESULT hr = LookUp(name + "\\CurVer", &next);
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE || next == name || next.find('\\') != std::string::npos) break;
        name = next;
    }
    std::string text;
    const HRESULT hr = LookUp(name + "\\CLSID", &text);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return CO_E_CLASSSTRING;
    auto g = GuidFromString(text);
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

void CoFreeUnusedLibraries() {
    ModuleTable& t = Modules();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (auto it = t.modules.begin(); it != t.modules.end();) {
        if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
            ::dlclose(it->second.handle);
            it = t.modules.erase(it);
        } else {
            ++it;
        }
    }
}

int CoLoadedModuleCount() {
    ModuleTable& t = Modules();
    std::lock_guard<std::mutex> lock(t.mutex);
    return static_cast<int>(t.modules.size());
}
