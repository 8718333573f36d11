#include "com/variant.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "com/ascii_case.h"
#include "com/interfaces.h"

void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else {
            switch (v->vt) {
                case VT_BSTR:
                    SysFreeString(v->bstrVal);
                    break;
                case VT_UNKNOWN:
                case VT_DISPATCH:
                    if (v->punkVal) v->punkVal->Release();
                    break;
                case VT_RECORD:
                    if (v->pRecInfo) {
                        if (v->pvRecord) v->pRecInfo->RecordDestroy(v->pvRecord);
                        v->pRecInfo->Release();
                    }
                    break;
                default:
                    break;
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    VARIANT tmp;
    VariantInit(&tmp);
    std::memcpy(&tmp, src, sizeof tmp);
    if (!(src->vt & VT_BYREF)) {
        if (src->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(src->parray, &tmp.parray);
            if (FAILED(hr)) return hr;
        } else {
            switch (src->vt) {
                case VT_BSTR:
                    if (src->bstrVal) {
                        tmp.bstrVal =
                            SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                                  SysStringByteLen(src->bstrVal));
                        if (!tmp.bstrVal) return E_OUTOFMEMORY;
                    }
                    break;
                case VT_UNKNOWN:
                case VT_DISPATCH:
                    if (src->punkVal) src->punkVal->AddRef();
                    break;
                case VT_RECORD:
                    if (!src->pRecInfo) return E_INVALIDARG;
                    tmp.pvRecord = nullptr;
                    if (src->pvRecord) {
                        HRESULT hr = src->pRecInfo->RecordCreateCopy(src->pvRecord, &tmp.pvRecord);
                        if (FAILED(hr)) return hr;
                    }
                    src->pRecInfo->AddRef();
                    break;
                default:
                    break;
            }
        }
    }
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&tmp);
        return hr;
    }
    std::memcpy(dest, &tmp, sizeof tmp);
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
    if (!src->byref) return E_INVALIDARG;
    VARTYPE vt = src->vt & ~VT_BYREF;
    if (vt == VT_VARIANT) return VariantCopyInd(dest, src->pvarVal);
    VARIANT view;
    VariantInit(&view);
    view.vt = vt;
    if (vt & VT_ARRAY) {
        view.parray = *src->pparray;
    } else if (vt == VT_RECORD) {
        view.pvRecord = src->pvRecord;
        view.pRecInfo = src->pRecInfo;
    } else {
        ULONG size = SafeArrayElementSize(vt);
        if (size == 0 || size > sizeof(view.llVal)) return DISP_E_BADVARTYPE;
        std::memcpy(&view.llVal, src->byref, size);
    }
    // view borrows; the copy owns.
    return VariantCopy(dest, &view);
}

namespace {

// A scalar on its way from one variant type to another.
struct Number {
    enum Kind { kInt, kReal, kCurrency } kind = kInt;
    LONGLONG i = 0;  // kInt value, or currency times 10000
    double r = 0;
    bool unsignedBig = false;  // a UI8 above the signed range, held in r
};

bool IsNumericVt(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_BOOL:
            return true;
        default:
            return false;
    }
}

bool IsScalarVt(VARTYPE vt) {
    return IsNumericVt(vt) || vt == VT_BSTR;
}

// Round half to even, as automation does.
double RoundEven(double x) {
    std::fenv_t env;
    std::feholdexcept(&env);
    std::fesetround(FE_TONEAREST);
    double r = std::nearbyint(x);
    std::feupdateenv(&env);
    return r;
}

LONGLONG DivRoundEven(LONGLONG value, LONGLONG by) {
    LONGLONG q = value / by, rem = value % by;
    LONGLONG twice = 2 * (rem < 0 ? -rem : rem);
    if (twice > by || (twice == by && (q & 1))) q += (value < 0) ? -1 : 1;
    return q;
}

std::string Trim(std::string s) {
    auto issp = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && issp(s.back())) s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && issp(s[b])) ++b;
    return s.substr(b);
}

