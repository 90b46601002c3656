// The four entry points of the in-process server. They only hand over to the
// registration, the class factory and the module count.
#include <windows.h>

#include "dialogs/win32/class_factory.h"
#include "dialogs/win32/module_state.h"
#include "dialogs/win32/registration.h"
#include "velmora.h"  // generated from velmora.idl

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wex::SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT WINAPI DllRegisterServer() { return wex::RegisterServer(); }

HRESULT WINAPI DllUnregisterServer() { return wex::UnregisterServer(); }

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Browser)) return CLASS_E_CLASSNOTAVAILABLE;
  return wex::GetBrowserFactory(iid, out);
}

HRESULT WINAPI DllCanUnloadNow() { return wex::ModuleInUse() ? S_FALSE : S_OK; }

}  // extern "C"
