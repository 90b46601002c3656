// The four entry points of the in-process server.
#include <windows.h>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
// The class is not served yet, so there is nothing to write.
HRESULT WINAPI DllRegisterServer() { return S_OK; }
HRESULT WINAPI DllUnregisterServer() { return S_OK; }
HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** out) {
  if (out) *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}
HRESULT WINAPI DllCanUnloadNow() { return S_OK; }

}  // extern "C"
