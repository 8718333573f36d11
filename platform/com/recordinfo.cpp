#include "com/recordinfo.h"

#include <cstdlib>
#include <cstring>

#include "com/ascii_case.h"
#include "com/object.h"

namespace {

bool SameName(LPCOLESTR a, const char* b) {
    if (!a || !b) return false;
    return EqualsIgnoringCase(Utf8FromOle(a), b);
}

// Frees what a field owns (strings, references, nested records).
void ClearField(const FieldDesc& f, unsigned char* base) {
    ULONG n = f.count ? f.count : 1;
    for (ULONG k = 0; k < n; ++k) {
        switch (f.vt) {
            case VT_BSTR: {
                auto* s = reinterpret_cast<BSTR*>(base + f.offset) + k;
                SysFreeString(*s);
                *s = nullptr;
                break;
            }
            case VT_UNKNOWN:
            case VT_DISPATCH: {
                auto* u = reinterpret_cast<IUnknown**>(base + f.offset) + k;
                if (*u) (*u)->Release();
                *u = nullptr;
                break;
            }
            case VT_VARIANT:
                VariantClear(reinterpret_cast<VARIANT*>(base + f.offset) + k);
                break;
            case VT_RECORD:
                for (const FieldDesc& inner : f.record->fields)
                    ClearField(inner, base + f.offset + k * f.record->size);
                break;
            default:
                break;
        }
    }
}

// Deep copy of one field from a record to another whose field is empty.
HRESULT CopyField(const FieldDesc& f, const unsigned char* from, unsigned char* to) {
    ULONG n = f.count ? f.count : 1;
    for (ULONG k = 0; k < n; ++k) {
        switch (f.vt) {
            case VT_BSTR: {
                BSTR s = reinterpret_cast<const BSTR*>(from + f.offset)[k];
                BSTR c =
                    s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s))
                      : nullptr;
                if (s && !c) return E_OUTOFMEMORY;
                reinterpret_cast<BSTR*>(to + f.offset)[k] = c;
                break;
            }
            case VT_UNKNOWN:
            case VT_DISPATCH: {
                IUnknown* u = reinterpret_cast<IUnknown* const*>(from + f.offset)[k];
                if (u) u->AddRef();
                reinterpret_cast<IUnknown**>(to + f.offset)[k] = u;
                break;
            }
            case VT_VARIANT: {
                auto* d = reinterpret_cast<VARIANT*>(to + f.offset) + k;
                VariantInit(d);
                HRESULT hr = VariantCopy(d, reinterpret_cast<const VARIANT*>(from + f.offset) + k);
                if (FAILED(hr)) return hr;
                break;
            }
            case VT_RECORD:
                for (const FieldDesc& inner : f.record->fields) {
                    HRESULT hr = CopyField(inner, from + f.offset + k * f.record->size,
                                           to + f.offset + k * f.record->size);
                    if (FAILED(hr)) return hr;
                }
                break;
            default: {
                ULONG size = SafeArrayElementSize(f.vt);
                std::memcpy(to + f.offset + k * size, from + f.offset + k * size, size);
                break;
            }
        }
    }
    return S_OK;
}

class RecordInfo final : public SimpleObject<RecordInfo, IRecordInfo> {
  public:
    explicit RecordInfo(const RecordDesc& desc) : desc_(desc) {}

