#include "common/registration/win32/registry_transaction.h"

#include <cwchar>
#include <utility>

#include "common/win32/registry_key.h"

namespace wex {
namespace {

std::wstring Wide(const ustring& text) { return std::wstring(text.begin(), text.end()); }

HRESULT FromWin32(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

// Deletes name below parent with all its subkeys; RegDeleteTree takes no
// view, so the walk is done here with the view on every call.
LONG DeleteTreeIn(HKEY parent, const std::wstring& name, REGSAM view) {
  RegistryKey key;
  LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view,
                          key.put());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    wchar_t child[256];
    DWORD length = 256;
    rc = RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteTreeIn(key.get(), child, view);
    if (rc != ERROR_SUCCESS) return rc;
  }
  key.reset();
  rc = RegDeleteKeyExW(parent, name.c_str(), view, 0);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::wstring ClassesPath(const ustring& key) { return L"Software\\Classes\\" + Wide(key); }

RegistryTransaction::~RegistryTransaction() { Rollback(); }

HRESULT RegistryTransaction::Write(const RegistrationPlan& plan) {
  HKEY root = RootKey(plan.root);
  REGSAM view = ViewFlag(plan.view);
  for (const RegistryEntry& entry : plan.entries) {
    HRESULT hr = WriteEntry(root, view, entry);
    if (FAILED(hr)) {
      failedKey_ = Wide(RootText(plan.root)) + L"\\" + Wide(entry.key);
      return hr;
    }
  }
  return S_OK;
}

// Creates the entry's key one level at a time, so that each key that did not
// exist before is known and can be removed again, then sets its value.
HRESULT RegistryTransaction::WriteEntry(HKEY root, REGSAM view, const RegistryEntry& entry) {
  const std::wstring path = ClassesPath(entry.key);
  // From the root down, so that a classes key a fresh user profile lacks is
  // created (and removed again) like any other; a user without the right to
  // write the machine's classes is refused on the way.
  HKEY parent = root;
  RegistryKey key;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    REGSAM access = KEY_CREATE_SUB_KEY | view;
    if (end == path.size()) access |= KEY_QUERY_VALUE | KEY_SET_VALUE;
    RegistryKey child;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExW(parent, path.substr(start, end - start).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, access, nullptr, child.put(), &disposition);
    if (rc != ERROR_SUCCESS) return FromWin32(rc);
    if (disposition == REG_CREATED_NEW_KEY)
      undo_.push_back({root, view, path.substr(0, end), true, L"", false, 0, {}});
    key = std::move(child);
    parent = key.get();
    start = end + 1;
  }
  if (!entry.hasValue) return S_OK;

  Undo undo{root, view, path, false, Wide(entry.name), false, 0, {}};
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(key.get(), undo.valueName.c_str(), nullptr, &undo.valueType, nullptr,
                             &bytes);
  if (rc == ERROR_SUCCESS) {
    undo.valueData.resize(bytes);
    rc = RegQueryValueExW(key.get(), undo.valueName.c_str(), nullptr, &undo.valueType,
                          undo.valueData.data(), &bytes);
    if (rc != ERROR_SUCCESS) return FromWin32(rc);
    undo.valueData.resize(bytes);
    undo.valueExisted = true;
  }
  std::wstring data = Wide(entry.data);
  rc = RegSetValueExW(key.get(), undo.valueName.c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(data.c_str()),
                      static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  undo_.push_back(std::move(undo));
  return S_OK;
}

// Newest first: values before the keys that hold them, children before parents.
void RegistryTransaction::Rollback() {
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    if (it->createdKey) {
      RegDeleteKeyExW(it->root, it->key.c_str(), it->view, 0);
      continue;
    }
    RegistryKey key;
    if (RegOpenKeyExW(it->root, it->key.c_str(), 0, KEY_SET_VALUE | it->view, key.put()) !=
        ERROR_SUCCESS)
      continue;
    if (it->valueExisted)
      RegSetValueExW(key.get(), it->valueName.c_str(), 0, it->valueType, it->valueData.data(),
                     static_cast<DWORD>(it->valueData.size()));
    else
      RegDeleteValueW(key.get(), it->valueName.c_str());
  }
  undo_.clear();
}

HRESULT RemoveTree(RegistryRoot root, RegistryView view, const ustring& key) {
  std::wstring path = ClassesPath(key);
  size_t slash = path.rfind(L'\\');
  RegistryKey parent;
  LONG rc = RegOpenKeyExW(RootKey(root), path.substr(0, slash).c_str(), 0,
                          KEY_ENUMERATE_SUB_KEYS | ViewFlag(view), parent.put());
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  return FromWin32(DeleteTreeIn(parent.get(), path.substr(slash + 1), ViewFlag(view)));
}

bool KeyExists(RegistryRoot root, RegistryView view, const ustring& key) {
  RegistryKey opened;
  return RegOpenKeyExW(RootKey(root), ClassesPath(key).c_str(), 0, KEY_QUERY_VALUE | ViewFlag(view),
                       opened.put()) == ERROR_SUCCESS;
}

bool ReadDefaultText(RegistryRoot root, RegistryView view, const ustring& key, std::wstring* text) {
  RegistryKey opened;
  if (RegOpenKeyExW(RootKey(root), ClassesPath(key).c_str(), 0, KEY_QUERY_VALUE | ViewFlag(view),
                    opened.put()) != ERROR_SUCCESS)
    return false;
  // RRF_RT_REG_SZ takes REG_EXPAND_SZ too, expanded (asking for
  // RRF_RT_REG_EXPAND_SZ as well is refused unless expansion is off).
  DWORD bytes = 0;
  LONG rc = RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
  // The size may grow between the calls, or with the expansion: a few tries.
  for (int attempt = 0; attempt < 4 && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA); ++attempt) {
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    rc = RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, &value[0], &bytes);
    if (rc == ERROR_SUCCESS) {
      value.resize(wcsnlen(value.c_str(), value.size()));
      *text = value;
      return true;
    }
  }
  return false;
}

}  // namespace wex
