// A server module built only for the tests of the runtime.
#include "testserver.h"

#include <algorithm>
#include <cstring>

#include "com/members.h"
#include "com/server.h"

namespace {

const RecordDesc kTestPoint{
    "TestPoint",
    GUID_TestPoint,
    sizeof(TestPoint),
    {{"X", VT_I2, offsetof(TestPoint, X)},
     {"Y", VT_I2, offsetof(TestPoint, Y)},
     {"Z", VT_I4, offsetof(TestPoint, Z)},
     {"Tag", VT_UI1, offsetof(TestPoint, Tag), 4, nullptr, "Should be \"PNT \""}},
    "A point"};

const InterfaceDesc kGreeterInterface{
    "IGreeter",
    IGreeter::iid,
    "IGreeter Interface",
    {
        Get<&IGreeter::get_Name>("Name", 1),
        Put<&IGreeter::put_Name>("Name", 1, {{"value"}}),
        FuncR<&IGreeter::Greet>("Greet", 2,
                                {{"Prefix", VT_EMPTY, true, DefaultValue::Text("Hello")}},
                                {"Greets by name."}),
    },
    TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION};

const InterfaceDesc kCalcInterface{
    "ICalc",
    ICalc::iid,
    "ICalc Interface",
    {
        FuncR<&ICalc::Add>("Add", 0x60020000,
                           {{"A"}, {"B", VT_EMPTY, true, DefaultValue::Integer(10)}},
                           {"Adds two numbers."}),
        Get<&ICalc::get_Origin>("Origin", 0x60020001, {}, {nullptr, VT_EMPTY, &kTestPoint}),
        FuncR<&ICalc::Squares>("Squares", 0x60020002, {{"Count"}}, {nullptr, VT_I4}),
        FuncR<&ICalc::Reverse>("Reverse", 0x60020003, {{"Bytes", VT_UI1}}),
        Get<&ICalc::get_Scale>("Scale", 0x60020004),
        Put<&ICalc::put_Scale>("Scale", 0x60020004, {{"value"}}),
        Get<&ICalc::get_Enabled>("Enabled", 0x60020005, {}, {nullptr, VT_BOOL}),
        FuncR<&ICalc::NotDone>("NotDone", 0x60020006),
        FuncR<&ICalc::MakeGreeter>("MakeGreeter", 0x60020007, {{"Name"}}),
    },
    TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION};

const CoclassDesc kCalcClass{"Calc", CLSID_Calc, "Calc Class",
                             TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT, &kCalcInterface};
const CoclassDesc kGreeterClass{"Greeter", CLSID_Greeter, "Greeter Class", TYPEFLAG_FCANCREATE,
                                &kGreeterInterface};

const TypeLibDesc kTypeLib{"OvraTest",
                           LIBID_OvraTest,
                           1,
                           0,
                           0x409,
                           "Runtime test server",
                           {&kTestPoint},
                           {&kCalcInterface, &kGreeterInterface},
                           {&kCalcClass, &kGreeterClass}};

class Greeter final : public DispatchObject<Greeter, IGreeter> {
  public:
    static const InterfaceDesc& Interface() { return kGreeterInterface; }

    HRESULT get_Name(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return S_OK;
    }
    HRESULT put_Name(BSTR value) override {
        name_.assign(value ? value : u"", SysStringLen(value));
        return S_OK;
    }
    HRESULT Greet(BSTR prefix, BSTR* result) override {
        if (!result) return E_POINTER;
        std::u16string text(prefix ? prefix : u"", SysStringLen(prefix));
        text += u", " + name_ + u"!";
        *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *result ? S_OK : E_OUTOFMEMORY;
    }

  private:
    std::u16string name_;
};

class Calc final : public DispatchObject<Calc, ICalc> {
  public:
    static const InterfaceDesc& Interface() { return kCalcInterface; }

    HRESULT Add(LONG a, LONG b, LONG* result) override {
        if (!result) return E_POINTER;
        *result = a + b;
        return S_OK;
    }
    HRESULT get_Origin(TestPoint* result) override {
        if (!result) return E_POINTER;
        *result = TestPoint{3, -4, 100000, {'P', 'N', 'T', ' '}};
        return S_OK;
    }
    HRESULT Squares(LONG count, SAFEARRAY** result) override {
        if (!result) return E_POINTER;
        if (count < 0) return E_FAIL;
        SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(count));
        if (!a) return E_FAIL;
        LONG* v = nullptr;
        SafeArrayAccessData(a, reinterpret_cast<void**>(&v));
        for (LONG i = 0; i < count; ++i) v[i] = i * i;
        SafeArrayUnaccessData(a);
        *result = a;
        return S_OK;
    }
    HRESULT Reverse(SAFEARRAY** bytes, LONG* count) override {
        if (!bytes || !count) return E_POINTER;
        if (!*bytes) return E_FAIL;
        BYTE* data = nullptr;
        HRESULT hr = SafeArrayAccessData(*bytes, reinterpret_cast<void**>(&data));
        if (FAILED(hr)) return hr;
        ULONG n = (*bytes)->rgsabound[0].cElements;
        std::reverse(data, data + n);
        SafeArrayUnaccessData(*bytes);
        *count = static_cast<LONG>(n);
        return S_OK;
    }
    HRESULT get_Scale(double* result) override {
        if (!result) return E_POINTER;
        *result = scale_;
        return S_OK;
    }
    HRESULT put_Scale(double value) override {
        scale_ = value;
        return S_OK;
    }
    HRESULT get_Enabled(VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        *result = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT NotDone(LONG* result) override {
        if (!result) return E_POINTER;
        return E_NOTIMPL;
    }
    HRESULT MakeGreeter(BSTR name, IGreeter** result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        Greeter* g = nullptr;
        HRESULT hr = CreateObject(&g);
        if (FAILED(hr)) return hr;
        g->put_Name(name);
        *result = g;
        return S_OK;
    }

  private:
    double scale_ = 1.5;
};

const char kAppIdScript[] = R"(
HKCR
{
    NoRemove AppID
    {
        '%APPID%' = s 'OvraTest'
        'OvraTest.DLL'
        {
            val AppID = s '%APPID%'
        }
    }
}
)";

const char kCalcScript[] = R"(
HKCR
{
    OvraTest.Calc.1 = s 'Calc Class'
    {
        CLSID = s '{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}'
    }
    OvraTest.Calc = s 'Calc Class'
    {
        CLSID = s '{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}'
        CurVer = s 'OvraTest.Calc.1'
    }
    NoRemove CLSID
    {
        ForceRemove {5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03} = s 'Calc Class'
        {
            ProgID = s 'OvraTest.Calc.1'
            VersionIndependentProgID = s 'OvraTest.Calc'
            ForceRemove 'Programmable'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
            val AppID = s '%APPID%'
            'TypeLib' = s '{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E01}'
        }
    }
}
)";

const char kGreeterScript[] = R"(
HKCR
{
    OvraTest.Greeter.1 = s 'Greeter Class'
    {
        CLSID = s '{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E04}'
    }
    NoRemove CLSID
    {
        ForceRemove {5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E04} = s 'Greeter Class'
        {
            ProgID = s 'OvraTest.Greeter.1'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
        }
    }
}
)";

const ServerDesc& Server() {
    static const ServerDesc server{&kTypeLib,
                                   APPID_OvraTest,
                                   kAppIdScript,
                                   {{&kCalcClass, &CreateInstanceOf<Calc>, kCalcScript},
                                    {&kGreeterClass, &CreateInstanceOf<Greeter>, kGreeterScript}}};
    return server;
}

}  // namespace

OVRA_SERVER_EXPORTS(Server)