HRESULT ParseNumber(BSTR s, VARTYPE target, Number* out) {
    std::string text = Trim(Utf8FromBstr(s));
    if (target == VT_BOOL) {
        if (EqualsIgnoringCase(text, "true") || EqualsIgnoringCase(text, "#true#")) {
            out->kind = Number::kInt;
            out->i = -1;
            return S_OK;
        }
        if (EqualsIgnoringCase(text, "false") || EqualsIgnoringCase(text, "#false#")) {
            out->kind = Number::kInt;
            out->i = 0;
            return S_OK;
        }
    }
    if (text.empty()) return DISP_E_TYPEMISMATCH;
    const char* b = text.data();
    const char* e = b + text.size();
    if (*b == '+') ++b;
    LONGLONG iv;
    auto ri = std::from_chars(b, e, iv);
    if (ri.ec == std::errc() && ri.ptr == e) {
        out->kind = Number::kInt;
        out->i = iv;
        return S_OK;
    }
    double dv;
    auto rd = std::from_chars(b, e, dv);
    if (rd.ptr != e) return DISP_E_TYPEMISMATCH;
    if (rd.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (rd.ec != std::errc() || !std::isfinite(dv)) return DISP_E_TYPEMISMATCH;
    out->kind = Number::kReal;
    out->r = dv;
    return S_OK;
}

HRESULT ToNumber(const VARIANT& v, VARTYPE target, Number* n) {
    n->kind = Number::kInt;
    switch (v.vt) {
        case VT_EMPTY:
            n->i = 0;
            return S_OK;
        case VT_I1:
            n->i = v.cVal;
            return S_OK;
        case VT_UI1:
            n->i = v.bVal;
            return S_OK;
        case VT_I2:
            n->i = v.iVal;
            return S_OK;
        case VT_UI2:
            n->i = v.uiVal;
            return S_OK;
        case VT_I4:
        case VT_INT:
            n->i = v.lVal;
            return S_OK;
        case VT_UI4:
        case VT_UINT:
            n->i = v.ulVal;
            return S_OK;
        case VT_I8:
            n->i = v.llVal;
            return S_OK;
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) {
                n->kind = Number::kReal;
                n->r = static_cast<double>(v.ullVal);
                n->unsignedBig = true;
            } else {
                n->i = static_cast<LONGLONG>(v.ullVal);
            }
            return S_OK;
        case VT_BOOL:
            n->i = v.boolVal ? -1 : 0;
            return S_OK;
        case VT_R4:
            n->kind = Number::kReal;
            n->r = v.fltVal;
            return S_OK;
        case VT_R8:
            n->kind = Number::kReal;
            n->r = v.dblVal;
            return S_OK;
        case VT_CY:
            n->kind = Number::kCurrency;
            n->i = v.cyVal.int64;
            return S_OK;
        case VT_BSTR:
            return ParseNumber(v.bstrVal, target, n);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToInteger(const Number& n, LONGLONG lo, ULONGLONG hi, ULONGLONG* out) {
    if (n.kind == Number::kReal) {
        if (!std::isfinite(n.r)) return DISP_E_OVERFLOW;
        double r = RoundEven(n.r);
        if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
        if (r < 0)
            *out = static_cast<ULONGLONG>(static_cast<LONGLONG>(r));
        else
            *out = static_cast<ULONGLONG>(r);
        return S_OK;
    }
    LONGLONG v = n.kind == Number::kCurrency ? DivRoundEven(n.i, 10000) : n.i;
    if (v < lo || (v >= 0 && static_cast<ULONGLONG>(v) > hi)) return DISP_E_OVERFLOW;
    *out = static_cast<ULONGLONG>(v);
    return S_OK;
}

double ToReal(const Number& n) {
    switch (n.kind) {
        case Number::kReal:
            return n.r;
        case Number::kCurrency:
            return static_cast<double>(n.i) / 10000.0;
        default:
            return static_cast<double>(n.i);
    }
}

bool IsZero(const Number& n) {
    return n.kind == Number::kReal ? n.r == 0 : n.i == 0;
}

std::string FormatReal(double x, int digits) {
    if (x == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, x);
    return buf;
}

std::string FormatCurrency(LONGLONG cy) {
    bool neg = cy < 0;
    ULONGLONG mag = neg ? 0 - static_cast<ULONGLONG>(cy) : static_cast<ULONGLONG>(cy);
    std::string s = std::to_string(mag / 10000);
    ULONGLONG frac = mag % 10000;
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
        std::string f = buf;
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
    }
    return neg ? "-" + s : s;
}

HRESULT ToText(const VARIANT& v, USHORT flags, std::string* out) {
    switch (v.vt) {
        case VT_EMPTY:
            *out = "";
            return S_OK;
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL)
                *out = v.boolVal ? "True" : "False";
            else
                *out = v.boolVal ? "-1" : "0";
            return S_OK;
        case VT_R4:
            *out = FormatReal(v.fltVal, 7);
            return S_OK;
        case VT_R8:
            *out = FormatReal(v.dblVal, 15);
            return S_OK;
        case VT_CY:
            *out = FormatCurrency(v.cyVal.int64);
            return S_OK;
        case VT_UI8:
            *out = std::to_string(v.ullVal);
            return S_OK;
        default: {
            Number n;
            HRESULT hr = ToNumber(v, VT_I8, &n);
            if (FAILED(hr)) return hr;
            *out = std::to_string(n.i);
            return S_OK;
        }
    }
}

