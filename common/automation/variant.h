// A small portable automation value: the kinds a script can hand to the
// objects, stored as the platform stores them (currency as a 64-bit integer
// scaled by 10000, dates as OLE dates: days since 30 December 1899, the
// fraction being the time of day).
#pragma once

#include <cstdint>
#include <utility>

#include "common/ustring.h"

namespace wex {

enum class VariantKind {
  kEmpty,
  kNull,
  kBoolean,
  kI1,
  kI2,
  kI4,
  kI8,
  kUI1,
  kUI2,
  kUI4,
  kUI8,
  kR4,
  kR8,
  kCurrency,
  kDate,
  kString,
  kError,
  kArray,  // any array; no conversion accepts one, so its elements are not kept
};

class Variant {
 public:
  Variant() = default;  // Empty

  static Variant Null() { return Variant(VariantKind::kNull); }
  static Variant Boolean(bool value) { return Signed(VariantKind::kBoolean, value ? -1 : 0); }
  static Variant I1(int8_t value) { return Signed(VariantKind::kI1, value); }
  static Variant I2(int16_t value) { return Signed(VariantKind::kI2, value); }
  static Variant I4(int32_t value) { return Signed(VariantKind::kI4, value); }
  static Variant I8(int64_t value) { return Signed(VariantKind::kI8, value); }
  static Variant UI1(uint8_t value) { return Unsigned(VariantKind::kUI1, value); }
  static Variant UI2(uint16_t value) { return Unsigned(VariantKind::kUI2, value); }
  static Variant UI4(uint32_t value) { return Unsigned(VariantKind::kUI4, value); }
  static Variant UI8(uint64_t value) { return Unsigned(VariantKind::kUI8, value); }
  static Variant R4(float value);
  static Variant R8(double value) { return Real(VariantKind::kR8, value); }
  // The currency value scaled by 10000 (1.5 is 15000).
  static Variant Currency(int64_t scaled) { return Signed(VariantKind::kCurrency, scaled); }
  static Variant Date(double oleDate) { return Real(VariantKind::kDate, oleDate); }
  static Variant String(ustring value);
  static Variant Error(int32_t scode) { return Signed(VariantKind::kError, scode); }
  static Variant Array() { return Variant(VariantKind::kArray); }

  VariantKind kind() const { return kind_; }
  // Boolean (-1 or 0), I1 to I8, Currency (scaled), Error.
  int64_t signedValue() const { return signed_; }
  // UI1 to UI8.
  uint64_t unsignedValue() const { return unsigned_; }
  // R8 and Date.
  double realValue() const { return real_; }
  // R4.
  float singleValue() const { return single_; }
  // String.
  const ustring& stringValue() const { return string_; }

 private:
  explicit Variant(VariantKind kind) : kind_(kind) {}
  static Variant Signed(VariantKind kind, int64_t value);
  static Variant Unsigned(VariantKind kind, uint64_t value);
  static Variant Real(VariantKind kind, double value);

  VariantKind kind_ = VariantKind::kEmpty;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
  double real_ = 0.0;
  float single_ = 0.0f;
  ustring string_;
};

}  // namespace wex
