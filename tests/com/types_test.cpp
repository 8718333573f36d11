// Layouts a C client relies on, and the behaviour of GUIDs, strings and arrays.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "com/ascii_case.h"
#include "com/bstr.h"
#include "com/guid.h"
#include "com/interfaces.h"
#include "com/safearray.h"
#include "com/variant.h"

TEST(Guid, ParsesFormatsAndCompares) {
    constexpr GUID g = MakeGuid("{8E296B1A-FFBC-4A12-9DA1-4A4628765602}");
    EXPECT_EQ(g.Data1, 0x8E296B1Au);
    EXPECT_EQ(g.Data2, 0xFFBC);
    EXPECT_EQ(g.Data3, 0x4A12);
    EXPECT_EQ(g.Data4[0], 0x9D);
    EXPECT_EQ(g.Data4[7], 0x02);
    EXPECT_EQ(GuidToString(g), "{8E296B1A-FFBC-4A12-9DA1-4A4628765602}");
    // Lower case and bare forms parse to the same identifier.
    EXPECT_EQ(*GuidFromString("8e296b1a-ffbc-4a12-9da1-4a4628765602"), g);
    EXPECT_EQ(*GuidFromString("{8e296b1a-ffbc-4a12-9da1-4a4628765602}"), g);
    EXPECT_FALSE(GuidFromString("{8E296B1A-FFBC-4A12-9DA1-4A462876560}"));
    EXPECT_FALSE(GuidFromString("{8E296B1A-FFBC-4A12-9DA1x4A4628765602}"));
    EXPECT_FALSE(GuidFromString("{8E296B1A-FFBC-4A12-9DA1-4A46287656G2}"));
    EXPECT_FALSE(GuidFromString("(8E296B1A-FFBC-4A12-9DA1-4A4628765602)"));
    EXPECT_NE(g, GUID_NULL);
    EXPECT_TRUE(GUID_NULL == GUID{});
}

TEST(Bstr, HasByteLengthPrefixAndTerminator) {
    BSTR s = SysAllocString(u"héllo");
    ASSERT_NE(s, nullptr);
    ULONG prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(s[5], u'\0');
    EXPECT_EQ(Utf8FromBstr(s), "héllo");
    SysFreeString(s);

    // Embedded NULs are kept by length; a null source of a length is zero-filled.
    BSTR z = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(z), 3u);
    EXPECT_EQ(Utf8FromBstr(z), std::string("a\0b", 3));
    SysFreeString(z);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(blank[0], 0);
    EXPECT_EQ(blank[4], 0);
    SysFreeString(blank);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, ConvertsUtf8BothWaysAndReplacesMalformedInput) {
    const std::string path = "/home/ana/Música/𝄞 loop.wav";
    Bstr b(path);
    EXPECT_EQ(b.utf8(), path);
    EXPECT_EQ(b.size(), Utf16FromUtf8(path).size());
    // Truncated and overlong sequences and lone surrogates become U+FFFD.
    EXPECT_EQ(Utf16FromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8FromUtf16(u"x\xD800y"), "x\xEF\xBF\xBDy");
}

TEST(SafeArray, HasWindowsDescriptorLayout) {
    EXPECT_EQ(offsetof(SAFEARRAY, cDims), 0u);
    EXPECT_EQ(offsetof(SAFEARRAY, fFeatures), 2u);
    EXPECT_EQ(offsetof(SAFEARRAY, cbElements), 4u);
    EXPECT_EQ(offsetof(SAFEARRAY, cLocks), 8u);
    EXPECT_EQ(offsetof(SAFEARRAY, pvData), 16u);
    EXPECT_EQ(offsetof(SAFEARRAY, rgsabound), 24u);
    EXPECT_EQ(sizeof(SAFEARRAY), 32u);
    EXPECT_EQ(sizeof(SAFEARRAYBOUND), 8u);

    SAFEARRAY* a = SafeArrayCreateVector(VT_I2, 0, 7);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->cDims, 1);
    EXPECT_EQ(a->cbElements, 2u);
    EXPECT_EQ(a->rgsabound[0].cElements, 7u);
    EXPECT_EQ(a->rgsabound[0].lLbound, 0);
    EXPECT_TRUE(a->fFeatures & FADF_HAVEVARTYPE);
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_I2);
    LONG lo = -1, hi = -1;
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 6);
    EXPECT_EQ(SafeArrayGetUBound(a, 2, &hi), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);

    // Element sizes of every automation type.
    struct {
        VARTYPE vt;
        ULONG size;
    } sizes[] = {{VT_UI1, 1},      {VT_I2, 2},      {VT_BOOL, 2},    {VT_I4, 4},
                 {VT_R4, 4},       {VT_R8, 8},      {VT_CY, 8},      {VT_BSTR, 8},
                 {VT_DISPATCH, 8}, {VT_UNKNOWN, 8}, {VT_VARIANT, 24}};
    for (auto s : sizes) {
        SAFEARRAY* v = SafeArrayCreateVector(s.vt, 0, 1);
        ASSERT_NE(v, nullptr) << s.vt;
        EXPECT_EQ(SafeArrayGetElemsize(v), s.size) << s.vt;
        SafeArrayDestroy(v);
    }
    EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);  // needs its record info
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    // A byte size beyond 32 bits is refused rather than wrapped.
    EXPECT_EQ(SafeArrayCreateVector(VT_R8, 0, 0x40000000u), nullptr);
}

