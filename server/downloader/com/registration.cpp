#include "server/downloader/com/registration.h"

#include <windows.h>

#include <oleauto.h>

#include <string>

#include "server/downloader/com/com_ptr.h"
#include "server/downloader/com/type_library.h"
#include "wexlo.h"

namespace wex {
namespace {

constexpr wchar_t kProgId[] = L"Wexlo.Downloader";
constexpr wchar_t kVersionedProgId[] = L"Wexlo.Downloader.1";
constexpr wchar_t kClassName[] = L"Downloader";

std::wstring GuidText(REFGUID guid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(guid, buffer, 40);
  return buffer;
}

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Put() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Creates HKCR\<path> and sets its default value (none when value is null).
HRESULT WriteKey(const std::wstring& path, const wchar_t* value) {
  RegKey key;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, key.Put(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  if (value == nullptr) return S_OK;
  DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  rc = RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::wstring& path) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    return S_OK;
  }
  return HRESULT_FROM_WIN32(rc);
}

HRESULT WriteProgId(const wchar_t* progId, const std::wstring& clsid, const wchar_t* curVer) {
  std::wstring base = progId;
  HRESULT hr = WriteKey(base, kClassName);
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\CLSID", clsid.c_str());
  if (SUCCEEDED(hr) && curVer != nullptr) hr = WriteKey(base + L"\\CurVer", curVer);
  return hr;
}

HRESULT WriteClass(const std::wstring& clsid, const std::wstring& exePath) {
  std::wstring base = L"CLSID\\" + clsid;
  std::wstring server = L"\"" + exePath + L"\"";
  std::wstring libid = GuidText(LIBID_Wexlo);
  HRESULT hr = WriteKey(base, kClassName);
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\LocalServer32", server.c_str());
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\ProgID", kVersionedProgId);
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\VersionIndependentProgID", kProgId);
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\TypeLib", libid.c_str());
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\Version", L"1.0");
  if (SUCCEEDED(hr)) hr = WriteKey(base + L"\\Programmable", nullptr);
  return hr;
}

// The library's registration (TypeLib\{libid} and Interface\{iid} for
// each of its interfaces, marshalled by the type library marshaler).
HRESULT RegisterLibrary(const std::wstring& exePath) {
  ComPtr<ITypeLib> library;
  HRESULT hr = ServerTypeLib(library.Put());
  if (FAILED(hr)) return hr;
  return RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(exePath.c_str()), nullptr);
}

HRESULT UnregisterLibrary() {
  ComPtr<ITypeLib> library;
  HRESULT hr = ServerTypeLib(library.Put());
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  TLIBATTR copy = *attr;
  library->ReleaseTLibAttr(attr);
  // Already unregistered is what was asked for.
  BSTR registered = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                   &registered)))
    return S_OK;
  SysFreeString(registered);
  hr = UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
  return hr;
}

}  // namespace

HRESULT RegisterServer() {
  std::wstring exePath = ServerModulePath();
  if (exePath.empty()) return HRESULT_FROM_WIN32(GetLastError());
  std::wstring clsid = GuidText(CLSID_Downloader);
  HRESULT hr = WriteProgId(kProgId, clsid, kVersionedProgId);
  if (SUCCEEDED(hr)) hr = WriteProgId(kVersionedProgId, clsid, nullptr);
  if (SUCCEEDED(hr)) hr = WriteClass(clsid, exePath);
  if (SUCCEEDED(hr)) hr = RegisterLibrary(exePath);
  return hr;
}

HRESULT UnregisterServer() {
  std::wstring clsid = GuidText(CLSID_Downloader);
  HRESULT result = S_OK;
  for (const std::wstring& key :
       {std::wstring(kProgId), std::wstring(kVersionedProgId), L"CLSID\\" + clsid}) {
    HRESULT hr = DeleteTree(key);
    if (FAILED(hr)) result = hr;
  }
  HRESULT hr = UnregisterLibrary();
  if (FAILED(hr)) result = hr;
  return result;
}

}  // namespace wex
