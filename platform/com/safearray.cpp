#include "com/safearray.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "com/interfaces.h"
#include "com/variant.h"

namespace {

// The hidden block before the descriptor: the record info of an array of
// records in the first pointer, the element type in the last 4 bytes.
constexpr std::size_t kHidden = 16;

IRecordInfo*& RecordInfoSlot(SAFEARRAY* psa) {
    return *reinterpret_cast<IRecordInfo**>(reinterpret_cast<unsigned char*>(psa) - kHidden);
}

DWORD& VartypeSlot(SAFEARRAY* psa) {
    return *reinterpret_cast<DWORD*>(reinterpret_cast<unsigned char*>(psa) - sizeof(DWORD));
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return FADF_HAVEVARTYPE | FADF_BSTR;
        case VT_UNKNOWN:
            return FADF_HAVEVARTYPE | FADF_UNKNOWN;
        case VT_DISPATCH:
            return FADF_HAVEVARTYPE | FADF_DISPATCH;
        case VT_VARIANT:
            return FADF_HAVEVARTYPE | FADF_VARIANT;
        case VT_RECORD:
            return FADF_RECORD;
        default:
            return FADF_HAVEVARTYPE;
    }
}

unsigned char* ElementAt(SAFEARRAY* psa, ULONG i) {
    return static_cast<unsigned char*>(psa->pvData) + std::size_t{i} * psa->cbElements;
}

VARTYPE VartypeOf(SAFEARRAY* psa) {
    return (psa->fFeatures & FADF_RECORD) ? VARTYPE{VT_RECORD}
                                          : static_cast<VARTYPE>(VartypeSlot(psa));
}

// Releases what element i owns and zeroes it.
void ClearElement(SAFEARRAY* psa, VARTYPE vt, ULONG i) {
    unsigned char* p = ElementAt(psa, i);
    switch (vt) {
        case VT_BSTR:
            SysFreeString(*reinterpret_cast<BSTR*>(p));
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (auto* u = *reinterpret_cast<IUnknown**>(p)) u->Release();
            break;
        case VT_VARIANT:
            VariantClear(reinterpret_cast<VARIANT*>(p));
            break;
        case VT_RECORD:
            if (IRecordInfo* ri = RecordInfoSlot(psa)) ri->RecordClear(p);
            break;
        default:
            return;
    }
    std::memset(p, 0, psa->cbElements);
}

// Copies one element from src into the zeroed element of dst.
HRESULT CopyElement(SAFEARRAY* src, SAFEARRAY* dst, VARTYPE vt, ULONG i) {
    unsigned char* from = ElementAt(src, i);
    unsigned char* to = ElementAt(dst, i);
    switch (vt) {
        case VT_BSTR: {
            BSTR s = *reinterpret_cast<BSTR*>(from);
            if (s) {
                BSTR c =
                    SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
                if (!c) return E_OUTOFMEMORY;
                *reinterpret_cast<BSTR*>(to) = c;
            }
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* u = *reinterpret_cast<IUnknown**>(from);
            if (u) u->AddRef();
            *reinterpret_cast<IUnknown**>(to) = u;
            return S_OK;
        }
        case VT_VARIANT:
            return VariantCopy(reinterpret_cast<VARIANT*>(to), reinterpret_cast<VARIANT*>(from));
        case VT_RECORD:
            return RecordInfoSlot(src)->RecordCopy(from, to);
        default:
            std::memcpy(to, from, src->cbElements);
            return S_OK;
    }
}

}  // namespace

ULONG SafeArrayElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return 4;
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_I8:
        case VT_UI8:
            return 8;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

namespace {
SAFEARRAY* CreateVector(VARTYPE vt, LONG lLbound, ULONG cElements, IRecordInfo* ri, bool zeroed);
}

SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, void* extra) {
    return CreateVector(vt, lLbound, cElements, static_cast<IRecordInfo*>(extra), true);
}

SAFEARRAY* SafeArrayCreateVectorUninit(VARTYPE vt, LONG lLbound, ULONG cElements) {
    bool plain = vt != VT_BSTR && vt != VT_UNKNOWN && vt != VT_DISPATCH && vt != VT_VARIANT &&
                 vt != VT_RECORD;
    return plain ? CreateVector(vt, lLbound, cElements, nullptr, false) : nullptr;
}