TEST(SafeArray, LocksGuardDestructionAndDataAccess) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(a, nullptr);
    BYTE* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(a->cLocks, 1u);
    EXPECT_EQ(data[0], 0);  // zero-filled
    data[3] = 9;
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnlock(a), E_UNEXPECTED);  // not locked any more
    BYTE b = 0;
    LONG i = 3;
    EXPECT_EQ(SafeArrayGetElement(a, &i, &b), S_OK);
    EXPECT_EQ(b, 9);
    i = 4;
    EXPECT_EQ(SafeArrayGetElement(a, &i, &b), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);

    // An empty vector still has a data pointer.
    SAFEARRAY* e = SafeArrayCreateVector(VT_I4, 0, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->pvData, nullptr);
    LONG hi = 0;
    SafeArrayGetUBound(e, 1, &hi);
    EXPECT_EQ(hi, -1);
    SafeArrayDestroy(e);
}

TEST(SafeArray, CopyOfStringsIsDeep) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, 0, 2);
    Bstr one("one");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(a, &i, one.get()), S_OK);
    SAFEARRAY* c = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &c), S_OK);
    BSTR* src = static_cast<BSTR*>(a->pvData);
    BSTR* dst = static_cast<BSTR*>(c->pvData);
    EXPECT_NE(src[0], one.get());
    EXPECT_NE(dst[0], src[0]);
    EXPECT_EQ(Utf8FromBstr(dst[0]), "one");
    EXPECT_EQ(dst[1], nullptr);
    SafeArrayDestroy(a);
    EXPECT_EQ(Utf8FromBstr(dst[0]), "one");  // still alive after the original went
    SafeArrayDestroy(c);
}

namespace {
// An object that counts its references, to see who holds it.
struct Counted : IUnknown {
    ULONG refs = 1;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
};
}  // namespace

TEST(SafeArray, AnOwnerDestroysItsArrayOnce) {
    Counted object;
    {
        SafeArrayPtr a(SafeArrayCreateVector(VT_UNKNOWN, 0, 2));
        ASSERT_TRUE(a);
        EXPECT_EQ(a.Count(), 2u);
        IUnknown* element = &object;
        LONG index = 1;
        ASSERT_EQ(SafeArrayPutElement(a.get(), &index, element), S_OK);
        EXPECT_EQ(object.refs, 2u);
        SafeArrayPtr moved(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(moved.Data<IUnknown*>()[1], static_cast<IUnknown*>(&object));
    }
    EXPECT_EQ(object.refs, 1u) << "the element went with the array";

    SafeArrayPtr out(SafeArrayCreateVector(VT_UNKNOWN, 0, 1));
    IUnknown* element = &object;
    LONG index = 0;
    SafeArrayPutElement(out.get(), &index, element);
    EXPECT_EQ(object.refs, 2u);
    SAFEARRAY** slot = out.Out();  // for an out-parameter: what was held goes
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(object.refs, 1u);
    *slot = SafeArrayCreateVector(VT_UI1, 0, 3);
    SAFEARRAY* kept = out.Detach();
    EXPECT_FALSE(out);
    EXPECT_EQ(SafeArrayDestroy(kept), S_OK);
}

TEST(AsciiCase, FoldsLettersOnly) {
    EXPECT_TRUE(EqualsIgnoringCase("InprocServer32", "INPROCSERVER32"));
    EXPECT_FALSE(EqualsIgnoringCase("ProgID", "ProgIDs"));
    EXPECT_FALSE(EqualsIgnoringCase("a[", "A{"));  // 32 apart, but no letters
    EXPECT_EQ(LowerAscii(std::string("Num\xC4z")), std::string("num\xC4z"))
        << "other bytes stand for themselves";
}

TEST(Variant, HasWindowsLayout) {
    EXPECT_EQ(sizeof(VARIANT), 24u);
    EXPECT_EQ(offsetof(VARIANT, vt), 0u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, pvRecord), 8u);
    EXPECT_EQ(offsetof(VARIANT, pRecInfo), 16u);
    EXPECT_EQ(VARIANT_TRUE, -1);
    EXPECT_EQ(sizeof(DISPPARAMS), 24u);
}
