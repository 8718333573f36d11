// Conversions between the automation types, as late-bound calls use them.
#include <gtest/gtest.h>

#include "com/variant.h"

namespace {

Variant I4(LONG v) {
    Variant r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
Variant R8(double v) {
    Variant r;
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}
Variant Text(const char* s) {
    Variant r;
    r.vt = VT_BSTR;
    r.bstrVal = BstrFromUtf8(s);
    return r;
}
HRESULT To(const VARIANT& v, VARTYPE vt, Variant* out, USHORT flags = 0) {
    return VariantChangeType(out, &v, flags, vt);
}

}  // namespace

TEST(Variant, NumbersRoundHalfToEvenAndReportOverflow) {
    Variant out;
    struct {
        double in;
        LONG want;
    } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {2.4999, 2}, {1e9, 1000000000}};
    for (auto c : cases) {
        ASSERT_EQ(To(R8(c.in), VT_I4, &out), S_OK) << c.in;
        EXPECT_EQ(out.lVal, c.want) << c.in;
    }
    EXPECT_EQ(To(R8(3e9), VT_I4, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(To(I4(40000), VT_I2, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(To(I4(-1), VT_UI1, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(To(I4(-32768), VT_I2, &out), S_OK);
    EXPECT_EQ(out.iVal, -32768);
    ASSERT_EQ(To(I4(255), VT_UI1, &out), S_OK);
    EXPECT_EQ(out.bVal, 255);
    ASSERT_EQ(To(R8(1e39), VT_R4, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(To(I4(7), VT_R4, &out), S_OK);
    EXPECT_EQ(out.fltVal, 7.0f);
}

TEST(Variant, CurrencyIsScaledByTenThousand) {
    Variant out;
    ASSERT_EQ(To(R8(2.25), VT_CY, &out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 22500);
    EXPECT_EQ(To(R8(1e300), VT_CY, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(To(I4(120), VT_CY, &out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 1200000);
    Variant cy = out;
    ASSERT_EQ(To(cy, VT_R8, &out), S_OK);
    EXPECT_DOUBLE_EQ(out.dblVal, 120.0);
    ASSERT_EQ(To(cy, VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "120");
    cy.cyVal.int64 = -15;
    ASSERT_EQ(To(cy, VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "-0.0015");
    cy.cyVal.int64 = 25000;  // 2.5 -> 2
    ASSERT_EQ(To(cy, VT_I2, &out), S_OK);
    EXPECT_EQ(out.iVal, 2);
}

TEST(Variant, TextParsesAndFormats) {
    Variant out;
    ASSERT_EQ(To(Text(" 42 "), VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 42);
    ASSERT_EQ(To(Text("-1.5"), VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, -1.5);
    EXPECT_EQ(To(Text("4x"), VT_I4, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(To(Text(""), VT_I2, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(To(Text("70000"), VT_I2, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(To(Text("true"), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(To(Text("0"), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);

    ASSERT_EQ(To(R8(0.1), VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "0.1");
    ASSERT_EQ(To(I4(-7), VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "-7");
    Variant b;
    b.vt = VT_BOOL;
    b.boolVal = VARIANT_TRUE;
    ASSERT_EQ(To(b, VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "-1");
    ASSERT_EQ(To(b, VT_BSTR, &out, VARIANT_ALPHABOOL), S_OK);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "True");
    ASSERT_EQ(To(b, VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    ASSERT_EQ(To(I4(5), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

TEST(Variant, CopyIsDeepAndChangeTypeInPlaceWorks) {
    Variant a = Text("loop");
    Variant c = a;
    EXPECT_NE(c.bstrVal, a.bstrVal);
    EXPECT_EQ(Utf8FromBstr(c.bstrVal), "loop");

    Variant n = Text("12");
    ASSERT_EQ(VariantChangeType(&n, &n, 0, VT_I2), S_OK);
    EXPECT_EQ(n.vt, VT_I2);
    EXPECT_EQ(n.iVal, 12);

    // A reference is followed; the copy owns its value.
    LONG target = 99;
    Variant ref;
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &target;
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 99.0);
    EXPECT_EQ(VariantClear(&ref), S_OK);  // clears nothing it does not own
    EXPECT_EQ(target, 99);

    Variant empty;
    ASSERT_EQ(To(empty, VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 0);
    Variant null;
    null.vt = VT_NULL;
    EXPECT_EQ(To(null, VT_I4, &out), DISP_E_TYPEMISMATCH);
}

TEST(Variant, ArraysConvertElementByElement) {
    Variant v;
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    auto* d = static_cast<LONG*>(v.parray->pvData);
    d[0] = 1;
    d[1] = 300;
    d[2] = -2;
    Variant out;
    ASSERT_EQ(To(v, VT_ARRAY | VT_R8, &out), S_OK);
    EXPECT_EQ(static_cast<double*>(out.parray->pvData)[1], 300.0);
    ASSERT_EQ(To(v, VT_ARRAY | VT_BSTR, &out), S_OK);
    EXPECT_EQ(Utf8FromBstr(static_cast<BSTR*>(out.parray->pvData)[2]), "-2");
    EXPECT_EQ(To(v, VT_ARRAY | VT_UI1, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(To(v, VT_I4, &out), DISP_E_TYPEMISMATCH);
    // A locked array cannot be cleared away under its user.
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(v.parray);
}
