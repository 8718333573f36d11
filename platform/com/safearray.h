// Automation arrays with the Windows descriptor layout. The runtime makes
// one-dimensional vectors; the descriptor is preceded by a hidden 16-byte
// block holding the element type and, for arrays of records, the record's
// IRecordInfo, as on Windows.
#pragma once

#include <utility>

#include "com/hresult.h"
#include "com/types.h"

struct IRecordInfo;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

constexpr USHORT FADF_AUTO = 0x1;
constexpr USHORT FADF_STATIC = 0x2;
constexpr USHORT FADF_EMBEDDED = 0x4;
constexpr USHORT FADF_FIXEDSIZE = 0x10;
constexpr USHORT FADF_RECORD = 0x20;
constexpr USHORT FADF_HAVEIID = 0x40;
constexpr USHORT FADF_HAVEVARTYPE = 0x80;
constexpr USHORT FADF_BSTR = 0x100;
constexpr USHORT FADF_UNKNOWN = 0x200;
constexpr USHORT FADF_DISPATCH = 0x400;
constexpr USHORT FADF_VARIANT = 0x800;

// As SafeArrayCreateVector for plain element types (numbers, BOOL), but the
// data is left uninitialised: for callers that write every element at once.
SAFEARRAY* SafeArrayCreateVectorUninit(VARTYPE vt, LONG lLbound, ULONG cElements);
// A vector of cElements elements of type vt, zero-filled; null when vt is not
// an element type, is VT_RECORD (use the Ex form) or memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// As above; for VT_RECORD, extra is the element's IRecordInfo (referenced).
SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, void* extra);
// Frees the elements (strings, references, records) and the array itself.
// Fails with DISP_E_ARRAYISLOCKED while the array is locked.
extern "C" HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
extern "C" HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
extern "C" HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
extern "C" HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
extern "C" HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
extern "C" UINT SafeArrayGetDim(SAFEARRAY* psa);
extern "C" UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo);
// A deep copy: strings duplicated, references added, records copied.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Element access by index (one index for a vector), copying in and out.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Bytes per element of an array of vt; 0 when vt cannot be an element type.
ULONG SafeArrayElementSize(VARTYPE vt);

// Owns one array and destroys it when it goes, as Bstr and Variant own
// theirs: arrays handed out by a callee belong to the caller.
class SafeArrayPtr {
  public:
    SafeArrayPtr() = default;
    // Takes ownership of a.
    explicit SafeArrayPtr(SAFEARRAY* a) : a_(a) {}
    SafeArrayPtr(const SafeArrayPtr&) = delete;
    SafeArrayPtr& operator=(const SafeArrayPtr&) = delete;
    SafeArrayPtr(SafeArrayPtr&& o) noexcept : a_(std::exchange(o.a_, nullptr)) {}
    SafeArrayPtr& operator=(SafeArrayPtr&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.a_, nullptr));
        return *this;
    }
    ~SafeArrayPtr() { SafeArrayDestroy(a_); }

    SAFEARRAY* get() const { return a_; }
    explicit operator bool() const { return a_ != nullptr; }
    // For out-parameters: destroys what is held and hands out the slot.
    SAFEARRAY** Out() {
        Reset();
        return &a_;
    }
    SAFEARRAY* Detach() { return std::exchange(a_, nullptr); }
    void Reset(SAFEARRAY* a = nullptr) { SafeArrayDestroy(std::exchange(a_, a)); }

    // The vector's elements: how many, and the first of them as T.
    ULONG Count() const { return a_ ? a_->rgsabound[0].cElements : 0; }
    template <class T>
    T* Data() const {
        return a_ ? static_cast<T*>(a_->pvData) : nullptr;
    }
    unsigned char* Bytes() const { return Data<unsigned char>(); }

  private:
    SAFEARRAY* a_ = nullptr;
};
