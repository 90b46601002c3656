// Results and event values of both components as VARIANTs.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>

#include "common/ustring.h"

namespace wex {

// A BSTR holding text; null (the empty string to automation) when the
// allocation fails.
inline BSTR AllocText(const ustring& text) {
  // The length prefix of a BSTR counts bytes in 32 bits: a longer text does
  // not fit, and must not be cut to its length modulo 2^32.
  constexpr size_t kMostCharacters = (0xFFFFFFFFu - 6u) / sizeof(OLECHAR);
  if (text.size() >= kMostCharacters) return nullptr;
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

// Each writes an [out] VARIANT the caller handed over empty.
inline void PutBool(VARIANT* out, bool value) {
  VariantInit(out);
  V_VT(out) = VT_BOOL;
  V_BOOL(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

inline void PutInt32(VARIANT* out, int32_t value) {
  VariantInit(out);
  V_VT(out) = VT_I4;
  V_I4(out) = value;
}

inline HRESULT PutText(VARIANT* out, const ustring& text) {
  VariantInit(out);
  BSTR value = AllocText(text);
  if (value == nullptr && !text.empty()) return E_OUTOFMEMORY;
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = value;
  return S_OK;
}

}  // namespace wex
