// The portable automation conversions, case by case against the values the
// platform gives for en-US (the Wine suite compares the two in bulk).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/automation/automation_arg.h"
#include "common/automation/variant.h"
#include "common/automation/variant_arg.h"
#include "common/ustring.h"

namespace wex {
namespace {

Variant S(const char16_t* text) { return Variant::String(text); }

// One row: the value, then the expected result of each conversion; a result
// that starts with "!" is the expected failure code in hexadecimal.
struct Row {
  Variant value;
  std::string text, int32, boolean;
  bool numeric;
};

std::string Failure(hresult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "!%08X", static_cast<uint32_t>(hr));
  return text;
}

std::string TextResult(const AutomationArg& arg) {
  ustring out;
  hresult hr = arg.ToString(out);
  return Failed(hr) ? Failure(hr) : ToUtf8(out);
}

// A failed conversion to a number or a Boolean leaves its output alone.
std::string Int32Result(const AutomationArg& arg) {
  int32_t out = 42;
  hresult hr = arg.ToInt32(out);
  return !Failed(hr) ? std::to_string(out) : out == 42 ? Failure(hr) : "changed";
}

std::string BoolResult(const AutomationArg& arg) {
  bool out = true;
  hresult hr = arg.ToBool(out);
  return !Failed(hr) ? (out ? "True" : "False") : out ? Failure(hr) : "changed";
}

const std::string kMismatch = "!80020005";
const std::string kOverflow = "!8002000A";
const std::string kInvalid = "!80070057";

std::vector<Row> Rows() {
  return {
      // Empty, Null, Boolean, errors and arrays.
      {Variant(), "", "0", "False", true},
      {Variant::Null(), kMismatch, kMismatch, kMismatch, false},
      {Variant::Boolean(true), "-1", "-1", "True", true},
      {Variant::Array(), kMismatch, kMismatch, kMismatch, false},
      // Doubles: half to even, out of range, the 15-digit text.
      {Variant::R8(80.5), "80.5", "80", "True", true},
      {Variant::R8(81.5), "81.5", "82", "True", true},
      {Variant::R8(-1.5), "-1.5", "-2", "True", true},
      {Variant::R8(-2.5), "-2.5", "-2", "True", true},
      {Variant::R8(2147483647.5), "2147483647.5", kOverflow, "True", true},
      {Variant::R8(2147483647.4), "2147483647.4", "2147483647", "True", true},
      {Variant::R8(-2147483648.5), "-2147483648.5", "-2147483648", "True", true},
      {Variant::R8(-2147483649.0), "-2147483649", kOverflow, "True", true},
      {Variant::R8(1e20), "1E+20", kOverflow, "True", true},
      {Variant::R8(1.0 / 3), "0.333333333333333", "0", "True", true},
      {Variant::R8(1e15), "1E+15", kOverflow, "True", true},
      {Variant::R8(123456789012345.0), "123456789012345", kOverflow, "True", true},
      {Variant::R8(1e-5), "1E-05", "0", "True", true},
      {Variant::R8(0.0001), "0.0001", "0", "True", true},
      {Variant::R8(-0.0), "0", "0", "False", true},
      {Variant::R8(0.30000000000000004), "0.3", "0", "True", true},
      {Variant::R4(16777216.0f), "1.677722E+07", "16777216", "True", true},
      {Variant::R4(0.1f), "0.1", "0", "True", true},
      // Integers of every width.
      {Variant::I2(-7), "-7", "-7", "True", true},
      {Variant::I8(int64_t{1} << 40), "1099511627776", kOverflow, "True", true},
      {Variant::UI4(4294967295u), "4294967295", "-1", "True", true},
      {Variant::UI8(UINT64_MAX), "18446744073709551615", kOverflow, "True", true},
      // Currency: four decimals without trailing zeros, half to even.
      {Variant::Currency(805000), "80.5", "80", "True", true},
      {Variant::Currency(815000), "81.5", "82", "True", true},
      {Variant::Currency(125), "0.0125", "0", "True", true},
      {Variant::Currency(INT64_MAX), "922337203685477.5807", kOverflow, "True", true},
      {Variant::Currency(INT64_MIN), "-922337203685477.5808", kOverflow, "True", true},
      // Dates: en-US text, integers like doubles, not numeric.
      {Variant::Date(0), "12:00:00 AM", "0", "False", false},
      {Variant::Date(36526), "1/1/2000", "36526", "True", false},
      {Variant::Date(36526.5), "1/1/2000 12:00:00 PM", "36526", "True", false},
      {Variant::Date(-1.25), "12/29/1899 6:00:00 AM", "-1", "True", false},
      {Variant::Date(-0.75), "6:00:00 PM", "-1", "True", false},
      {Variant::Date(36526.999999), "1/2/2000 12:00:00 AM", "36527", "True", false},
      {Variant::Date(2.5 / 86400), "12:00:03 AM", "0", "True", false},
      {Variant::Date(2958465.99999), "12/31/9999 11:59:59 PM", "2958466", "True", false},
      {Variant::Date(2958466), kInvalid, "2958466", "True", false},
      {Variant::Date(-657435), kInvalid, "-657435", "True", false},
      // Strings: numbers are parsed, the rest fails.
      {S(u" 81 "), " 81 ", "81", "True", true},
      {S(u"1E+20"), "1E+20", kOverflow, "True", true},
      {S(u"&H51"), "&H51", "81", "True", true},
      {S(u"&O17"), "&O17", "15", "True", true},
      {S(u"&HFFFFFFFF"), "&HFFFFFFFF", "-1", "True", true},
      {S(u"&H100000000"), "&H100000000", kOverflow, kOverflow, false},
      {S(u"&O8"), "&O8", kMismatch, kMismatch, false},
      {S(u"abc"), "abc", kMismatch, kMismatch, false},
      {S(u""), "", kMismatch, kMismatch, false},
      {S(u"True"), "True", kMismatch, "True", false},
      {S(u"fALSE"), "fALSE", kMismatch, "False", false},
      {S(u"#TRUE#"), "#TRUE#", kMismatch, "True", false},
      {S(u"#true#"), "#true#", kMismatch, kMismatch, false},
      {S(u" True"), " True", kMismatch, kMismatch, false},
      {S(u"0"), "0", "0", "False", true},
      {S(u"80.5"), "80.5", "80", "True", true},
      {S(u"81.5"), "81.5", "82", "True", true},
      {S(u"80.50000000000000001"), "80.50000000000000001", "81", "True", true},
      {S(u"0.06"), "0.06", "0", "True", true},
      {S(u"0.6"), "0.6", "1", "True", true},
      {S(u"2147483647.5"), "2147483647.5", kOverflow, "True", true},
      {S(u"-2147483648"), "-2147483648", "-2147483648", "True", true},
      {S(u"(5)"), "(5)", "-5", "True", true},
      {S(u"5-"), "5-", "-5", "True", true},
      {S(u"--5"), "--5", kMismatch, kMismatch, false},
      {S(u"$1,000.5"), "$1,000.5", "1000", "True", true},
      {S(u",5"), ",5", kMismatch, kMismatch, false},
      {S(u"9e5"), "9e5", "900000", "True", true},
      {S(u"1E+"), "1E+", kMismatch, kMismatch, false},
      {S(u"1e400"), "1e400", kOverflow, kOverflow, false},
      {S(u"1e-400"), "1e-400", "0", "False", true},
      {S(u"\u00a05\u3000"), "\u00a05\u3000", "5", "True", true},
      {S(u"\u200b5"), "\u200b5", kMismatch, kMismatch, false},
      {S(u"1/1/2000"), "1/1/2000", kMismatch, kMismatch, false},
  };
}

TEST(AutomationConversions, EveryRowConvertsAsThePlatformDoes) {
  for (Row& row : Rows()) {
    VariantArg arg(row.value);
    const std::string label = TextResult(arg);
    EXPECT_EQ(label, row.text);
    EXPECT_EQ(Int32Result(arg), row.int32) << "ToInt32 of " << label;
    EXPECT_EQ(BoolResult(arg), row.boolean) << "ToBool of " << label;
    EXPECT_EQ(arg.IsNumeric(), row.numeric) << "IsNumeric of " << label;
  }
}

// A script can pass NaN (JScript); it must not become an arbitrary port.
TEST(AutomationConversions, NotANumberIsOutOfRangeForAnInteger) {
  Variant value = Variant::R8(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(Int32Result(VariantArg(value)), kOverflow);
  EXPECT_EQ(TextResult(VariantArg(value)), "NAN");
}

}  // namespace
}  // namespace wex