// Converts a scalar (numbers, BOOL, BSTR, EMPTY) into dest, which is empty.
HRESULT ConvertScalar(VARIANT* dest, const VARIANT& src, USHORT flags, VARTYPE vt) {
    if (vt == VT_BSTR) {
        std::string text;
        HRESULT hr = ToText(src, flags, &text);
        if (FAILED(hr)) return hr;
        BSTR s = BstrFromUtf8(text);
        if (!s) return E_OUTOFMEMORY;
        dest->vt = VT_BSTR;
        dest->bstrVal = s;
        return S_OK;
    }
    Number n;
    HRESULT hr = ToNumber(src, vt, &n);
    if (FAILED(hr)) return hr;
    // TRUE is all bits set, also in unsigned types.
    bool boolSource = src.vt == VT_BOOL && n.i == -1;
    ULONGLONG u = 0;
    switch (vt) {
        case VT_BOOL:
            dest->boolVal = IsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
            break;
        case VT_R8:
            dest->dblVal = ToReal(n);
            break;
        case VT_R4: {
            double r = ToReal(n);
            if (std::fabs(r) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            dest->fltVal = static_cast<float>(r);
            break;
        }
        case VT_CY: {
            LONGLONG cy;
            if (n.kind == Number::kCurrency) {
                cy = n.i;
            } else if (n.kind == Number::kInt) {
                if (n.i > std::numeric_limits<LONGLONG>::max() / 10000 ||
                    n.i < std::numeric_limits<LONGLONG>::min() / 10000)
                    return DISP_E_OVERFLOW;
                cy = n.i * 10000;
            } else {
                double scaled = RoundEven(n.r * 10000.0);
                if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18)
                    return DISP_E_OVERFLOW;
                cy = static_cast<LONGLONG>(scaled);
            }
            dest->cyVal.int64 = cy;
            break;
        }
        case VT_I1:
            if (FAILED(hr = ToInteger(n, -128, 127, &u))) return hr;
            dest->cVal = static_cast<signed char>(u);
            break;
        case VT_UI1:
            if (boolSource)
                u = 0xFF;
            else if (FAILED(hr = ToInteger(n, 0, 0xFF, &u)))
                return hr;
            dest->bVal = static_cast<BYTE>(u);
            break;
        case VT_I2:
            if (FAILED(hr = ToInteger(n, -32768, 32767, &u))) return hr;
            dest->iVal = static_cast<SHORT>(u);
            break;
        case VT_UI2:
            if (boolSource)
                u = 0xFFFF;
            else if (FAILED(hr = ToInteger(n, 0, 0xFFFF, &u)))
                return hr;
            dest->uiVal = static_cast<USHORT>(u);
            break;
        case VT_I4:
        case VT_INT:
            if (FAILED(hr = ToInteger(n, std::numeric_limits<LONG>::min(),
                                      std::numeric_limits<LONG>::max(), &u)))
                return hr;
            dest->lVal = static_cast<LONG>(u);
            break;
        case VT_UI4:
        case VT_UINT:
            if (boolSource)
                u = 0xFFFFFFFFu;
            else if (FAILED(hr = ToInteger(n, 0, 0xFFFFFFFFu, &u)))
                return hr;
            dest->ulVal = static_cast<ULONG>(u);
            break;
        case VT_I8:
            if (n.unsignedBig) return DISP_E_OVERFLOW;
            if (n.kind == Number::kReal && std::fabs(n.r) >= 9.2233720368547758e18)
                return DISP_E_OVERFLOW;
            if (FAILED(hr = ToInteger(n, std::numeric_limits<LONGLONG>::min(),
                                      std::numeric_limits<LONGLONG>::max(), &u)))
                return hr;
            dest->llVal = static_cast<LONGLONG>(u);
            break;
        case VT_UI8:
            if (boolSource)
                u = ~0ull;
            else if (n.unsignedBig)
                u = static_cast<ULONGLONG>(n.r);
            else if (n.kind == Number::kReal && n.r >= 1.8446744073709552e19)
                return DISP_E_OVERFLOW;
            else if (FAILED(hr = ToInteger(n, 0, ~0ull, &u)))
                return hr;
            dest->ullVal = u;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    dest->vt = vt;
    return S_OK;
}

HRESULT ConvertArray(VARIANT* dest, const VARIANT& src, USHORT flags, VARTYPE vt) {
    VARTYPE to = vt & VT_TYPEMASK;
    VARTYPE from;
    if (!src.parray) {
        dest->vt = vt;
        dest->parray = nullptr;
        return S_OK;
    }
    HRESULT hr = SafeArrayGetVartype(src.parray, &from);
    if (FAILED(hr)) return hr;
    if (from == to) {
        hr = SafeArrayCopy(src.parray, &dest->parray);
        if (SUCCEEDED(hr)) dest->vt = vt;
        return hr;
    }
    if (!IsScalarVt(from) || !IsScalarVt(to) || src.parray->cDims != 1) return DISP_E_TYPEMISMATCH;
    ULONG count = src.parray->rgsabound[0].cElements;
    SAFEARRAY* out = SafeArrayCreateVector(to, src.parray->rgsabound[0].lLbound, count);
    if (!out) return E_OUTOFMEMORY;
    auto* in = static_cast<unsigned char*>(src.parray->pvData);
    for (ULONG i = 0; i < count && SUCCEEDED(hr); ++i) {
        VARIANT a, b;
        VariantInit(&a);
        VariantInit(&b);
        a.vt = from;
        std::memcpy(&a.llVal, in + std::size_t{i} * src.parray->cbElements, src.parray->cbElements);
        hr = ConvertScalar(&b, a, flags, to);
        if (SUCCEEDED(hr)) {
            std::memcpy(static_cast<unsigned char*>(out->pvData) + std::size_t{i} * out->cbElements,
                        &b.llVal, out->cbElements);
        }
        // a borrows the source's string; b's string now lives in the array.
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(out);
        return hr;
    }
    dest->vt = vt;
    dest->parray = out;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    VARIANT value;  // src with references followed, owned
    VariantInit(&value);
    HRESULT hr = VariantCopyInd(&value, src);
    if (FAILED(hr)) return hr;

    VARIANT result;
    VariantInit(&result);
    if (value.vt == vt) {
        result = value;
        VariantInit(&value);
    } else if (vt & VT_ARRAY) {
        hr = (value.vt & VT_ARRAY) ? ConvertArray(&result, value, flags, vt) : DISP_E_TYPEMISMATCH;
    } else if (value.vt & VT_ARRAY) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) {
            result.vt = vt;
            if (value.punkVal) {
                hr = value.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                   reinterpret_cast<void**>(&result.punkVal));
                if (FAILED(hr)) {
                    result.vt = VT_EMPTY;
                    hr = hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
                }
            }
        } else {
            hr = DISP_E_TYPEMISMATCH;
        }
    } else if (vt == VT_EMPTY) {
        result.vt = VT_EMPTY;
    } else if (vt == VT_VARIANT || vt == VT_RECORD || vt == VT_NULL || vt == VT_ERROR) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (value.vt == VT_EMPTY || IsScalarVt(value.vt)) {
        hr = IsScalarVt(vt) ? ConvertScalar(&result, value, flags, vt) : DISP_E_BADVARTYPE;
    } else {
        hr = DISP_E_TYPEMISMATCH;
    }
    VariantClear(&value);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}
