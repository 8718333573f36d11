// The test server, end to end through the runtime alone: registered by
// ovra-regsvr, created by class and by ProgID, called through its vtable
// and by name, unregistered and unloaded.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "com/activation.h"
#include "com/comptr.h"
#include "com/registry.h"
#include "common/test_support.h"
#include "testserver.h"

namespace {

struct ToolResult {
    int status;
    std::string output;
};

ToolResult RunRegsvr(const std::string& args) {
    std::string command = std::string(REGSVR_PATH) + " " + args + " 2>&1";
    ToolResult r{-1, {}};
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.output += buf;
    r.status = ::pclose(p);
    return r;
}

// Registers class clsid's module as path in the registry file registry.
HRESULT RegisterModuleAt(const std::string& registry, const CLSID& clsid, const std::string& path) {
    return UpdateRegistry(
        registry,
        [&](Registry& r) {
            r.SetValue("CLSID\\" + GuidToString(clsid) + "\\InprocServer32", "", path);
            return S_OK;
        },
        nullptr);
}

// Invokes a member by name with positional arguments (first argument first).
HRESULT CallByName(IDispatch* d, const char* name, WORD flags, std::vector<Variant> args,
                   VARIANT* result, EXCEPINFO* info = nullptr) {
    std::u16string wide = Utf16FromUtf8(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id;
    HRESULT hr = d->GetIDsOfNames(GUID_NULL, names, 1, 0x409, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{rev.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(rev.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    UINT argErr = 0;
    return d->Invoke(id, GUID_NULL, 0x409, flags, &params, result, info, &argErr);
}

Variant I4(LONG v) {
    Variant r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

class TestServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        ::setenv("OVRA_REGISTRY", (*dir_ / "registry.reg").c_str(), 1);
        ToolResult r = RunRegsvr(std::string("-s ") + TEST_SERVER_PATH);
        ASSERT_EQ(r.status, 0) << r.output;
    }
    static void TearDownTestSuite() {
        CoFreeUnusedLibraries();
        delete dir_;
    }
    static TempDir* dir_;
};
TempDir* TestServer::dir_ = nullptr;

}  // namespace

TEST_F(TestServer, RegistrationWritesClassProgIdAppIdAndTypeLibKeys) {
    Registry reg;
    std::string error, v;
    ASSERT_EQ(ReadRegistry(Registry::DefaultPath(), &reg, &error), S_OK) << error;
    const std::string clsid = "CLSID\\" + GuidToString(CLSID_Calc);
    ASSERT_TRUE(reg.GetValue(clsid, "", &v));
    EXPECT_EQ(v, "Calc Class");
    ASSERT_TRUE(reg.GetValue(clsid + "\\InprocServer32", "", &v));
    EXPECT_EQ(v.front(), '/');
    EXPECT_NE(v.find("OvraTestServer"), std::string::npos);
    ASSERT_TRUE(reg.GetValue(clsid + "\\InprocServer32", "ThreadingModel", &v));
    EXPECT_EQ(v, "Both");
    ASSERT_TRUE(reg.GetValue(clsid, "AppID", &v));
    EXPECT_EQ(v, GuidToString(APPID_OvraTest));
    EXPECT_TRUE(reg.KeyExists(clsid + "\\Programmable"));
    ASSERT_TRUE(reg.GetValue("OvraTest.Calc\\CurVer", "", &v));
    EXPECT_EQ(v, "OvraTest.Calc.1");
    ASSERT_TRUE(reg.GetValue("AppID\\OvraTest.DLL", "AppID", &v));
    ASSERT_TRUE(reg.GetValue("TypeLib\\" + GuidToString(LIBID_OvraTest) + "\\1.0", "", &v));
    EXPECT_EQ(v, "Runtime test server");
    ASSERT_TRUE(reg.GetValue("Interface\\" + GuidToString(ICalc::iid) + "\\TypeLib", "", &v));
    EXPECT_EQ(v, GuidToString(LIBID_OvraTest));
}

TEST_F(TestServer, CreatesByClassAndProgIdAndCallsThroughTheVtable) {
    ComPtr<ICalc> calc;
    ASSERT_EQ(CoCreateInstance(CLSID_Calc, calc.Out()), S_OK);
    LONG sum = 0;
    EXPECT_EQ(calc->Add(2, 40, &sum), S_OK);
    EXPECT_EQ(sum, 42);
    EXPECT_EQ(calc->Add(2, 40, nullptr), E_POINTER);

    // The version-independent ProgID leads through CurVer to the class.
    CLSID byName;
    ASSERT_EQ(CLSIDFromProgID(u"OvraTest.Calc", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_Calc);
    CLSID unknown;
    EXPECT_EQ(CLSIDFromProgID(u"OvraTest.Nothing", &unknown), CO_E_CLASSSTRING);
    ASSERT_EQ(CLSIDFromProgID(u"OvraTest.Greeter.1", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_Greeter);

    ComPtr<IGreeter> greeter;
    ASSERT_EQ(CoCreateInstance(byName, greeter.Out()), S_OK);
    greeter->put_Name(Bstr("Ana").get());
    Bstr text;
    ASSERT_EQ(greeter->Greet(Bstr("Hi").get(), text.Out()), S_OK);
    EXPECT_EQ(text.utf8(), "Hi, Ana!");

    // A C client sees the same slots: IUnknown, IDispatch, then the members.
    struct CalcVtbl {
        void* unknown[3];
        void* dispatch[4];
        HRESULT (*Add)(ICalc*, LONG, LONG, LONG*);
    };
    auto* vtbl = *reinterpret_cast<CalcVtbl**>(calc.get());
    sum = 0;
    EXPECT_EQ(vtbl->Add(calc.get(), 5, 6, &sum), S_OK);
    EXPECT_EQ(sum, 11);
}

TEST_F(TestServer, AnswersItsInterfacesAndErrorInfoQuestions) {
    ComPtr<ICalc> calc;
    ASSERT_EQ(CoCreateInstance(CLSID_Calc, calc.Out()), S_OK);
    ComPtr<IDispatch> disp;
    EXPECT_EQ(calc.As(&disp), S_OK);
    ComPtr<IUnknown> unk1, unk2;
    EXPECT_EQ(calc.As(&unk1), S_OK);
    EXPECT_EQ(disp.As(&unk2), S_OK);
    EXPECT_EQ(unk1.get(), unk2.get()) << "one identity";
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(calc.As(&sei), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(ICalc::iid), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IGreeter::iid), S_FALSE);
    ComPtr<IGreeter> wrong;
    EXPECT_EQ(calc.As(&wrong), E_NOINTERFACE);
    EXPECT_FALSE(wrong);
    // The implementation object answers GUID_NULL without a new reference.
    void* impl = nullptr;
    EXPECT_EQ(calc->QueryInterface(GUID_NULL, &impl), S_OK);
    EXPECT_NE(impl, nullptr);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Calc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.OutVoid()),
              S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(calc.get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ComPtr<ICalc> second;
    EXPECT_EQ(factory->CreateInstance(nullptr, ICalc::iid, second.OutVoid()), S_OK);
    EXPECT_NE(second.get(), calc.get()) << "one object per request";

    EXPECT_EQ(CoCreateInstance(MakeGuid("{00000000-1111-2222-3333-444444444444}"), calc.Out()),
              REGDB_E_CLASSNOTREG);
}

TEST_F(TestServer, CallsEveryKindOfMemberByName) {
    ComPtr<IDispatch> d;
    ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_ALL, IID_IDispatch, d.OutVoid()), S_OK);
    UINT count = 0;
    EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    // Names are found without regard to case; parameters by their names too.
    std::u16string add = u"aDD", b = u"b", a = u"A";
    LPOLESTR names[] = {add.data(), b.data(), a.data()};
    DISPID ids[3];
    ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0x60020000);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);
    std::u16string none = u"Subtract";
    LPOLESTR bad[] = {none.data()};
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, bad, 1, 0, ids), DISP_E_UNKNOWNNAME);

    Variant r;
    // An omitted optional argument takes its default; text converts to a number.
    ASSERT_EQ(CallByName(d.get(), "Add", DISPATCH_METHOD, {I4(5)}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 15);
    Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = BstrFromUtf8("7");
    ASSERT_EQ(CallByName(d.get(), "Add", DISPATCH_METHOD, {I4(5), text}, &r), S_OK);
    EXPECT_EQ(r.lVal, 12);

    // Named arguments, given in any order.
    Variant named[2] = {I4(100), I4(1)};  // rgvarg: B=100, A=1
    DISPID namedIds[2] = {1, 0};
    DISPPARAMS np{named, namedIds, 2, 2};
    ASSERT_EQ(d->Invoke(0x60020000, GUID_NULL, 0, DISPATCH_METHOD, &np, &r, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(r.lVal, 101);

    // Bad calls get the dispatch error codes.
    EXPECT_EQ(CallByName(d.get(), "Add", DISPATCH_METHOD, {}, &r), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(CallByName(d.get(), "Add", DISPATCH_METHOD, {I4(1), I4(2), I4(3)}, &r),
              DISP_E_BADPARAMCOUNT);
    Variant word;
    word.vt = VT_BSTR;
    word.bstrVal = BstrFromUtf8("five");
    EXPECT_EQ(CallByName(d.get(), "Add", DISPATCH_METHOD, {word}, &r), DISP_E_TYPEMISMATCH);
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    EXPECT_EQ(d->Invoke(0x12345, GUID_NULL, 0, DISPATCH_METHOD, &empty, &r, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(d->Invoke(0x60020000, IID_IUnknown, 0, DISPATCH_METHOD, &empty, &r, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // Property get and put; a VARIANT_BOOL property comes back as VT_BOOL.
    Variant half;
    half.vt = VT_R4;
    half.fltVal = 0.5f;
    ASSERT_EQ(CallByName(d.get(), "Scale", DISPATCH_PROPERTYPUT, {half}, nullptr), S_OK);
    ASSERT_EQ(CallByName(d.get(), "scale", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_R8);
    EXPECT_EQ(r.dblVal, 0.5);
    ASSERT_EQ(CallByName(d.get(), "Enabled", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_BOOL);
    EXPECT_EQ(r.boolVal, VARIANT_TRUE);

    // A member's failure arrives as an exception carrying its HRESULT.
    EXCEPINFO info{};
    EXPECT_EQ(CallByName(d.get(), "NotDone", DISPATCH_METHOD, {}, &r, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, E_NOTIMPL);
    EXPECT_EQ(Utf8FromBstr(info.bstrDescription), "Not implemented");
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    EXPECT_EQ(CallByName(d.get(), "NotDone", DISPATCH_METHOD, {}, &r), E_NOTIMPL);

    // Objects come back as IDispatch and can be called on in turn.
    Variant name;
    name.vt = VT_BSTR;
    name.bstrVal = BstrFromUtf8("Bo");
    Variant greeter;
    ASSERT_EQ(CallByName(d.get(), "MakeGreeter", DISPATCH_METHOD, {name}, &greeter), S_OK);
    ASSERT_EQ(greeter.vt, VT_DISPATCH);
    ASSERT_EQ(CallByName(greeter.pdispVal, "Greet", DISPATCH_METHOD, {}, &r), S_OK);
    EXPECT_EQ(Utf8FromBstr(r.bstrVal), "Hello, Bo!");
}

TEST_F(TestServer, ReturnsRecordsAndArraysAndUpdatesInOutArrays) {
    ComPtr<IDispatch> d;
    ASSERT_EQ(
        CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.OutVoid()),
        S_OK);
    Variant r;
    ASSERT_EQ(CallByName(d.get(), "Origin", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_RECORD);
    ASSERT_NE(r.pRecInfo, nullptr);
    ULONG size = 0;
    r.pRecInfo->GetSize(&size);
    EXPECT_EQ(size, sizeof(TestPoint));
    GUID g;
    r.pRecInfo->GetGuid(&g);
    EXPECT_EQ(g, GUID_TestPoint);
    const auto* p = static_cast<const TestPoint*>(r.pvRecord);
    EXPECT_EQ(p->X, 3);
    EXPECT_EQ(p->Y, -4);
    EXPECT_EQ(p->Z, 100000);
    Variant field;
    ASSERT_EQ(r.pRecInfo->GetField(r.pvRecord, u"z", &field), S_OK);
    EXPECT_EQ(field.vt, VT_I4);
    EXPECT_EQ(field.lVal, 100000);
    ASSERT_EQ(r.pRecInfo->GetField(r.pvRecord, u"Tag", &field), S_OK);
    ASSERT_EQ(field.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(std::string(static_cast<char*>(field.parray->pvData), 4), "PNT ");
    Variant copy = r;
    EXPECT_NE(copy.pvRecord, r.pvRecord);
    EXPECT_EQ(static_cast<TestPoint*>(copy.pvRecord)->Z, 100000);

    ASSERT_EQ(CallByName(d.get(), "Squares", DISPATCH_METHOD, {I4(4)}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(r.parray->rgsabound[0].cElements, 4u);
    EXPECT_EQ(static_cast<LONG*>(r.parray->pvData)[3], 9);
    EXPECT_EQ(CallByName(d.get(), "Squares", DISPATCH_METHOD, {I4(-1)}, &r, nullptr), E_FAIL);

    // In/out: the caller's own array, by reference, is changed in place.
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
    std::memcpy(bytes->pvData, "abc", 3);
    Variant ref;
    ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    ref.pparray = &bytes;
    ASSERT_EQ(CallByName(d.get(), "Reverse", DISPATCH_METHOD, {ref}, &r), S_OK);
    EXPECT_EQ(r.lVal, 3);
    EXPECT_EQ(std::string(static_cast<char*>(bytes->pvData), 3), "cba");
    SafeArrayDestroy(bytes);
    // By value it works on the call's copy; other array types do not fit.
    Variant squares;
    ASSERT_EQ(CallByName(d.get(), "Squares", DISPATCH_METHOD, {I4(2)}, &squares), S_OK);
    EXPECT_EQ(CallByName(d.get(), "Reverse", DISPATCH_METHOD, {squares}, &r), DISP_E_TYPEMISMATCH);

    // The type information carries names and help strings.
    ComPtr<ITypeInfo> ti;
    ASSERT_EQ(d->GetTypeInfo(0, 0, ti.Out()), S_OK);
    Bstr member, doc;
    ASSERT_EQ(ti->GetDocumentation(0x60020000, member.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(member.utf8(), "Add");
    EXPECT_EQ(doc.utf8(), "Adds two numbers.");
    ASSERT_EQ(ti->GetDocumentation(MEMBERID_NIL, member.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(member.utf8(), "ICalc");
    EXPECT_EQ(doc.utf8(), "ICalc Interface");
    BSTR names[4] = {};
    UINT n = 0;
    ASSERT_EQ(ti->GetNames(0x60020000, names, 4, &n), S_OK);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(Utf8FromBstr(names[2]), "B");
    for (UINT i = 0; i < n; ++i) SysFreeString(names[i]);
}

TEST_F(TestServer, StaysLoadedWhileObjectsOrLocksLiveAndUnloadsAfter) {
    CoFreeUnusedLibraries();
    {
        ComPtr<ICalc> calc;
        ASSERT_EQ(CoCreateInstance(CLSID_Calc, calc.Out()), S_OK);
        Variant record;
        ComPtr<IDispatch> d = calc.As<IDispatch>();
        ASSERT_EQ(CallByName(d.get(), "Origin", DISPATCH_PROPERTYGET, {}, &record), S_OK);
        EXPECT_EQ(CoLoadedModuleCount(), 1);
        calc = nullptr;
        d = nullptr;
        CoFreeUnusedLibraries();
        EXPECT_EQ(CoLoadedModuleCount(), 1) << "the record's information still lives in it";
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedModuleCount(), 0);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Greeter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.OutVoid()),
              S_OK);
    factory->LockServer(TRUE);
    factory = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedModuleCount(), 1) << "locked";
    // Loading again returns the same module; unlocking lets it go.
    ASSERT_EQ(CoGetClassObject(CLSID_Greeter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.OutVoid()),
              S_OK);
    EXPECT_EQ(CoLoadedModuleCount(), 1);
    factory->LockServer(FALSE);
    factory = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedModuleCount(), 0);
}

TEST(Activation, ReportsMissingModulesBadModulesAndDamagedRegistries) {
    TempDir dir;
    std::string path = dir / "registry.reg";
    ::setenv("OVRA_REGISTRY", path.c_str(), 1);
    const CLSID missing = MakeGuid("{5B0A8C8E-0000-0000-0000-000000000001}");
    const CLSID noExports = MakeGuid("{5B0A8C8E-0000-0000-0000-000000000002}");
    ASSERT_EQ(UpdateRegistry(
                  path,
                  [&](Registry& r) {
                      r.SetValue("CLSID\\" + GuidToString(missing) + "\\InprocServer32", "",
                                 dir / "gone.so");
                      r.SetValue("CLSID\\" + GuidToString(noExports) + "\\InprocServer32", "",
                                 NO_EXPORTS_PATH);
                      return S_OK;
                  },
                  nullptr),
              S_OK);
    ComPtr<IUnknown> obj;
    EXPECT_EQ(CoCreateInstance(missing, obj.Out()), CO_E_DLLNOTFOUND);
    EXPECT_EQ(CoCreateInstance(noExports, obj.Out()), CO_E_ERRORINDLL);

    // ovra-regsvr says what went wrong and exits non-zero.
    ToolResult r = RunRegsvr(NO_EXPORTS_PATH);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("does not export DllRegisterServer"), std::string::npos) << r.output;
    r = RunRegsvr(dir / "gone.so");
    EXPECT_NE(r.status, 0);

    // A damaged registry is reported and left as it is.
    std::string text = ReadText(path);
    WriteText(path, text.substr(0, text.size() - 10));
    EXPECT_EQ(CoCreateInstance(missing, obj.Out()), REGDB_E_READREGDB);
    r = RunRegsvr(TEST_SERVER_PATH);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("0x80040150"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("truncated"), std::string::npos) << r.output;
    EXPECT_EQ(ReadText(path), text.substr(0, text.size() - 10));
    EXPECT_NE(LastRegistryReadError().find(path + ": line "), std::string::npos);
    EXPECT_NE(r.output.find("--repair"), std::string::npos) << r.output;

    // --repair keeps the damaged file and registers afresh.
    r = RunRegsvr(std::string("--repair ") + TEST_SERVER_PATH);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadText(path + ".damaged"), text.substr(0, text.size() - 10));
    EXPECT_NE(r.output.find("kept as"), std::string::npos) << r.output;
    EXPECT_EQ(CoCreateInstance(missing, obj.Out()), REGDB_E_CLASSNOTREG);
}

// A module whose path holds a newline, quotes and backslashes registers,
// and the registry still reads back for every later activation.
TEST(Activation, ModulePathsWithAnyCharacterRegisterAndActivate) {
    TempDir dir;
    ::setenv("OVRA_REGISTRY", (dir / "registry.reg").c_str(), 1);
    const std::string odd = dir / "odd \"name\"\nwith\\lines.so";
    std::filesystem::copy_file(TEST_SERVER_PATH, odd);
    ToolResult r = RunRegsvr("'" + odd + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    Registry reg;
    std::string error, value;
    ASSERT_EQ(ReadRegistry(dir / "registry.reg", &reg, &error), S_OK) << error;
    ComPtr<IUnknown> obj;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, obj.Out()), S_OK);
    // Registering another module afterwards still works.
    r = RunRegsvr(std::string("-s ") + TEST_SERVER_PATH);
    EXPECT_EQ(r.status, 0) << r.output;
    obj = nullptr;
    CoFreeUnusedLibraries();
}

TEST(Activation, UnregisteringRemovesAllButNoRemoveKeys) {
    TempDir dir;
    std::string path = dir / "registry.reg";
    ::setenv("OVRA_REGISTRY", path.c_str(), 1);
    ASSERT_EQ(RunRegsvr(TEST_SERVER_PATH).status, 0);
    ToolResult r = RunRegsvr(std::string("-u ") + TEST_SERVER_PATH);
    ASSERT_EQ(r.status, 0) << r.output;
    Registry reg;
    ASSERT_EQ(ReadRegistry(path, &reg, nullptr), S_OK);
    EXPECT_TRUE(reg.KeyExists("CLSID"));
    EXPECT_TRUE(reg.KeyExists("AppID"));
    EXPECT_FALSE(reg.KeyExists("CLSID\\" + GuidToString(CLSID_Calc)));
    EXPECT_FALSE(reg.KeyExists("OvraTest.Calc"));
    EXPECT_FALSE(reg.KeyExists("AppID\\OvraTest.DLL"));
    EXPECT_FALSE(reg.KeyExists("TypeLib\\" + GuidToString(LIBID_OvraTest)));
    EXPECT_FALSE(reg.KeyExists("Interface\\" + GuidToString(ICalc::iid)));
    ComPtr<ICalc> calc;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, calc.Out()), REGDB_E_CLASSNOTREG);
}

// A machine-wide registration serves every user; a user's own registration
// of the same class overrides it, and a damaged machine-wide file is named.
TEST(Activation, TheMachineWideRegistryServesUsersWhoseOwnOverridesIt) {
    TempDir dir;
    const std::string user = dir / "user.reg", system = dir / "system.reg";
    ::setenv("OVRA_REGISTRY", user.c_str(), 1);
    ::setenv("OVRA_SYSTEM_REGISTRY", system.c_str(), 1);
    ToolResult r = RunRegsvr(std::string("--system -s ") + TEST_SERVER_PATH);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(user));
    ComPtr<IUnknown> obj;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, obj.Out()), S_OK);
    CLSID byName{};
    EXPECT_EQ(CLSIDFromProgID(u"OvraTest.Calc", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_Calc);
    obj = nullptr;

    CoFreeUnusedLibraries();
    // The user's own copy, registered, is the one loaded.
    const std::string own = dir / "users-own.so";
    std::filesystem::copy_file(TEST_SERVER_PATH, own);
    ASSERT_EQ(RegisterModuleAt(user, CLSID_Calc, own), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, obj.Out()), S_OK);
    EXPECT_NE(ReadText("/proc/self/maps").find(own), std::string::npos);
    obj = nullptr;
    CoFreeUnusedLibraries();
    // Once that copy is gone, the machine's registration serves again.
    std::filesystem::remove(own);
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, obj.Out()), S_OK);
    EXPECT_EQ(LastActivationError(), "");
    obj = nullptr;
    // With the machine's module gone too, both registrations are named.
    ASSERT_EQ(RegisterModuleAt(system, CLSID_Calc, dir / "machine.so"), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, obj.Out()), CO_E_DLLNOTFOUND);
    const std::string said = LastActivationError();
    EXPECT_NE(said.find(user + " registers class " + GuidToString(CLSID_Calc) + " in " + own +
                        ", which does not exist"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(system), std::string::npos) << said;
    EXPECT_NE(said.find(dir / "machine.so"), std::string::npos) << said;

    WriteText(system, "");
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, obj.Out()), REGDB_E_READREGDB);
    EXPECT_NE(LastRegistryReadError().find(system + ": line 1"), std::string::npos);
    ::unsetenv("OVRA_SYSTEM_REGISTRY");
    CoFreeUnusedLibraries();
}

// Registrations of modules that are gone are reported by --repair and
// removed by --prune, or one module's by -u; nothing else is touched.
TEST(Activation, RegistrationsOfModulesThatAreGoneArePruned) {
    TempDir dir;
    const std::string path = dir / "registry.reg", copy = dir / "copy.so";
    ::setenv("OVRA_REGISTRY", path.c_str(), 1);
    std::filesystem::copy_file(TEST_SERVER_PATH, copy);
    ASSERT_EQ(RunRegsvr("-s " + copy).status, 0);
    const CLSID other = MakeGuid("{5B0A8C8E-0000-0000-0000-0000000000AA}");
    ASSERT_EQ(RegisterModuleAt(path, other, NO_EXPORTS_PATH), S_OK);
    std::filesystem::remove(copy);

    ToolResult r = RunRegsvr("--repair");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(
        r.output.find("CLSID\\" + GuidToString(CLSID_Calc) + " names " + copy + ", which is gone"),
        std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("--prune"), std::string::npos) << r.output;

    r = RunRegsvr("--prune");
    ASSERT_EQ(r.status, 0) << r.output;
    Registry reg;
    ASSERT_EQ(ReadRegistry(path, &reg, nullptr), S_OK);
    EXPECT_FALSE(reg.KeyExists("CLSID\\" + GuidToString(CLSID_Calc)));
    EXPECT_FALSE(reg.KeyExists("OvraTest.Calc")) << "its ProgID goes with it";
    EXPECT_FALSE(reg.KeyExists("TypeLib\\" + GuidToString(LIBID_OvraTest) + "\\1.0"));
    EXPECT_TRUE(reg.KeyExists("CLSID\\" + GuidToString(other))) << "a module still there stays";
    EXPECT_NE(r.output.find("Removed OvraTest.Calc"), std::string::npos) << r.output;
    r = RunRegsvr("--prune");
    EXPECT_NE(r.output.find("registers no module that is gone"), std::string::npos) << r.output;

    // -u of a module that is gone removes what names it, and only that.
    ASSERT_EQ(RegisterModuleAt(path, CLSID_Calc, copy), S_OK);
    r = RunRegsvr("-u " + copy);
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(ReadRegistry(path, &reg, nullptr), S_OK);
    EXPECT_FALSE(reg.KeyExists("CLSID\\" + GuidToString(CLSID_Calc)));
    EXPECT_TRUE(reg.KeyExists("CLSID\\" + GuidToString(other)));
    r = RunRegsvr("-u " + copy);
    EXPECT_NE(r.status, 0) << "nothing left to unregister";

    // Help and version on standard output.
    r = RunRegsvr("--version 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("ovra-regsvr ", 0), 0u) << r.output;
    r = RunRegsvr("--help 2>/dev/null");
    EXPECT_NE(r.output.find("--prune"), std::string::npos) << r.output;
}