    HRESULT RecordInit(void* pvNew) override {
        if (!pvNew) return E_INVALIDARG;
        std::memset(pvNew, 0, desc_.size);
        return S_OK;
    }
    HRESULT RecordClear(void* pvExisting) override {
        if (!pvExisting) return E_INVALIDARG;
        for (const FieldDesc& f : desc_.fields)
            ClearField(f, static_cast<unsigned char*>(pvExisting));
        return S_OK;
    }
    HRESULT RecordCopy(void* pvExisting, void* pvNew) override {
        if (!pvExisting || !pvNew) return E_INVALIDARG;
        if (pvExisting == pvNew) return S_OK;
        RecordClear(pvNew);
        std::memcpy(pvNew, pvExisting, desc_.size);
        // The byte copy shares owned fields; give the copy its own.
        for (const FieldDesc& f : desc_.fields)
            ClearOwnedShallow(f, static_cast<unsigned char*>(pvNew));
        for (const FieldDesc& f : desc_.fields) {
            HRESULT hr = CopyField(f, static_cast<unsigned char*>(pvExisting),
                                   static_cast<unsigned char*>(pvNew));
            if (FAILED(hr)) {
                RecordClear(pvNew);
                return hr;
            }
        }
        return S_OK;
    }
    HRESULT GetGuid(GUID* pguid) override {
        if (!pguid) return E_POINTER;
        *pguid = desc_.guid;
        return S_OK;
    }
    HRESULT GetName(BSTR* pbstrName) override {
        if (!pbstrName) return E_POINTER;
        *pbstrName = BstrFromUtf8(desc_.name);
        return *pbstrName ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT GetSize(ULONG* pcbSize) override {
        if (!pcbSize) return E_POINTER;
        *pcbSize = desc_.size;
        return S_OK;
    }
    HRESULT GetTypeInfo(ITypeInfo** ppTypeInfo) override {
        if (ppTypeInfo) *ppTypeInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetField(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) override {
        if (!pvData || !pvarField) return E_INVALIDARG;
        const FieldDesc* f = Find(szFieldName);
        if (!f) return TYPE_E_ELEMENTNOTFOUND;
        auto* base = static_cast<unsigned char*>(pvData) + f->offset;
        VariantClear(pvarField);
        if (f->vt == VT_RECORD && f->count == 0)
            return RecordToVariant(*f->record, base, pvarField);
        if (f->count > 0) {
            if (f->vt == VT_RECORD) return DISP_E_BADVARTYPE;
            SAFEARRAY* a = SafeArrayCreateVector(f->vt, 0, f->count);
            if (!a) return E_OUTOFMEMORY;
            FieldDesc asArray = *f;
            asArray.offset = 0;
            HRESULT hr = CopyField(asArray, base, static_cast<unsigned char*>(a->pvData));
            if (FAILED(hr)) {
                SafeArrayDestroy(a);
                return hr;
            }
            pvarField->vt = VT_ARRAY | f->vt;
            pvarField->parray = a;
            return S_OK;
        }
        VARIANT view;
        VariantInit(&view);
        view.vt = f->vt;
        if (f->vt == VT_VARIANT) return VariantCopy(pvarField, reinterpret_cast<VARIANT*>(base));
        std::memcpy(&view.llVal, base, SafeArrayElementSize(f->vt));
        return VariantCopy(pvarField, &view);
    }
    HRESULT GetFieldNoCopy(void*, LPCOLESTR, VARIANT*, void**) override { return E_NOTIMPL; }
    HRESULT PutField(ULONG, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) override {
        if (!pvData || !pvarField) return E_INVALIDARG;
        const FieldDesc* f = Find(szFieldName);
        if (!f) return TYPE_E_ELEMENTNOTFOUND;
        auto* base = static_cast<unsigned char*>(pvData);
        if (f->count > 0 || f->vt == VT_RECORD) {
            // Whole fixed arrays and nested records are set by copying a value of their shape.
            if (f->vt == VT_RECORD) {
                if (pvarField->vt != VT_RECORD || !pvarField->pvRecord) return DISP_E_TYPEMISMATCH;
                ULONG size = 0;
                pvarField->pRecInfo->GetSize(&size);
                if (size != f->record->size) return DISP_E_TYPEMISMATCH;
                FieldDesc whole = *f;
                whole.offset = 0;
                ClearField(*f, base);
                return CopyField(whole, static_cast<unsigned char*>(pvarField->pvRecord),
                                 base + f->offset);
            }
            VARIANT conv;
            VariantInit(&conv);
            HRESULT hr = VariantChangeType(&conv, pvarField, 0, VT_ARRAY | f->vt);
            if (FAILED(hr)) return hr;
            if (conv.parray->rgsabound[0].cElements != f->count) {
                VariantClear(&conv);
                return DISP_E_TYPEMISMATCH;
            }
            FieldDesc asArray = *f;
            asArray.offset = 0;
            ClearField(*f, base);
            hr = CopyField(asArray, static_cast<unsigned char*>(conv.parray->pvData),
                           base + f->offset);
            VariantClear(&conv);
            return hr;
        }
        VARIANT conv;
        VariantInit(&conv);
        HRESULT hr = f->vt == VT_VARIANT ? VariantCopyInd(&conv, pvarField)
                                         : VariantChangeType(&conv, pvarField, 0, f->vt);
        if (FAILED(hr)) return hr;
        ClearField(*f, base);
        if (f->vt == VT_VARIANT)
            std::memcpy(base + f->offset, &conv, sizeof conv);  // ownership moves
        else
            std::memcpy(base + f->offset, &conv.llVal, SafeArrayElementSize(f->vt));
        return S_OK;
    }
    HRESULT PutFieldNoCopy(ULONG, void*, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) override {
        if (!pcNames) return E_INVALIDARG;
        ULONG n = static_cast<ULONG>(desc_.fields.size());
        if (!rgBstrNames) {
            *pcNames = n;
            return S_OK;
        }
        ULONG k = 0;
        for (; k < n && k < *pcNames; ++k) rgBstrNames[k] = BstrFromUtf8(desc_.fields[k].name);
        *pcNames = k;
        return S_OK;
    }
    BOOL IsMatchingType(IRecordInfo* other) override {
        GUID g;
        return other && SUCCEEDED(other->GetGuid(&g)) && g == desc_.guid;
    }
    void* RecordCreate() override { return std::calloc(1, desc_.size ? desc_.size : 1); }
    HRESULT RecordCreateCopy(void* pvSource, void** ppvDest) override {
        if (!pvSource || !ppvDest) return E_INVALIDARG;
        void* d = RecordCreate();
        if (!d) return E_OUTOFMEMORY;
        HRESULT hr = RecordCopy(pvSource, d);
        if (FAILED(hr)) {
            std::free(d);
            return hr;
        }
        *ppvDest = d;
        return S_OK;
    }
    HRESULT RecordDestroy(void* pvRecord) override {
        if (!pvRecord) return S_OK;
        RecordClear(pvRecord);
        std::free(pvRecord);
        return S_OK;
    }

  private:
    const FieldDesc* Find(LPCOLESTR name) const {
        for (const FieldDesc& f : desc_.fields)
            if (SameName(name, f.name)) return &f;
        return nullptr;
    }
    // Zeroes the owned slots of a field without freeing them (they belong
    // to the record the bytes were copied from).
    static void ClearOwnedShallow(const FieldDesc& f, unsigned char* base) {
        ULONG n = f.count ? f.count : 1;
        switch (f.vt) {
            case VT_BSTR:
            case VT_UNKNOWN:
            case VT_DISPATCH:
                std::memset(base + f.offset, 0, n * sizeof(void*));
                break;
            case VT_VARIANT:
                std::memset(base + f.offset, 0, n * sizeof(VARIANT));
                break;
            case VT_RECORD:
                for (ULONG k = 0; k < n; ++k)
                    for (const FieldDesc& inner : f.record->fields)
                        ClearOwnedShallow(inner, base + f.offset + k * f.record->size);
                break;
            default:
                break;
        }
    }

    const RecordDesc& desc_;
};

}  // namespace

HRESULT CreateRecordInfo(const RecordDesc& desc, IRecordInfo** out) {
    if (!out) return E_POINTER;
    RecordInfo* info = nullptr;
    HRESULT hr = CreateObject(&info, desc);
    *out = info;
    return hr;
}

HRESULT RecordToVariant(const RecordDesc& desc, const void* data, VARIANT* out) {
    if (!out) return E_POINTER;
    IRecordInfo* info = nullptr;
    HRESULT hr = CreateRecordInfo(desc, &info);
    if (FAILED(hr)) return hr;
    void* copy = nullptr;
    hr = info->RecordCreateCopy(const_cast<void*>(data), &copy);
    if (FAILED(hr)) {
        info->Release();
        return hr;
    }
    VariantInit(out);
    out->vt = VT_RECORD;
    out->pvRecord = copy;
    out->pRecInfo = info;
    return S_OK;
}
