#include "com/server.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>

#include "com/registrar.h"

namespace {

class ClassFactory final : public SimpleObject<ClassFactory, IClassFactory> {
  public:
    explicit ClassFactory(CreateFn create) : create_(create) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, ppv);
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock)
            ComModule::Instance().Lock();
        else
            ComModule::Instance().Unlock();
        return S_OK;
    }

  private:
    CreateFn create_;
};

std::string VersionKey(const TypeLibDesc& lib) {
    char v[32];
    std::snprintf(v, sizeof v, "%x.%x", lib.majorVersion, lib.minorVersion);
    return "TypeLib\\" + GuidToString(lib.libid) + "\\" + v;
}

HRESULT Apply(const ServerDesc& server, const void* address, bool registering) {
    std::string path = ModulePath(address);
    if (path.empty()) return E_UNEXPECTED;
    ScriptReplacements vars{{"MODULE", path}, {"APPID", GuidToString(server.appid)}};
    std::string error;
    HRESULT hr = UpdateRegistry(
        Registry::DefaultPath(),
        [&](Registry& reg) -> HRESULT {
            std::string why;
            if (server.appidScript &&
                FAILED(RunRegistrarScript(server.appidScript, vars, registering, reg, &why)))
                return SELFREG_E_CLASS;
            for (const ServedClass& c : server.classes)
                if (c.script && FAILED(RunRegistrarScript(c.script, vars, registering, reg, &why)))
                    return SELFREG_E_CLASS;
            if (server.typeLib) {
                if (registering)
                    RegisterTypeLib(reg, *server.typeLib, path);
                else
                    UnregisterTypeLib(reg, *server.typeLib);
            }
            return S_OK;
        },
        &error);
    if (FAILED(hr) && !error.empty()) std::fprintf(stderr, "registry: %s\n", error.c_str());
    return hr;
}

}  // namespace

HRESULT ServeClassObject(const ServerDesc& server, REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const ServedClass& c : server.classes) {
        if (c.coclass->clsid != clsid) continue;
        ClassFactory* factory = nullptr;
        HRESULT hr = CreateObject(&factory, c.create);
        if (FAILED(hr)) return hr;
        hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerCanUnloadNow() {
    return ComModule::Instance().CanUnload() ? S_OK : S_FALSE;
}

HRESULT ServerRegister(const ServerDesc& server, const void* address) {
    return Apply(server, address, true);
}

HRESULT ServerUnregister(const ServerDesc& server, const void* address) {
    return Apply(server, address, false);
}

std::string ModulePath(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    char full[PATH_MAX];
    if (::realpath(info.dli_fname, full)) return full;
    return info.dli_fname;
}

void RegisterTypeLib(Registry& reg, const TypeLibDesc& lib, const std::string& modulePath) {
    std::string key = VersionKey(lib);
    char lcid[16];
    std::snprintf(lcid, sizeof lcid, "%x", lib.lcid);
    reg.SetValue(key, "", lib.help ? lib.help : lib.name);
    reg.SetValue(key + "\\FLAGS", "", "0");
    reg.SetValue(key + "\\" + lcid + "\\linux64", "", modulePath);
    std::string dir = modulePath.substr(0, modulePath.find_last_of('/'));
    reg.SetValue(key + "\\HELPDIR", "", dir);
    char version[32];
    std::snprintf(version, sizeof version, "%u.%u", lib.majorVersion, lib.minorVersion);
    for (const InterfaceDesc* i : lib.interfaces) {
        std::string ikey = "Interface\\" + GuidToString(i->iid);
        reg.DeleteTree(ikey);
        reg.SetValue(ikey, "", i->name);
        // Calls across apartments go through the automation marshaler.
        reg.SetValue(ikey + "\\ProxyStubClsid32", "", "{00020424-0000-0000-C000-000000000046}");
        reg.SetValue(ikey + "\\TypeLib", "", GuidToString(lib.libid));
        reg.SetValue(ikey + "\\TypeLib", "Version", version);
    }
}

void UnregisterTypeLib(Registry& reg, const TypeLibDesc& lib) {
    reg.DeleteTree(VersionKey(lib));
    reg.DeleteKeyIfLeaf("TypeLib\\" + GuidToString(lib.libid));
    for (const InterfaceDesc* i : lib.interfaces)
        reg.DeleteTree("Interface\\" + GuidToString(i->iid));
}
