// The interface header of the small server the runtime's tests load: two
// classes, a record, optional arguments, array results and an in/out array.
#pragma once

#include "com/interfaces.h"

struct TestPoint {
    SHORT X;
    SHORT Y;
    LONG Z;
    BYTE Tag[4];
};
static_assert(sizeof(TestPoint) == 12);

constexpr GUID LIBID_OvraTest = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E01}");
constexpr GUID GUID_TestPoint = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E02}");
constexpr CLSID CLSID_Calc = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}");
constexpr CLSID CLSID_Greeter = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E04}");
constexpr GUID APPID_OvraTest = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E05}");

struct IGreeter : IDispatch {
    static constexpr IID iid = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E10}");
    virtual HRESULT get_Name(BSTR* result) = 0;
    virtual HRESULT put_Name(BSTR value) = 0;
    virtual HRESULT Greet(BSTR prefix, BSTR* result) = 0;
};

struct ICalc : IDispatch {
    static constexpr IID iid = MakeGuid("{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E11}");
    virtual HRESULT Add(LONG a, LONG b, LONG* result) = 0;
    virtual HRESULT get_Origin(TestPoint* result) = 0;
    virtual HRESULT Squares(LONG count, SAFEARRAY** result) = 0;
    virtual HRESULT Reverse(SAFEARRAY** bytes, LONG* count) = 0;
    virtual HRESULT get_Scale(double* result) = 0;
    virtual HRESULT put_Scale(double value) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* result) = 0;
    virtual HRESULT NotDone(LONG* result) = 0;
    virtual HRESULT MakeGreeter(BSTR name, IGreeter** result) = 0;
};
