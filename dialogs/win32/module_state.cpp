#include "dialogs/win32/module_state.h"

#include <oleauto.h>

#include "common/com/com_ptr.h"
#include "common/com/type_library.h"
#include "velmora.h"  // generated from velmora.idl

namespace wex {

namespace {

HINSTANCE libraryInstance = nullptr;
// Objects live on their callers' threads, and callers in different
// apartments may hold objects at once, so the count is interlocked.
LONG moduleCount = 0;

}  // namespace

void SetModuleInstance(HINSTANCE instance) { libraryInstance = instance; }
HINSTANCE ModuleInstance() { return libraryInstance; }

void LockModule() { InterlockedIncrement(&moduleCount); }
void UnlockModule() { InterlockedDecrement(&moduleCount); }
bool ModuleInUse() { return InterlockedCompareExchange(&moduleCount, 0, 0) != 0; }

HRESULT LoadBrowserTypeInfo(ITypeInfo** out) {
  *out = nullptr;
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadModuleTypeLib(libraryInstance, library.Put());
  if (FAILED(hr)) return hr;
  return InvokableTypeInfo(library.Get(), IID__Browser, out);
}

}  // namespace wex
