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

// What the last failed registry read of this thread said.
thread_local std::string lastRegistryError;

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

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void*, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(clsctx & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::string path;
    const HRESULT found = LookUp("CLSID\\" + GuidToString(clsid) + "\\InprocServer32", &path);
    if (FAILED(found)) return found;
    if (found == S_FALSE) return REGDB_E_CLASSNOTREG;
    DllGetClassObjectFn get = nullptr;
    HRESULT hr = LoadModule(path, &get);
    if (FAILED(hr)) return hr;
    return get(clsid, riid, ppv);
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
