// Builds the member tables of an interface from its C++ declaration: the
// parameter types come from the member function's signature, so the table
// and the vtable cannot disagree, and each member gets a thunk that calls it
// with arguments unpacked from variants.
//
//   Get<&IWav::get_NumSamples>("NumSamples", 0x60020006)
//   FuncR<&IWav::Peaks>("Peaks", 0x60020008, {{"NumSamplesPerPeak"}})
#pragma once

#include <initializer_list>
#include <tuple>
#include <type_traits>
#include <utility>

#include "com/interfaces.h"
#include "com/recordinfo.h"
#include "com/typelib.h"

namespace com_detail {

// In-parameters by C++ type.
template <class T, class = void>
struct ArgType;

#define COM_SCALAR_ARG(T, VT, FIELD)                 \
    template <>                                      \
    struct ArgType<T> {                              \
        static constexpr VARTYPE vt = VT;            \
        static constexpr bool byRef = false;         \
        static const IID* iid() { return nullptr; }  \
        static T Get(VARIANT& v) { return v.FIELD; } \
    };
COM_SCALAR_ARG(SHORT, VT_I2, iVal)
COM_SCALAR_ARG(LONG, VT_I4, lVal)
COM_SCALAR_ARG(float, VT_R4, fltVal)
COM_SCALAR_ARG(double, VT_R8, dblVal)
COM_SCALAR_ARG(BYTE, VT_UI1, bVal)
COM_SCALAR_ARG(CY, VT_CY, cyVal)
COM_SCALAR_ARG(BSTR, VT_BSTR, bstrVal)
COM_SCALAR_ARG(SAFEARRAY*, VT_ARRAY, parray)
#undef COM_SCALAR_ARG

template <>
struct ArgType<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static constexpr bool byRef = false;
    static const IID* iid() { return nullptr; }
    static VARIANT Get(VARIANT& v) { return v; }  // borrowed, as by-value variants are
};

template <>
struct ArgType<SAFEARRAY**> {
    static constexpr VARTYPE vt = VT_ARRAY;
    static constexpr bool byRef = true;
    static const IID* iid() { return nullptr; }
    static SAFEARRAY** Get(VARIANT& v) { return v.pparray; }
};

template <class I>
struct ArgType<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
    static constexpr VARTYPE vt = std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN;
    static constexpr bool byRef = false;
    static const IID* iid() { return &I::iid; }
    static I* Get(VARIANT& v) { return static_cast<I*>(v.punkVal); }
};

// Results by C++ type; Put takes ownership of value.
template <class T, class = void>
struct ResultType;

#define COM_SCALAR_RESULT(T, VT, FIELD)                                \
    template <>                                                        \
    struct ResultType<T> {                                             \
        static constexpr VARTYPE vt = VT;                              \
        static HRESULT Put(VARIANT* r, T value, const MemberDesc& m) { \
            r->vt = m.resultVt;                                        \
            r->FIELD = value;                                          \
            return S_OK;                                               \
        }                                                              \
        static void Drop(T) {}                                         \
    };
COM_SCALAR_RESULT(SHORT, VT_I2, iVal)
COM_SCALAR_RESULT(LONG, VT_I4, lVal)
COM_SCALAR_RESULT(float, VT_R4, fltVal)
COM_SCALAR_RESULT(double, VT_R8, dblVal)
COM_SCALAR_RESULT(BYTE, VT_UI1, bVal)
COM_SCALAR_RESULT(CY, VT_CY, cyVal)
#undef COM_SCALAR_RESULT

template <>
struct ResultType<BSTR> {
    static constexpr VARTYPE vt = VT_BSTR;
    static HRESULT Put(VARIANT* r, BSTR value, const MemberDesc&) {
        r->vt = VT_BSTR;
        r->bstrVal = value;
        return S_OK;
    }
    static void Drop(BSTR value) { SysFreeString(value); }
};

template <>
struct ResultType<SAFEARRAY*> {
    static constexpr VARTYPE vt = VT_ARRAY;
    static HRESULT Put(VARIANT* r, SAFEARRAY* value, const MemberDesc& m) {
        VARTYPE elem = m.resultVt & VT_TYPEMASK;
        if (value) SafeArrayGetVartype(value, &elem);
        r->vt = VT_ARRAY | elem;
        r->parray = value;
        return S_OK;
    }
    static void Drop(SAFEARRAY* value) { SafeArrayDestroy(value); }
};

template <>
struct ResultType<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static HRESULT Put(VARIANT* r, VARIANT value, const MemberDesc&) {
        *r = value;
        return S_OK;
    }
    static void Drop(VARIANT value) { VariantClear(&value); }
};

template <class I>
struct ResultType<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
    static constexpr VARTYPE vt = std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN;
    static HRESULT Put(VARIANT* r, I* value, const MemberDesc&) {
        r->vt = vt;
        r->punkVal = value;
        return S_OK;
    }
    static void Drop(I* value) {
        if (value) value->Release();
    }
};

// Records: plain structures returned by copy as VT_RECORD.
template <class R>
struct ResultType<R, std::enable_if_t<std::is_class_v<R> && std::is_trivially_copyable_v<R> &&
                                      !std::is_same_v<R, VARIANT>>> {
    static constexpr VARTYPE vt = VT_RECORD;
    static HRESULT Put(VARIANT* r, const R& value, const MemberDesc& m) {
        if (!m.resultRecord) return DISP_E_BADVARTYPE;
        return RecordToVariant(*m.resultRecord, &value, r);
    }
    static void Drop(const R&) {}
};

