// Owns one BSTR from its allocation to its SysFreeString.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>

#include "common/ustring.h"
#include "common/win32/unique_resource.h"

namespace wex {

struct BstrTraits {
  using Type = BSTR;
  static BSTR None() { return nullptr; }
  static void Close(BSTR bstr) { SysFreeString(bstr); }
};

class UniqueBstr : public UniqueResource<BstrTraits> {
 public:
  using UniqueResource::UniqueResource;

  // A copy of the text (an empty BSTR for empty text); null when out of memory.
  static UniqueBstr FromText(ustring_view text) {
    return UniqueBstr(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                        static_cast<UINT>(text.size())));
  }
};

inline ustring BstrText(BSTR bstr) {
  if (bstr == nullptr) return ustring();
  return ustring(reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr));
}

}  // namespace wex
