// One automation argument as the caller passed it, and the few operations the
// scriptable objects need on it. Windows reads the caller's VARIANT with the
// platform's own conversions; the native build has a portable variant that
// follows the same rules (en-US). Results are HRESULT values on both.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

using hresult = int32_t;  // HRESULT values, portable

constexpr hresult kS_OK = 0;
constexpr hresult kDISP_E_TYPEMISMATCH = static_cast<hresult>(0x80020005);
constexpr hresult kDISP_E_OVERFLOW = static_cast<hresult>(0x8002000A);
constexpr hresult kE_INVALIDARG = static_cast<hresult>(0x80070057);
constexpr hresult kE_OUTOFMEMORY = static_cast<hresult>(0x8007000E);
constexpr hresult kE_FAIL = static_cast<hresult>(0x80004005);
constexpr hresult kE_UNEXPECTED = static_cast<hresult>(0x8000FFFF);
constexpr hresult kE_POINTER = static_cast<hresult>(0x80004003);

inline bool Failed(hresult hr) { return hr < 0; }

// How many default values an object argument is followed through before
// what is still an object counts as a value that does not convert. One level
// is what a well-behaved object needs; an object whose default value is
// itself would otherwise be asked for ever.
constexpr int kMaxDefaultValueDepth = 8;

class AutomationArg {  // one argument as the caller passed it (by reference)
 public:
  virtual ~AutomationArg() = default;
  virtual hresult ToString(ustring& out) const = 0;
  virtual hresult ToInt32(int32_t& out) const = 0;
  virtual hresult ToBool(bool& out) const = 0;
  // Values of a numeric type (Boolean and Empty included) and strings that
  // parse as a number; not dates, Null, errors, arrays.
  virtual bool IsNumeric() const = 0;
  // Writes back into the caller's argument where it can hold a string; where
  // it cannot (a reference to a number, say), the text is dropped and the
  // call still succeeds, as for an argument passed by value.
  virtual hresult SetString(const ustring& value) = 0;
};

}  // namespace wex
