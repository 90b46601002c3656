// A compiled automation client of Wexlo.Downloader that waits for
// OnDownloadFinish through the connection point, as an event-driven script
// host does, instead of polling Busy:
//   event_client.exe PORT PATH [HOST]
// Prints "events SECONDS BYTES" (RequestFile called until the finish event),
// "events_https ..." when HOST is given with an https:// scheme.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "wexlo.h"

namespace {

constexpr DISPID kOnDownloadFinish = 2;

// The event sink: IDispatch for __Downloader; only the finish is looked at.
class FinishSink final : public IDispatch {
 public:
  bool finished = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID___Downloader) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id == kOnDownloadFinish) finished = true;
    return S_OK;
  }

 private:
  ULONG references_ = 1;  // lives on the stack of main
};

// Calls a member by name with the arguments given (last argument first, as
// DISPPARAMS holds them) and returns its result.
VARIANT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  VARIANT result;
  VariantInit(&result);
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return result;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {args, flags == DISPATCH_PROPERTYPUT ? &put : nullptr, count,
                       flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, nullptr, nullptr);
  return result;
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

int Run(int port, const wchar_t* path, const wchar_t* host) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Wexlo.Downloader", &clsid))) return 1;
  IDispatch* object = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object))))
    return 1;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  FinishSink sink;
  DWORD cookie = 0;
  if (FAILED(object->QueryInterface(IID_IConnectionPointContainer,
                                    reinterpret_cast<void**>(&container))) ||
      FAILED(container->FindConnectionPoint(DIID___Downloader, &point)) ||
      FAILED(point->Advise(&sink, &cookie)))
    return 1;

  VARIANT error = Text(L"");
  VARIANT ignored = Call(object, L"StartUp", DISPATCH_METHOD, &error, 1);
  VariantClear(&ignored);
  VARIANT portValue;
  VariantInit(&portValue);
  V_VT(&portValue) = VT_I4;
  V_I4(&portValue) = port;
  ignored = Call(object, L"Port", DISPATCH_PROPERTYPUT, &portValue, 1);
  VariantClear(&ignored);

  VARIANT args[2] = {Text(path), Text(host)};
  const auto start = std::chrono::steady_clock::now();
  VARIANT result = Call(object, L"RequestFile", DISPATCH_METHOD, args, 2);
  if (V_VT(&result) != VT_I4 || V_I4(&result) != 0) return 1;
  MSG message;
  while (!sink.finished && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  VARIANT size = Call(object, L"CurSize", DISPATCH_PROPERTYGET, nullptr, 0);
  const bool https = wcsncmp(host, L"https://", 8) == 0;
  std::printf("events%s %.4f %ld\n", https ? "_https" : "", seconds,
              V_VT(&size) == VT_I4 ? V_I4(&size) : -1L);

  point->Unadvise(cookie);
  point->Release();
  container->Release();
  ignored = Call(object, L"ShutDown", DISPATCH_METHOD, nullptr, 0);
  VariantClear(&ignored);
  object->Release();
  for (VARIANT& v : args) VariantClear(&v);
  VariantClear(&error);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int rc = Run(_wtoi(argv[1]), argv[2], argc > 3 ? argv[3] : L"127.0.0.1");
  CoUninitialize();
  return rc;
}
