// Writes registration plans as one unit: every key created and every value
// changed is remembered, and unless the transaction is committed it puts the
// registry back as it found it. Also removes registration trees.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/registration/registration_plan.h"

namespace wex {

class RegistryTransaction {
 public:
  RegistryTransaction() = default;
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;
  // Undoes every write of an uncommitted transaction.
  ~RegistryTransaction();

  // Writes every entry of plan in order; stops at the first failure, which
  // FailedKey() then names.
  HRESULT Write(const RegistrationPlan& plan);
  void Commit() { undo_.clear(); }
  void Rollback();

  // The key whose write failed, with its root ("HKEY_...\Software\Classes\...").
  const std::wstring& FailedKey() const { return failedKey_; }

 private:
  // One write to undo: a key this transaction created (delete it), or a value
  // it set (restore the old data, or delete the value when there was none).
  struct Undo {
    HKEY root;
    REGSAM view;
    std::wstring key;  // below the root, "Software\Classes\..."
    bool createdKey;
    std::wstring valueName;
    bool valueExisted;
    DWORD valueType;
    std::vector<BYTE> valueData;
  };

  HRESULT WriteEntry(HKEY root, REGSAM view, const RegistryEntry& entry);

  std::vector<Undo> undo_;
  std::wstring failedKey_;
};

// The predefined key and the access flag of a root and a view.
HKEY RootKey(RegistryRoot root);
REGSAM ViewFlag(RegistryView view);
// "Software\Classes\<key>", the path below the root key.
std::wstring ClassesPath(const ustring& key);

// Removes key and everything below it in root and view; a key that is not
// there is no failure.
HRESULT RemoveTree(RegistryRoot root, RegistryView view, const ustring& key);
bool KeyExists(RegistryRoot root, RegistryView view, const ustring& key);
// The default value of key as text, environment variables expanded; false
// when the key or its default value is not there or is no text.
bool ReadDefaultText(RegistryRoot root, RegistryView view, const ustring& key, std::wstring* text);

}  // namespace wex
