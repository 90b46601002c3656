#include "dialogs/win32/module_state.h"

#include <oleauto.h>

#include "common/com/module_path.h"
#include "dialogs/win32/com_handles.h"
#include "velmora.h"  // generated from velmora.idl

namespace wex {

namespace {

HINSTANCE g_instance = nullptr;
// Objects live on their callers' threads, and callers in different
// apartments may hold objects at once, so the count is interlocked.
LONG g_module_count = 0;

}  // namespace

void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE ModuleInstance() { return g_instance; }

void LockModule() { InterlockedIncrement(&g_module_count); }
void UnlockModule() { InterlockedDecrement(&g_module_count); }
bool ModuleInUse() { return InterlockedCompareExchange(&g_module_count, 0, 0) != 0; }

HRESULT LoadOwnTypeLib(ITypeLib** out) {
  *out = nullptr;
  std::wstring path = ModulePath(g_instance);
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, out);
}

HRESULT LoadBrowserTypeInfo(ITypeInfo** out) {
  *out = nullptr;
  ComRef<ITypeLib> lib;
  HRESULT hr = LoadOwnTypeLib(lib.Receive());
  if (FAILED(hr)) return hr;
  // The library describes the dual interface by its dispatch view; DispInvoke
  // needs the vtable view behind it.
  ComRef<ITypeInfo> dispatch_view;
  hr = lib->GetTypeInfoOfGuid(IID__Browser, dispatch_view.Receive());
  if (FAILED(hr)) return hr;
  HREFTYPE vtable_ref = 0;
  hr = dispatch_view->GetRefTypeOfImplType(-1, &vtable_ref);
  if (FAILED(hr)) return hr;
  return dispatch_view->GetRefTypeInfo(vtable_ref, out);
}

}  // namespace wex
