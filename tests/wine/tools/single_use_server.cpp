// single_use_server.exe: the least an out-of-process server registered for
// single use can be, beside which Wexlo.exe is tried in the same test (see
// tests/wine/drivers/activation_at_once.sh). One class, "WexProbe.SingleUse",
// whose object has no members.
//   /RegServer, /UnregServer   its keys under HKLM\Software\Classes
//   -Embedding                 as COM starts it: registers the class object
//                              with REGCLS_SINGLEUSE first thing, runs a
//                              message loop, ends when its object is gone
//                              or when none came within 30 s
// Each start as a server appends one line to the file named by
// WEX_PROBE_LOG, when set, so a test can count the servers started.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

// {5ae2fd97-da6f-4c26-8854-30d0cbf2e789}
const CLSID kClsid = {0x5ae2fd97, 0xda6f, 0x4c26, {0x88, 0x54, 0x30, 0xd0, 0xcb, 0xf2, 0xe7, 0x89}};
const wchar_t kClsidKey[] = L"Software\\Classes\\CLSID\\{5ae2fd97-da6f-4c26-8854-30d0cbf2e789}";
const wchar_t kProgIdKey[] = L"Software\\Classes\\WexProbe.SingleUse";
constexpr UINT kGraceMs = 30000;

void Release() {
  if (CoReleaseServerProcess() == 0) PostQuitMessage(0);
}

// The grace period holds a count of its own, given back once: when the first
// object comes or the timer runs out.
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
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --refs_;
    if (refs == 0) {
      delete this;
      ::Release();
    }
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
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
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
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
    if (lock) {
      CoAddRefServerProcess();
      EndGrace();
    } else
      ::Release();
    return S_OK;
  }
};

void NoteStart() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"WEX_PROBE_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  if (FILE* log = _wfopen(path, L"a")) {
    std::fprintf(log, "started %lu\n", GetCurrentProcessId());
    std::fclose(log);
  }
}

int Serve() {
  // COM may release the class object as late as CoUninitialize.
  static Factory factory;
  DWORD cookie = 0;
  if (FAILED(
          CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie)))
    return 1;
  NoteStart();
  CoAddRefServerProcess();
  graceTimer = SetTimer(nullptr, 0, kGraceMs, GraceOver);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  CoRevokeClassObject(cookie);
  return 0;
}

bool Register() {
  wchar_t module[MAX_PATH];
  if (GetModuleFileNameW(nullptr, module, MAX_PATH) == 0) return false;
  const std::wstring command = L"\"" + std::wstring(module) + L"\"";
  const std::wstring clsid = L"{5ae2fd97-da6f-4c26-8854-30d0cbf2e789}";
  auto set = [](const std::wstring& key, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  };
  return set(std::wstring(kClsidKey) + L"\\LocalServer32", command) &&
         set(std::wstring(kProgIdKey) + L"\\CLSID", clsid);
}

void Unregister() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClsidKey);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProgIdKey);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  const std::wstring line = commandLine;
  if (line.find(L"RegServer") != std::wstring::npos && line.find(L"Unreg") == std::wstring::npos)
    return Register() ? 0 : 1;
  if (line.find(L"UnregServer") != std::wstring::npos) {
    Unregister();
    return 0;
  }
  if (line.find(L"Embedding") == std::wstring::npos) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = Serve();
  CoUninitialize();
  return rc;
}
