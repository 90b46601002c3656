// The least an out-of-process automation server does to be activated: one
// class (WexBench.MinimalServer) whose object is an empty IDispatch, its class
// object registered for a single activation, a message loop, and the end
// when the last object is released. The bench activates it as it activates
// Wexlo.Downloader, so that Wexlo.exe's activation reads as a ratio to it.
//   minimal_server.exe /RegServer   registers it for all users (and exits)
//   minimal_server.exe -Embedding   as COM starts it
#include <windows.h>

#include <objbase.h>

#include <string>

namespace {

// {688b2dab-d418-439b-a1d0-9b9e78173414}
const CLSID kClsid = {0x688b2dab, 0xd418, 0x439b, {0xa1, 0xd0, 0x9b, 0x9e, 0x78, 0x17, 0x34, 0x14}};
const wchar_t kClsidText[] = L"{688b2dab-d418-439b-a1d0-9b9e78173414}";
const wchar_t kProgId[] = L"WexBench.MinimalServer";

LONG objects = 0;
LONG locks = 0;
bool served = false;

void QuitWhenUnused() {
  if (objects == 0 && locks == 0) PostQuitMessage(0);
}

class MinimalObject final : public IDispatch {
 public:
  MinimalObject() { ++objects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
      --objects;
      QuitWhenUnused();
    }
    return left;
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
  ULONG references_ = 1;
};

class MinimalFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    served = true;
    MinimalObject* object = new MinimalObject;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++locks;
    } else {
      --locks;
      QuitWhenUnused();
    }
    return S_OK;
  }
};

bool SetText(const std::wstring& key, const wchar_t* value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t));
  const bool ok = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 bytes) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

int Register() {
  wchar_t path[MAX_PATH];
  if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return 1;
  const std::wstring classes = L"Software\\Classes\\";
  const std::wstring clsid = classes + L"CLSID\\" + kClsidText;
  const bool ok = SetText(classes + kProgId + L"\\CLSID", kClsidText) && SetText(clsid, kProgId) &&
                  SetText(clsid + L"\\ProgID", kProgId) &&
                  SetText(clsid + L"\\LocalServer32", path);
  return ok ? 0 : 1;
}

int Serve() {
  static MinimalFactory factory;
  DWORD cookie = 0;
  if (FAILED(
          CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie)))
    return 1;
  // Started by hand, or by a client that went away: no object ever comes.
  SetTimer(nullptr, 0, 30000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr && !served) break;
    DispatchMessageW(&message);
  }
  CoRevokeClassObject(cookie);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  const std::wstring line = commandLine;
  if (line.find(L"RegServer") != std::wstring::npos) return Register();
  if (line.find(L"Embedding") == std::wstring::npos) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = Serve();
  CoUninitialize();
  return rc;
}
