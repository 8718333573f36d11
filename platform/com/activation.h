// Activation of in-process servers: the class identifier is looked up in
// the per-user registry and then the machine-wide one
// (CLSID\{...}\InprocServer32), the module is loaded once with
// dlopen, and its DllGetClassObject hands out the class object. A
// registration whose module is missing or does not load is passed over
// for the next registry's.
//
// The functions C clients call here, and those of strings, arrays and
// variants, have C linkage: OvraAudio_c.h declares them for C.
#pragma once

#include <string>

#include "com/interfaces.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;

// The exports of an in-process server.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* reserved, REFIID riid, void** ppv);
extern "C" HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                                    void** ppv);
// When an activation failed with REGDB_E_READREGDB on this thread, what was
// wrong with the registry: its file, the line and why.
std::string LastRegistryReadError();
// When an activation failed on this thread with a class registered but no
// registered module loading: each registration passed over (the registry
// file, the class, the module and what is wrong with it).
std::string LastActivationError();

// The class of a ProgID, following CurVer to the current version.
extern "C" HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// The braced text form to a CLSID.
extern "C" HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// Unloads every loaded server module whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// How many server modules are loaded now (for diagnostics and tests).
int CoLoadedModuleCount();

template <class T>
HRESULT CoCreateInstance(REFCLSID clsid, T** out) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IidOf<T>(),
                            reinterpret_cast<void**>(out));
}
