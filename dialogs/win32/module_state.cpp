#include "dialogs/win32/module_state.h"

#include <oleauto.h>

#include "common/win32/com_ptr.h"
#include "common/win32/type_info_cache.h"
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

// The library's type information, loaded once for the process.
TypeInfoCache& BrowserTypes() {
  static TypeInfoCache cache;
  return cache;
}

HRESULT LoadBrowserTypeInfo(ITypeInfo** out) {
  return BrowserTypes().TypeInfo(libraryInstance, IID__Browser, out);
}

void ReleaseBrowserTypeInfo() { BrowserTypes().Clear(); }

}  // namespace wex
