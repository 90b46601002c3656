// The entry points of the in-process server. They only hand over to the
// registration, the class factory and the module count. DllInstall is the
// per-user form of registration: regsvr32 /n /i:user (and /u /n /i:user).
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

HRESULT WINAPI DllRegisterServer() { return wex::RegisterServer(wex::RegistryRoot::kMachine); }

HRESULT WINAPI DllUnregisterServer() { return wex::UnregisterServer(wex::RegistryRoot::kMachine); }

// "user" registers for the current user; an empty command line (what
// regsvr32 /i passes after DllRegisterServer) or "machine" for all users.
HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  wex::RegistryRoot root = wex::RegistryRoot::kMachine;
  if (commandLine != nullptr && lstrcmpiW(commandLine, L"user") == 0)
    root = wex::RegistryRoot::kUser;
  else if (commandLine != nullptr && commandLine[0] != L'\0' &&
           lstrcmpiW(commandLine, L"machine") != 0)
    return E_INVALIDARG;
  return install ? wex::RegisterServer(root) : wex::UnregisterServer(root);
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Browser)) return CLASS_E_CLASSNOTAVAILABLE;
  return wex::GetBrowserFactory(iid, out);
}

// The cached type information goes before the library may be unloaded.
HRESULT WINAPI DllCanUnloadNow() {
  if (wex::ModuleInUse()) return S_FALSE;
  wex::ReleaseBrowserTypeInfo();
  return S_OK;
}

}  // extern "C"
