// The IUnknown every COM object here has: an interlocked reference count
// (callers in several apartments may hold one object's interfaces; the last
// Release deletes the object) and QueryInterface over a table of the
// interfaces it hands out, in the order of its bases.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <initializer_list>

namespace wex {

class ReferenceCount {
 public:
  ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG Decrement() { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

 private:
  LONG refs_ = 1;  // the creator's reference
};

// One interface an object hands out, and the object's pointer for it.
struct InterfaceEntry {
  const IID& iid;
  IUnknown* pointer;
};

// The first entry whose IID is riid, with a reference added; E_NOINTERFACE
// (and null) when there is none.
inline HRESULT QueryInterfaceTable(std::initializer_list<InterfaceEntry> table, REFIID riid,
                                   void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const InterfaceEntry& entry : table) {
    if (IsEqualIID(riid, entry.iid)) {
      entry.pointer->AddRef();
      *object = entry.pointer;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

}  // namespace wex
