// Server plumbing: reference counting, module accounting and
// QueryInterface for the objects a module serves.
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include "com/dispatch.h"
#include "com/interfaces.h"
#include "com/module.h"

// The implementation object behind every interface a module hands out. A
// query for GUID_NULL answers with this root, uncounted, so the module can
// reach the internals of its own objects (dynamic_cast to the class).
class ObjectRoot {
  public:
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;

  protected:
    ObjectRoot() { ComModule::Instance().ObjectCreated(); }
    virtual ~ObjectRoot() { ComModule::Instance().ObjectDestroyed(); }

    ULONG AddRefImpl() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // QueryInterface around what the class answers for riid (null when it
    // has no such interface); GUID_NULL answers the root, uncounted.
    HRESULT QueryImpl(REFIID riid, void** ppv, void* found) {
        if (!ppv) return E_POINTER;
        if (riid == GUID_NULL) {
            *ppv = this;
            return S_OK;
        }
        *ppv = found;
        if (!found) return E_NOINTERFACE;
        AddRefImpl();
        return S_OK;
    }
    ULONG ReleaseImpl() {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

  private:
    std::atomic<ULONG> refs_{1};  // the creator's reference
};

// The implementation object behind a pointer from this module, or null.
template <class T>
T* GetImplementation(IUnknown* unknown) {
    if (!unknown) return nullptr;
    void* root = nullptr;
    if (FAILED(unknown->QueryInterface(GUID_NULL, &root)) || !root) return nullptr;
    return dynamic_cast<T*>(static_cast<ObjectRoot*>(root));
}

// Makes a new object with one reference, owned by the caller.
template <class T, class... A>
HRESULT CreateObject(T** out, A&&... args) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) T(std::forward<A>(args)...);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// An object with one interface and no IDispatch (record and type
// information, class objects).
template <class Derived, class Iface>
class SimpleObject : public ObjectRoot, public Iface {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        bool own = riid == IID_IUnknown || riid == IidOf<Iface>();
        return QueryImpl(riid, ppv, own ? static_cast<Iface*>(this) : nullptr);
    }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
};

// A class of an automation server: its dual interface Iface (derived from
// IDispatch), IDispatch driven by Derived::Interface() (the interface's
// table), and ISupportErrorInfo for its own interface.
template <class Derived, class Iface>
class DispatchObject : public ObjectRoot, public Iface, public ISupportErrorInfo {
  public:
    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        void* found = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IidOf<Iface>())
            found = static_cast<Iface*>(this);
        else if (riid == IID_ISupportErrorInfo)
            found = static_cast<ISupportErrorInfo*>(this);
        return QueryImpl(riid, ppv, found);
    }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        return CreateTypeInfo(Derived::Interface(), ppTInfo);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return DispatchGetIDsOfNames(Derived::Interface(), rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return DispatchInvoke(Derived::Interface(), static_cast<Iface*>(this), dispIdMember, wFlags,
                              pDispParams, pVarResult, pExcepInfo, puArgErr);
    }

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IidOf<Iface>() ? S_OK : S_FALSE;
    }
};

// An object of the program implementing one interface derived from
// IDispatch without type information: late-bound calls find no names.
template <class Derived, class Iface>
class VtableObject : public ObjectRoot, public Iface {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        bool own = riid == IID_IUnknown || riid == IID_IDispatch || riid == IidOf<Iface>();
        return QueryImpl(riid, ppv, own ? static_cast<Iface*>(this) : nullptr);
    }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }

    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
        for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};
