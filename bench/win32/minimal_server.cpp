// The least an out-of-process automation server does to be activated: one
// class (WexBench.MinimalServer) whose object is an empty IDispatch, its class
// object registered for a single activation first thing, a message loop, and
// the end when its object is gone (or 30 s after a start that no object came
// to). The bench activates it as it activates Wexlo.Downloader, so that
// Wexlo.exe's activation reads as a ratio to it; the activation test asks
// for it beside Wexlo.Downloader, so that a failure of both is Wine's.
//   minimal_server.exe /RegServer     registers it for all users (and exits)
//   minimal_server.exe /UnregServer   removes that
//   minimal_server.exe -Embedding     as COM starts it
#include <windows.h>

#include <objbase.h>

#include <string>

#include "common/win32/com_object.h"

namespace {

// {688b2dab-d418-439b-a1d0-9b9e78173414}
const CLSID kClsid = {0x688b2dab, 0xd418, 0x439b, {0xa1, 0xd0, 0x9b, 0x9e, 0x78, 0x17, 0x34, 0x14}};
const wchar_t kClsidText[] = L"{688b2dab-d418-439b-a1d0-9b9e78173414}";
const std::wstring kClsidKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText;
const wchar_t kProgIdKey[] = L"Software\\Classes\\WexBench.MinimalServer";

void Release() {
  if (CoReleaseServerProcess() == 0) PostQuitMessage(0);
}

// The grace period holds a count of its own, given back once: when the first
// object or lock comes, or when the timer runs out.
UINT_PTR graceTimer = 0;
void EndGrace() {
  if (graceTimer == 0) return;
  KillTimer(nullptr, graceTimer);
  graceTimer = 0;
  Release();
}
void CALLBACK GraceOver(HWND, UINT, UINT_PTR, DWORD) { EndGrace(); }

class Object final : public IDispatch {
 public:
  Object() {
    CoAddRefServerProcess();
    EndGrace();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return wex::QueryInterfaceTable({{IID_IUnknown, this}, {IID_IDispatch, this}}, riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--refs_ != 0) return refs_;
    delete this;
    ::Release();
    return 0;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ~Object() = default;
  ULONG refs_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return wex::QueryInterfaceTable({{IID_IUnknown, this}, {IID_IClassFactory, this}}, riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Object* object = new Object();
    const HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (!lock) return ::Release(), S_OK;
    CoAddRefServerProcess();
    EndGrace();
    return S_OK;
  }
};

int Serve() {
  static Factory factory;  // COM may release it as late as CoUninitialize
  DWORD cookie = 0;
  if (FAILED(
          CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie)))
    return 1;
  CoAddRefServerProcess();
  graceTimer = SetTimer(nullptr, 0, 30000, GraceOver);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  CoRevokeClassObject(cookie);
  return 0;
}

bool Set(const std::wstring& key, const std::wstring& value) {
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  const std::wstring line = commandLine;
  if (line.find(L"UnregServer") != std::wstring::npos) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClsidKey.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProgIdKey);
    return 0;
  }
  if (line.find(L"RegServer") != std::wstring::npos) {
    wchar_t module[MAX_PATH];
    if (GetModuleFileNameW(nullptr, module, MAX_PATH) == 0) return 1;
    return Set(kClsidKey + L"\\LocalServer32", L"\"" + std::wstring(module) + L"\"") &&
                   Set(std::wstring(kProgIdKey) + L"\\CLSID", kClsidText)
               ? 0
               : 1;
  }
  if (line.find(L"Embedding") == std::wstring::npos) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = Serve();
  CoUninitialize();
  return rc;
}