template <class F>
struct MethodTraits;

template <class C, class... A>
struct MethodTraits<HRESULT (C::*)(A...)> {
    using Iface = C;
    using Args = std::tuple<A...>;
    static constexpr std::size_t kArity = sizeof...(A);

    template <auto F, std::size_t... I>
    static HRESULT CallPlain(void* iface, VARIANT* args, std::index_sequence<I...>) {
        return (static_cast<C*>(iface)->*F)(
            ArgType<std::tuple_element_t<I, Args>>::Get(args[I])...);
    }

    template <auto F, std::size_t... I>
    static HRESULT CallWithResult(void* iface, VARIANT* args, VARIANT* result, const MemberDesc& m,
                                  std::index_sequence<I...>) {
        using R = std::remove_pointer_t<std::tuple_element_t<kArity - 1, Args>>;
        R value{};
        HRESULT hr = (static_cast<C*>(iface)->*F)(
            ArgType<std::tuple_element_t<I, Args>>::Get(args[I])..., &value);
        if (FAILED(hr)) {
            ResultType<R>::Drop(value);
            return hr;
        }
        HRESULT put = ResultType<R>::Put(result, value, m);
        return FAILED(put) ? put : hr;
    }
};

template <auto F, bool HasResult>
HRESULT Thunk(void* iface, VARIANT* args, VARIANT* result, const MemberDesc& m) {
    using T = MethodTraits<decltype(F)>;
    if constexpr (HasResult)
        return T::template CallWithResult<F>(iface, args, result, m,
                                             std::make_index_sequence<T::kArity - 1>{});
    else
        return T::template CallPlain<F>(iface, args, std::make_index_sequence<T::kArity>{});
}

template <class Args, std::size_t... I>
std::vector<ParamDesc> ParamsFromSignature(std::index_sequence<I...>) {
    return {ParamDesc{nullptr, ArgType<std::tuple_element_t<I, Args>>::vt,
                      ArgType<std::tuple_element_t<I, Args>>::iid(), nullptr,
                      ArgType<std::tuple_element_t<I, Args>>::byRef, false, DefaultValue{}}...};
}

}  // namespace com_detail

// What the signature cannot tell: names, defaults, array element types.
struct ParamSpec {
    const char* name;
    VARTYPE vt = VT_EMPTY;  // element type of an array (VT_ARRAY|VT_UI1), or VT_BOOL
    bool optional = false;
    DefaultValue def = {};
    const RecordDesc* record = nullptr;
};

struct MemberOptions {
    const char* help = nullptr;
    VARTYPE resultVt = VT_EMPTY;  // VT_BOOL for a VARIANT_BOOL result, VT_ARRAY|elem for arrays
    const RecordDesc* resultRecord = nullptr;
};

template <auto F, bool HasResult>
MemberDesc MakeMember(MemberKind kind, const char* name, DISPID id,
                      std::initializer_list<ParamSpec> specs, MemberOptions opts) {
    using T = com_detail::MethodTraits<decltype(F)>;
    constexpr std::size_t n = T::kArity - (HasResult ? 1 : 0);
    MemberDesc m;
    m.name = name;
    m.dispid = id;
    m.kind = kind;
    m.params = com_detail::ParamsFromSignature<typename T::Args>(std::make_index_sequence<n>{});
    std::size_t i = 0;
    for (const ParamSpec& s : specs) {
        if (i >= m.params.size()) break;
        ParamDesc& p = m.params[i++];
        p.name = s.name;
        if (s.vt != VT_EMPTY) p.vt = (p.vt == VT_ARRAY) ? (VT_ARRAY | s.vt) : s.vt;
        p.optional = s.optional || s.def.kind != DefaultValue::kNone;
        p.def = s.def;
        p.record = s.record;
    }
    m.hasResult = HasResult;
    if constexpr (HasResult) {
        using R = std::remove_pointer_t<std::tuple_element_t<T::kArity - 1, typename T::Args>>;
        m.resultVt = com_detail::ResultType<R>::vt;
        if (opts.resultVt != VT_EMPTY)
            m.resultVt = (m.resultVt == VT_ARRAY) ? (VT_ARRAY | opts.resultVt) : opts.resultVt;
    }
    m.resultRecord = opts.resultRecord;
    m.help = opts.help;
    m.thunk = &com_detail::Thunk<F, HasResult>;
    return m;
}

// A method without a result.
template <auto F>
MemberDesc Func(const char* name, DISPID id, std::initializer_list<ParamSpec> params = {},
                MemberOptions opts = {}) {
    return MakeMember<F, false>(MemberKind::kMethod, name, id, params, opts);
}
// A method whose last parameter is its result.
template <auto F>
MemberDesc FuncR(const char* name, DISPID id, std::initializer_list<ParamSpec> params = {},
                 MemberOptions opts = {}) {
    return MakeMember<F, true>(MemberKind::kMethod, name, id, params, opts);
}
// A property get (its last parameter is the value).
template <auto F>
MemberDesc Get(const char* name, DISPID id, std::initializer_list<ParamSpec> params = {},
               MemberOptions opts = {}) {
    return MakeMember<F, true>(MemberKind::kPropertyGet, name, id, params, opts);
}
// A property put (its last parameter is the new value).
template <auto F>
MemberDesc Put(const char* name, DISPID id, std::initializer_list<ParamSpec> params = {},
               MemberOptions opts = {}) {
    return MakeMember<F, false>(MemberKind::kPropertyPut, name, id, params, opts);
}