namespace {
SAFEARRAY* CreateVector(VARTYPE vt, LONG lLbound, ULONG cElements, IRecordInfo* ri, bool zeroed) {
    ULONG size = 0;
    if (vt == VT_RECORD) {
        if (!ri || FAILED(ri->GetSize(&size)) || size == 0) return nullptr;
    } else {
        size = SafeArrayElementSize(vt);
        if (size == 0) return nullptr;
    }
    // The byte size of the data must fit the 32-bit sizes clients compute.
    if (std::uint64_t{cElements} * size > std::numeric_limits<LONG>::max()) return nullptr;
    std::size_t bytes = std::size_t{cElements} * size;

    auto* block = static_cast<unsigned char*>(std::calloc(1, kHidden + sizeof(SAFEARRAY)));
    if (!block) return nullptr;
    // Never a null data pointer, even for an empty vector.
    void* data = zeroed ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (!data) {
        std::free(block);
        return nullptr;
    }
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHidden);
    psa->cDims = 1;
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->pvData = data;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    VartypeSlot(psa) = vt;
    if (vt == VT_RECORD && ri) {
        ri->AddRef();
        RecordInfoSlot(psa) = ri;
    }
    return psa;
}
}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    if (vt == VT_RECORD) return nullptr;
    return SafeArrayCreateVectorEx(vt, lLbound, cElements, nullptr);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    VARTYPE vt = VartypeOf(psa);
    // Only elements that own something need clearing.
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_VARIANT ||
        vt == VT_RECORD)
        for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) ClearElement(psa, vt, i);
    std::free(psa->pvData);
    if (IRecordInfo* ri = RecordInfoSlot(psa)) ri->Release();
    std::free(reinterpret_cast<unsigned char*>(psa) - kHidden);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plUbound = static_cast<LONG>(psa->rgsabound[0].lLbound +
                                  static_cast<LONGLONG>(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    *pvt = VartypeOf(psa);
    return S_OK;
}

HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo) {
    if (!psa || !prinfo) return E_INVALIDARG;
    *prinfo = nullptr;
    if (!(psa->fFeatures & FADF_RECORD)) return E_INVALIDARG;
    *prinfo = RecordInfoSlot(psa);
    if (*prinfo) (*prinfo)->AddRef();
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    if (psa->cDims != 1) return E_INVALIDARG;
    VARTYPE vt = VartypeOf(psa);
    SAFEARRAY* copy = SafeArrayCreateVectorEx(vt, psa->rgsabound[0].lLbound,
                                              psa->rgsabound[0].cElements, RecordInfoSlot(psa));
    if (!copy) return E_OUTOFMEMORY;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        HRESULT hr = CopyElement(psa, copy, vt, i);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

namespace {
HRESULT IndexOf(SAFEARRAY* psa, LONG* rgIndices, ULONG* index) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    if (psa->cDims != 1) return E_INVALIDARG;
    LONGLONG i = LONGLONG{rgIndices[0]} - psa->rgsabound[0].lLbound;
    if (i < 0 || i >= psa->rgsabound[0].cElements) return DISP_E_BADINDEX;
    *index = static_cast<ULONG>(i);
    return S_OK;
}
}  // namespace

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    ULONG i;
    HRESULT hr = IndexOf(psa, rgIndices, &i);
    if (FAILED(hr)) return hr;
    if (!pv) return E_INVALIDARG;
    VARTYPE vt = VartypeOf(psa);
    unsigned char* p = ElementAt(psa, i);
    switch (vt) {
        case VT_BSTR: {
            BSTR s = *reinterpret_cast<BSTR*>(p);
            BSTR c =
                s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s))
                  : nullptr;
            if (s && !c) return E_OUTOFMEMORY;
            *static_cast<BSTR*>(pv) = c;
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* u = *reinterpret_cast<IUnknown**>(p);
            if (u) u->AddRef();
            *static_cast<IUnknown**>(pv) = u;
            return S_OK;
        }
        case VT_VARIANT:
            VariantInit(static_cast<VARIANT*>(pv));
            return VariantCopy(static_cast<VARIANT*>(pv), reinterpret_cast<VARIANT*>(p));
        case VT_RECORD:
            return RecordInfoSlot(psa)->RecordCopy(p, pv);
        default:
            std::memcpy(pv, p, psa->cbElements);
            return S_OK;
    }
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    ULONG i;
    HRESULT hr = IndexOf(psa, rgIndices, &i);
    if (FAILED(hr)) return hr;
    VARTYPE vt = VartypeOf(psa);
    if (!pv && vt != VT_BSTR && vt != VT_UNKNOWN && vt != VT_DISPATCH) return E_INVALIDARG;
    unsigned char* p = ElementAt(psa, i);
    switch (vt) {
        case VT_BSTR: {
            auto s = static_cast<BSTR>(pv);
            BSTR c =
                s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s))
                  : nullptr;
            if (s && !c) return E_OUTOFMEMORY;
            ClearElement(psa, vt, i);
            *reinterpret_cast<BSTR*>(p) = c;
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* u = static_cast<IUnknown*>(pv);
            if (u) u->AddRef();
            ClearElement(psa, vt, i);
            *reinterpret_cast<IUnknown**>(p) = u;
            return S_OK;
        }
        case VT_VARIANT:
            return VariantCopy(reinterpret_cast<VARIANT*>(p), static_cast<VARIANT*>(pv));
        case VT_RECORD:
            return RecordInfoSlot(psa)->RecordCopy(pv, p);
        default:
            std::memcpy(p, pv, psa->cbElements);
            return S_OK;
    }
}
