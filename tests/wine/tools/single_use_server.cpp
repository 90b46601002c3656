// single_use_server.exe: the least an out-of-process server registered for
// single use can be, tried beside Wexlo.exe (drivers/activation_at_once.sh).
// One class, "WexProbe.SingleUse", whose object has no members.
//   /RegServer, /UnregServer   its keys under HKLM\Software\Classes
//   -Embedding                 registers the class object with
//                              REGCLS_SINGLEUSE first thing, runs a message
//                              loop, ends when its object is gone or when
//                              none came within 30 s
// Each start as a server appends a line to the file WEX_PROBE_LOG names.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "common/win32/com_object.h"

namespace {

const CLSID kClsid = {0x5ae2fd97, 0xda6f, 0x4c26, {0x88, 0x54, 0x30, 0xd0, 0xcb, 0xf2, 0xe7, 0x89}};
const wchar_t kClsidText[] = L"{5ae2fd97-da6f-4c26-8854-30d0cbf2e789}";
const std::wstring kClsidKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText;
const wchar_t kProgIdKey[] = L"Software\\Classes\\WexProbe.SingleUse";

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
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"WEX_PROBE_LOG", path, MAX_PATH);
  if (FILE* log = n > 0 && n < MAX_PATH ? _wfopen(path, L"a") : nullptr) {
    std::fprintf(log, "started %lu\n", GetCurrentProcessId());
    std::fclose(log);
  }
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
