// The portable argument conversions (VariantArg) give what the platform's
// (ComVariantArg, VariantChangeTypeEx) give, for one table of values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/automation/automation_arg.h"
#include "common/automation/variant.h"
#include "common/automation/variant_arg.h"
#include "common/automation/win32/com_variant_arg.h"
#include "common/ustring.h"
#include "tests/wine/support/automation.h"

namespace wex {
namespace {

constexpr LCID kEnUs = 0x0409;  // the portable rules are en-US's

// The same value as a caller's VARIANT. The integer kinds, currency and
// error share the union's low bytes, so each is written as a 64-bit number.
Var ToComVariant(const Variant& value) {
  static const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_BOOL, VT_I1,   VT_I2,   VT_I4,
                                   VT_I8,    VT_UI1,  VT_UI2,  VT_UI4,  VT_UI8,  VT_R4,
                                   VT_R8,    VT_CY,   VT_DATE, VT_BSTR, VT_ERROR};
  if (value.kind() == VariantKind::kArray) {
    SAFEARRAYBOUND bound = {2, 0};
    Var out = Var::OfType(VT_ARRAY | VT_VARIANT);
    V_ARRAY(&out) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    return out;
  }
  Var out = Var::OfType(kTypes[static_cast<int>(value.kind())]);
  switch (value.kind()) {
    case VariantKind::kBoolean:
      V_BOOL(&out) = value.signedValue() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VariantKind::kUI1:
    case VariantKind::kUI2:
    case VariantKind::kUI4:
    case VariantKind::kUI8:
      V_UI8(&out) = value.unsignedValue();
      break;
    case VariantKind::kR4:
      V_R4(&out) = value.singleValue();
      break;
    case VariantKind::kR8:
    case VariantKind::kDate:
      V_R8(&out) = value.realValue();
      break;
    case VariantKind::kString:
      V_BSTR(&out) = UniqueBstr::FromText(value.stringValue()).release();
      break;
    default:
      V_I8(&out) = value.signedValue();
  }
  return out;
}

// The four conversions' results on one line: each value, or "!" and the
// failure code.
std::string Results(const AutomationArg& arg) {
  ustring text;
  int32_t number = 0;
  bool flag = false;
  const hresult codes[] = {arg.ToString(text), arg.ToInt32(number), arg.ToBool(flag)};
  const std::string values[] = {"\"" + ToUtf8(text) + "\"", std::to_string(number),
                                flag ? "True" : "False"};
  std::string line;
  for (int i = 0; i < 3; ++i) {
    char failure[16];
    std::snprintf(failure, sizeof failure, "!%08X", static_cast<uint32_t>(codes[i]));
    line += (Failed(codes[i]) ? failure : values[i]) + " ";
  }
  return line + (arg.IsNumeric() ? "numeric" : "not numeric");
}

// The string rows, separated by '|'. Rows where Wine's own conversion is wrong
// (fractions below 0.1 rounded by their first digit, &H80000001 to &HFFFFFFFF
// read as too large, NaN as 2147483647) are the native suite's alone.
const char16_t kStrings[] =
    u"81| 81 |\t81\t|1E+20|&H51|&h51|&O17|&o17|&H80000000|&H7FFFFFFF|&HFFFF|&H8000|&H|&Hx|&HG|"
    u"&O8|&17|abc|| |True|False|true|FALSE|tRuE| True|True |#TRUE#|#FALSE#|#true#|#True#|Yes|On|"
    u"1|0|-1|+5|5-|5+|(5)|(5|- 5|-5|--5|1,000|1,00|,5|5,|1,000.5|1.000,5|$5|5$|$ 5|80.5|81.5|"
    u"-0.5|0.5|1.5|2147483647.5|2147483647|2147483648|-2147483648|-2147483649|.5|5.|.|1e5|1E|"
    u"1E+|1e-2|1.5e3|1d5|1e400|1e-400|0x10|12abc|1 2|00081|1.23456789012345678901234567890|"
    u"123456789012345678901234567890|0.0000000000000000000001|5e-1|25e-1|35e-1|1/1/2000|12:00|"
    u"\u00a05|\u30005|5\n|\n5|\r5|\v5|\f5|5\u00a0|\u20035|\u00855|\u200b5|\ufeff5|\u16805|"
    u"\u180e5|\u001c5|\u001f5|\u20295|\u20005|\u200a5|\uff15|1..2|1.2.3|+|-|e5|&H-1|-&H1|&H 1|"
    u" &H1|&H1 |&HFFFFFFFFFF|&O40000000000|&B101|1,|(-5)|-(5)|5 -|+-5|1e+5.5|Infinity|NaN|"
    u"1.#INF|0.05|0.5|0.6|1.06|80.50000000000000001|80.49999999999999999|"
    u"&H0000000000000000000051|&H1-|(&H1)|&H1.5|&H1e|&H1,0|$&H1|&O|&O78|&H0|&O0|0,5|00,5|.,5|"
    u"1.,5|-,5|$,5|1,,0|1,e5|1e5,|1e05|1e-0|1e 5|.e5|1.e5|.5e1|1e5.|1e+-5|1e--5|1E5E5|1e5+|1e5-|"
    u"5--|5++|-5-|+5+|+5-|-5+|(5)-|-(5)-|(5))|((5))|( 5 )|(5)5|5)|(-5|$5$|5$$|-$5|$-5|5 $|(-$5)|"
    u"$(5)|$$5|$|$.5|5$5|- - 5|+ 5|1.5e-15|5e-324|1e-320|1e-308|1.7976931348623157e308|1.79e308|"
    u"1.8e308|0.00000000000000000000000000000000000001e-300|000|-0|0.0|-0.0|0e5|00.000|0.|-0.4|"
    u"-0.6|-2.5|2.5|4.5|-4.5|9999999999999999999999|18446744073709551615|1e19|-1e19|&H1e5|"
    u"\u00e9t\u00e9|1\u00a0000";

// clang-format off
const double kReals[] = {
    80.5, 81.5, -0.5, 0.5, 1.5, 2.5, -1.5, -2.5, 0.0, -0.0, 1.0, -1.0, 100.0, 2147483647.5,
    2147483646.5, 2147483647.4, -2147483648.5, -2147483648.4, -2147483649.0, 2147483648.0, 1e20,
    -1e20, 0.1, 1.0 / 3, 2.0 / 3, 123456789012345678.0, 1e15, 1e14, 123456789012345.0,
    1234567890123456.0, 1e16, 1e-5, 0.0001, 0.00012345, 1e-300, 5e-324, 1.7976931348623157e308,
    0.30000000000000004, 12345.678, 2.5e-7, 3.14159265358979, -987654.321, 0.49999999999999994,
    1e21, 99999999999999.9, 999999999999999.0, HUGE_VAL, -HUGE_VAL};
const float kSingles[] = {
    80.5f, 0.1f, 1e20f, 3.4028235e38f, 16777216.0f, 1234567.0f, 12345678.0f, -2.5f, 1e-10f};
const int64_t kCurrencies[] = {
    0, 805000, 815000, -5000, 125, 12345678901234, -12345, 10000, -25000, 21474836475000,
    -21474836485000, INT64_MAX, INT64_MIN};
const double kDates[] = {
    0.0, 1.0, 2.0, 36526.0, 36526.5, 0.5, 0.25, -1.0, -1.5, -1.25, -0.75, -0.5, 45000.75,
    2958465.99999, 36526.0000001, 36526.999999, 1.5 / 86400, 2.5 / 86400, 80.5, 81.5, 3e6,
    -700000.0, 2958466.0, -657435.0, 1.9999999, -1.0000001, 44197.3333333333, 60.0, 61.0};
// clang-format on

std::vector<Variant> Table() {
  std::vector<Variant> rows = {Variant(), Variant::Null(), Variant::Boolean(true)};
  rows.insert(rows.end(), {Variant::Boolean(false), Variant::Error(5), Variant::Array()});
  rows.insert(rows.end(), {Variant::Error(static_cast<int32_t>(0x80020004)), Variant::I1(-7)});
  rows.insert(rows.end(), {Variant::I2(-32768), Variant::I2(12345), Variant::I4(0)});
  rows.insert(rows.end(), {Variant::I4(2147483647), Variant::I4(-2147483647 - 1)});
  rows.insert(rows.end(), {Variant::I8(int64_t{1} << 40), Variant::I8(-5)});
  rows.insert(rows.end(), {Variant::I8(-2147483649LL), Variant::UI1(200), Variant::UI2(65535)});
  rows.insert(rows.end(), {Variant::UI4(7), Variant::UI4(4294967295u)});
  rows.insert(rows.end(), {Variant::UI8(2147483648u), Variant::UI8(~uint64_t{0})});
  for (double d : kReals) rows.push_back(Variant::R8(d));
  for (float f : kSingles) rows.push_back(Variant::R4(f));
  for (int64_t c : kCurrencies) rows.push_back(Variant::Currency(c));
  for (double d : kDates) rows.push_back(Variant::Date(d));
  const ustring strings(kStrings, std::size(kStrings) - 1);
  for (size_t start = 0, end = 0; end != ustring::npos; start = end + 1) {
    end = strings.find(u'|', start);
    rows.push_back(Variant::String(strings.substr(start, end - start)));
  }
  return rows;
}

TEST(AutomationDifferential, PortableRulesGiveWhatVariantChangeTypeExGives) {
  std::vector<Variant> rows = Table();
  ASSERT_EQ(rows.size(), 22u + 48 + 9 + 13 + 29 + 221);
  for (Variant& value : rows) {
    Var plain = ToComVariant(value), reference = Var::OfType(VT_BYREF | VT_VARIANT);
    V_VARIANTREF(&reference) = &plain;
    const std::string expected = Results(ComVariantArg(&plain, kEnUs));
    const std::string portable = Results(VariantArg(value));
    EXPECT_EQ(portable, expected) << "kind " << static_cast<int>(value.kind());
    EXPECT_EQ(Results(ComVariantArg(&reference, kEnUs)), expected)
        << "by reference of " << portable;
  }
}

// A string written back replaces a BSTR held by reference and a plain value
// (a VARIANT or a number by reference goes through the server in the client test).
TEST(AutomationWriteBack, TheStringReplacesWhatTheArgumentCanHold) {
  UniqueBstr slot(SysAllocString(L"old"));
  Var toBstr = Var::OfType(VT_BYREF | VT_BSTR);
  V_BSTRREF(&toBstr) = slot.put();
  *V_BSTRREF(&toBstr) = SysAllocString(L"old");
  EXPECT_EQ(ComVariantArg(&toBstr).SetString(u"10061"), kS_OK);
  EXPECT_EQ(BstrText(slot.get()), u"10061");

  Var plain = Var::OfType(VT_R8);
  V_R8(&plain) = 80.5;
  EXPECT_EQ(ComVariantArg(&plain).SetString(u""), kS_OK);
  ASSERT_EQ(V_VT(&plain), VT_BSTR);
  EXPECT_NE(V_BSTR(&plain), nullptr);
  EXPECT_EQ(plain.Text(), L"");
}

// Default values are followed to the depth limit and no deeper, even from an
// object that is its own default value, asking a bounded number of times.
TEST(AutomationObjects, DefaultValuesAreFollowedToABoundedDepth) {
  const struct {
    int objects;  // in the chain ending in the value; 0: one object that is its own value
    const wchar_t* value;
    bool converts;
  } cases[] = {{1, L"81", true},
               {kMaxDefaultValueDepth, L"81", true},
               {kMaxDefaultValueDepth + 1, L"81", false},
               {0, nullptr, false}};
  for (const auto& c : cases) {
    std::vector<ComPtr<FakeDispatch>> chain(c.objects > 0 ? c.objects : 1);
    for (size_t i = chain.size(); i-- > 0;) {
      chain[i] = FakeDispatch::Make();
      if (i + 1 < chain.size()) chain[i]->next = chain[i + 1].get();
    }
    chain.back()->value = c.value;
    for (VARTYPE vt :
         {VARTYPE(VT_DISPATCH), VARTYPE(VT_UNKNOWN), VARTYPE(VT_BYREF | VT_DISPATCH)}) {
      SCOPED_TRACE(testing::Message() << c.objects << " objects, vt " << vt);
      IDispatch* slot = chain[0].get();
      VARIANT arg;  // borrows the object: nothing to clear
      V_VT(&arg) = vt;
      V_DISPATCH(&arg) = slot;
      if (vt == (VT_BYREF | VT_DISPATCH)) V_DISPATCHREF(&arg) = &slot;
      ComVariantArg com(&arg);
      int32_t port = 0;
      ustring text;
      bool flag = false;
      const hresult expected = c.converts ? kS_OK : kDISP_E_TYPEMISMATCH;
      EXPECT_EQ(com.ToInt32(port), expected);
      EXPECT_EQ(com.ToString(text), expected);
      EXPECT_EQ(com.ToBool(flag), expected);
      EXPECT_EQ(com.IsNumeric(), c.converts);
      if (c.converts) {
        EXPECT_EQ(port, 81);
      }
    }
    int asked = 0;
    for (const ComPtr<FakeDispatch>& o : chain) asked += o->asked;
    EXPECT_LE(asked, 3 * 4 * kMaxDefaultValueDepth) << c.objects << " objects";
    for (const ComPtr<FakeDispatch>& o : chain) EXPECT_EQ(o->References(), 1u);
  }
  ComPtr<FakeDispatch> word = FakeDispatch::Make();
  word->value = L"abc";
  Var arg(word.get());
  EXPECT_FALSE(ComVariantArg(&arg).IsNumeric());
}

}  // namespace
}  // namespace wex
