#include "dialogs/win32/registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "dialogs/win32/com_handles.h"
#include "dialogs/win32/module_state.h"
#include "velmora.h"  // generated from velmora.idl

namespace wex {

namespace {

const wchar_t kProgId[] = L"Velmora.Browser";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ClassKeyPath() { return L"CLSID\\" + GuidText(CLSID_Browser); }

// Creates HKCR\<path> and sets one string value (name null: the default).
HRESULT WriteValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  RegKey key;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  rc = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      bytes);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::wstring& path) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    // RegDeleteTree empties the key; the key itself goes separately.
    rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  }
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(rc);
}

HRESULT RegisterClassKeys(const std::wstring& module_path) {
  const std::wstring clsid = GuidText(CLSID_Browser);
  const std::wstring class_key = ClassKeyPath();
  const std::wstring prog_id = kProgId;
  HRESULT hr = WriteValue(prog_id, nullptr, prog_id);
  if (SUCCEEDED(hr)) hr = WriteValue(prog_id + L"\\CLSID", nullptr, clsid);
  if (SUCCEEDED(hr)) hr = WriteValue(class_key, nullptr, prog_id);
  if (SUCCEEDED(hr)) hr = WriteValue(class_key + L"\\ProgID", nullptr, prog_id);
  if (SUCCEEDED(hr)) hr = WriteValue(class_key + L"\\InprocServer32", nullptr, module_path);
  if (SUCCEEDED(hr))
    hr = WriteValue(class_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (SUCCEEDED(hr)) hr = WriteValue(class_key + L"\\TypeLib", nullptr, GuidText(LIBID_Velmora));
  return hr;
}

// The version key RegisterTypeLib wrote: TypeLib\{...}\<major>.<minor>, in hex.
std::wstring TypeLibVersionKey(const TLIBATTR& attr) {
  wchar_t version[16] = {};
  swprintf(version, 16, L"%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
  return L"TypeLib\\" + GuidText(attr.guid) + L"\\" + version;
}

HRESULT UnregisterTypeLibrary() {
  ComRef<ITypeLib> lib;
  HRESULT hr = LoadOwnTypeLib(lib.Receive());
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  TLIBATTR a = *attr;
  lib->ReleaseTLibAttr(attr);
  // Not registered (any more) is what unregistering wants; the platform
  // would call that an error, with a code that differs between versions.
  RegKey version;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, TypeLibVersionKey(a).c_str(), 0, KEY_READ,
                    version.Receive()) == ERROR_FILE_NOT_FOUND) {
    return S_OK;
  }
  return UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

}  // namespace

HRESULT RegisterServer() {
  std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  HRESULT hr = RegisterClassKeys(path);
  if (FAILED(hr)) {
    UnregisterServer();
    return SELFREG_E_CLASS;
  }
  ComRef<ITypeLib> lib;
  hr = LoadOwnTypeLib(lib.Receive());
  if (SUCCEEDED(hr)) hr = RegisterTypeLib(lib.get(), &path[0], nullptr);
  if (FAILED(hr)) {
    UnregisterServer();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  HRESULT result = S_OK;
  if (FAILED(DeleteTree(kProgId))) result = SELFREG_E_CLASS;
  if (FAILED(DeleteTree(ClassKeyPath()))) result = SELFREG_E_CLASS;
  if (FAILED(UnregisterTypeLibrary())) result = SELFREG_E_TYPELIB;
  return result;
}

}  // namespace wex
