// What an in-process server module needs for its four exports: class
// objects, the unload check, and registration of its classes and type
// library from its scripts.
#pragma once

#include <string>
#include <vector>

#include "com/object.h"
#include "com/registry.h"
#include "com/typelib.h"

// Marks the exports of a server module; everything else stays hidden.
#define OVRA_EXPORT extern "C" __attribute__((visibility("default")))

// The four entry points of a server module, served from SERVER(), a
// function returning its ServerDesc.
#define OVRA_SERVER_EXPORTS(SERVER)                                                           \
    OVRA_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {          \
        return ServeClassObject(SERVER(), clsid, riid, ppv);                                  \
    }                                                                                         \
    OVRA_EXPORT HRESULT DllCanUnloadNow() {                                                   \
        return ServerCanUnloadNow();                                                          \
    }                                                                                         \
    OVRA_EXPORT HRESULT DllRegisterServer() {                                                 \
        return ServerRegister(SERVER(), reinterpret_cast<const void*>(&DllRegisterServer));   \
    }                                                                                         \
    OVRA_EXPORT HRESULT DllUnregisterServer() {                                               \
        return ServerUnregister(SERVER(), reinterpret_cast<const void*>(&DllRegisterServer)); \
    }

using CreateFn = HRESULT (*)(REFIID riid, void** ppv);

struct ServedClass {
    const CoclassDesc* coclass;
    CreateFn create;
    const char* script;  // registrar script, with %MODULE% and %APPID%
};

struct ServerDesc {
    const TypeLibDesc* typeLib;
    GUID appid;
    const char* appidScript;  // may be null
    std::vector<ServedClass> classes;
};

// Makes a T and hands out the interface riid of it.
template <class T>
HRESULT CreateInstanceOf(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* object = nullptr;
    HRESULT hr = CreateObject(&object);
    if (FAILED(hr)) return hr;
    hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// DllGetClassObject: a class object for one of the served classes, or
// CLASS_E_CLASSNOTAVAILABLE.
HRESULT ServeClassObject(const ServerDesc& server, REFCLSID clsid, REFIID riid, void** ppv);
// DllCanUnloadNow: S_OK when no object of the module lives and no lock is held.
HRESULT ServerCanUnloadNow();
// DllRegisterServer / DllUnregisterServer for the module containing address.
HRESULT ServerRegister(const ServerDesc& server, const void* address);
HRESULT ServerUnregister(const ServerDesc& server, const void* address);

// The full path of the module containing address.
std::string ModulePath(const void* address);

// The keys describing a type library and its interfaces.
void RegisterTypeLib(Registry& reg, const TypeLibDesc& lib, const std::string& modulePath);
void UnregisterTypeLib(Registry& reg, const TypeLibDesc& lib);
