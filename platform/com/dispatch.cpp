#include "com/dispatch.h"

#include <map>
#include <string>
#include <vector>

#include "com/ascii_case.h"
#include "com/object.h"

namespace {

// Member names of an interface, lower-cased, to their DISPIDs; built once
// per interface under the module lock and kept while the module lives.
const std::map<std::string, DISPID>& NameCache(const InterfaceDesc& desc) {
    static std::map<const InterfaceDesc*, std::map<std::string, DISPID>> caches;
    std::lock_guard<std::mutex> lock(ComModule::Instance().Mutex());
    auto it = caches.find(&desc);
    if (it == caches.end()) {
        std::map<std::string, DISPID> names;
        for (const MemberDesc& m : desc.members) names.emplace(LowerAscii(m.name), m.dispid);
        it = caches.emplace(&desc, std::move(names)).first;
    }
    return it->second;
}

// The member a call with these flags means: a property put for the put
// flags; otherwise a method, or a property get (clients send both flags).
const MemberDesc* SelectMember(const InterfaceDesc& desc, DISPID id, WORD flags) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        return FindMember(desc, id, static_cast<int>(MemberKind::kPropertyPut));
    const MemberDesc* m = nullptr;
    if (flags & DISPATCH_METHOD) m = FindMember(desc, id, static_cast<int>(MemberKind::kMethod));
    if (!m && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
        m = FindMember(desc, id, static_cast<int>(MemberKind::kPropertyGet));
    if (!m && (flags & DISPATCH_PROPERTYGET)) {
        m = FindMember(desc, id, static_cast<int>(MemberKind::kMethod));
        if (m && !m->hasResult) m = nullptr;
    }
    return m;
}

bool IsMissing(const VARIANT* v) {
    return v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND;
}

HRESULT MakeDefault(const ParamDesc& p, VARIANT* out) {
    VARIANT src;
    VariantInit(&src);
    switch (p.def.kind) {
        case DefaultValue::kNone:
            // An optional variant without a default is passed as "missing".
            if (p.vt != VT_VARIANT) return DISP_E_PARAMNOTOPTIONAL;
            out->vt = VT_ERROR;
            out->scode = DISP_E_PARAMNOTFOUND;
            return S_OK;
        case DefaultValue::kInteger:
            src.vt = VT_I8;
            src.llVal = p.def.integer;
            break;
        case DefaultValue::kReal:
            src.vt = VT_R8;
            src.dblVal = p.def.real;
            break;
        case DefaultValue::kText: {
            src.vt = VT_BSTR;
            src.bstrVal = BstrFromUtf8(p.def.text);
            break;
        }
    }
    HRESULT hr =
        p.vt == VT_VARIANT ? VariantCopy(out, &src) : VariantChangeType(out, &src, 0, p.vt);
    VariantClear(&src);
    return hr;
}

// Converts one argument to what the member's thunk expects in args[i].
HRESULT PrepareArgument(const ParamDesc& p, VARIANT* arg, VARIANT* out) {
    if (p.byRef) {
        // In/out arrays: a reference to the caller's array, or to a copy.
        VARIANT* target = arg;
        if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal) target = arg->pvarVal;
        if (target->vt == (VT_BYREF | p.vt)) {
            out->vt = VT_BYREF | p.vt;
            out->pparray = target->pparray;
            return S_OK;
        }
        if (target->vt == p.vt) {
            out->vt = VT_BYREF | p.vt;
            out->pparray = &target->parray;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (p.vt == VT_VARIANT) return VariantCopyInd(out, arg);
    HRESULT hr = VariantChangeType(out, arg, 0, p.vt);
    if (FAILED(hr)) return hr;
    if (p.iid && out->punkVal) {
        // The thunk receives the declared interface, not just IDispatch.
        IUnknown* typed = nullptr;
        hr = out->punkVal->QueryInterface(*p.iid, reinterpret_cast<void**>(&typed));
        out->punkVal->Release();
        out->punkVal = typed;
        if (FAILED(hr)) {
            out->vt = VT_EMPTY;
            return DISP_E_TYPEMISMATCH;
        }
    }
    return S_OK;
}

void ClearArguments(std::vector<VARIANT>& args) {
    for (VARIANT& v : args) {
        if (v.vt & VT_BYREF) VariantInit(&v);  // borrowed from the caller
        VariantClear(&v);
    }
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const InterfaceDesc& desc, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    const auto& cache = NameCache(desc);
    auto it = cache.find(LowerAscii(Utf8FromOle(names[0])));
    if (it == cache.end()) {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = it->second;
    // Parameter names: of the first member with that DISPID that has them.
    const MemberDesc* member = nullptr;
    for (const MemberDesc& m : desc.members)
        if (m.dispid == ids[0] && (!member || m.params.size() > member->params.size())) member = &m;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        std::string want = LowerAscii(Utf8FromOle(names[i]));
        for (std::size_t k = 0; member && k < member->params.size(); ++k)
            if (member->params[k].name && LowerAscii(member->params[k].name) == want)
                ids[i] = static_cast<DISPID>(k);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchInvoke(const InterfaceDesc& desc, void* iface, DISPID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!params) return E_INVALIDARG;
    if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs ||
        (params->cNamedArgs > 0 && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    const MemberDesc* m = SelectMember(desc, id, flags);
    if (!m) return DISP_E_MEMBERNOTFOUND;

    const std::size_t n = m->params.size();
    // Which incoming argument (index into rgvarg) fills each parameter.
    std::vector<int> source(n, -1);
    UINT named = params->cNamedArgs;
    UINT positional = params->cArgs - named;
    bool isPut = m->kind == MemberKind::kPropertyPut;
    if (isPut) {
        // The new value is the named argument DISPID_PROPERTYPUT (rgvarg[0]),
        // or, from lenient clients, the last positional one.
        if (n == 0) return DISP_E_BADPARAMCOUNT;
        if (named > 0 && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT) {
            source[n - 1] = 0;
        } else if (named == 0 && positional > 0) {
            source[n - 1] = 0;
            positional -= 1;
            if (positional > n - 1) return DISP_E_BADPARAMCOUNT;
            for (UINT k = 0; k < positional; ++k)
                source[k] = static_cast<int>(params->cArgs - 1 - k);
            positional = 0;
        } else {
            return DISP_E_PARAMNOTFOUND;
        }
    }
    if (positional > (isPut ? n - 1 : n)) return DISP_E_BADPARAMCOUNT;
    for (UINT k = 0; k < positional; ++k) source[k] = static_cast<int>(params->cArgs - 1 - k);
    for (UINT j = 0; j < named; ++j) {
        DISPID which = params->rgdispidNamedArgs[j];
        if (isPut && which == DISPID_PROPERTYPUT) continue;
        if (which < 0 || static_cast<std::size_t>(which) >= (isPut ? n - 1 : n) ||
            source[which] != -1) {
            if (argErr) *argErr = j;
            return DISP_E_PARAMNOTFOUND;
        }
        source[which] = static_cast<int>(j);
    }

    std::vector<VARIANT> args(n);
    for (VARIANT& v : args) VariantInit(&v);
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
        const ParamDesc& p = m->params[i];
        VARIANT* in = source[i] >= 0 ? &params->rgvarg[source[i]] : nullptr;
        if (!in || (IsMissing(in) && p.vt != VT_VARIANT)) {
            hr = p.optional ? MakeDefault(p, &args[i]) : DISP_E_PARAMNOTOPTIONAL;
            continue;
        }
        hr = PrepareArgument(p, in, &args[i]);
        if (FAILED(hr) && argErr) *argErr = static_cast<UINT>(source[i]);
    }
    if (FAILED(hr)) {
        ClearArguments(args);
        return hr;
    }

    VARIANT out;
    VariantInit(&out);
    hr = m->thunk(iface, args.data(), &out, *m);
    ClearArguments(args);
    if (FAILED(hr)) {
        VariantClear(&out);
        if (!excepInfo) return hr;
        *excepInfo = EXCEPINFO{};
        excepInfo->scode = hr;
        excepInfo->bstrSource = BstrFromUtf8(desc.name);
        excepInfo->bstrDescription = BstrFromUtf8(HResultDescription(hr));
        return DISP_E_EXCEPTION;
    }
    if (result) {
        VariantClear(result);
        *result = out;
    } else {
        VariantClear(&out);
    }
    return S_OK;
}

namespace {

class TypeInfo final : public SimpleObject<TypeInfo, ITypeInfo> {
  public:
    explicit TypeInfo(const InterfaceDesc& desc) : desc_(desc) {}

    HRESULT GetTypeAttr(TYPEATTR**) override { return E_NOTIMPL; }
    HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT GetFuncDesc(UINT, FUNCDESC**) override { return E_NOTIMPL; }
    HRESULT GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
    HRESULT GetNames(MEMBERID memid, BSTR* names, UINT cMaxNames, UINT* pcNames) override {
        if (!names || !pcNames) return E_INVALIDARG;
        *pcNames = 0;
        const MemberDesc* m = nullptr;
        for (const MemberDesc& x : desc_.members)
            if (x.dispid == memid && (!m || x.params.size() > m->params.size())) m = &x;
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        UINT k = 0;
        if (k < cMaxNames) names[k++] = BstrFromUtf8(m->name);
        for (const ParamDesc& p : m->params)
            if (k < cMaxNames) names[k++] = BstrFromUtf8(p.name ? p.name : "");
        *pcNames = k;
        return S_OK;
    }
    HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    HRESULT GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        return DispatchGetIDsOfNames(desc_, names, count, ids);
    }
    HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!pvInstance) return E_INVALIDARG;
        return DispatchInvoke(desc_, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo,
                              puArgErr);
    }
    HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext,
                             BSTR* helpFile) override {
        const char* n = nullptr;
        const char* h = nullptr;
        if (memid == MEMBERID_NIL) {
            n = desc_.name;
            h = desc_.help;
        } else {
            for (const MemberDesc& m : desc_.members) {
                if (m.dispid != memid) continue;
                n = m.name;
                if (!h) h = m.help;
            }
            if (!n) return TYPE_E_ELEMENTNOTFOUND;
        }
        if (name) *name = BstrFromUtf8(n);
        if (doc) *doc = h ? BstrFromUtf8(h) : nullptr;
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        return S_OK;
    }
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    void ReleaseTypeAttr(TYPEATTR*) override {}
    void ReleaseFuncDesc(FUNCDESC*) override {}
    void ReleaseVarDesc(VARDESC*) override {}

  private:
    const InterfaceDesc& desc_;
};

}  // namespace

HRESULT CreateTypeInfo(const InterfaceDesc& desc, ITypeInfo** out) {
    if (!out) return E_POINTER;
    TypeInfo* info = nullptr;
    HRESULT hr = CreateObject(&info, desc);
    *out = info;
    return hr;
}
