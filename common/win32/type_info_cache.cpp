#include "common/win32/type_info_cache.h"

#include "common/win32/type_library.h"

#include <new>

namespace wex {
namespace {

// Holds an exclusive SRW lock for its scope.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

HRESULT TypeInfoCache::LibraryLocked(HMODULE module) {
  if (library_) return S_OK;
  return LoadModuleTypeLib(module, library_.put());
}

HRESULT TypeInfoCache::Library(HMODULE module, ITypeLib** result) {
  *result = nullptr;
  ExclusiveLock hold(lock_);
  const HRESULT hr = LibraryLocked(module);
  if (FAILED(hr)) return hr;
  *result = ComPtr<ITypeLib>(library_).release();
  return S_OK;
}

HRESULT TypeInfoCache::TypeInfo(HMODULE module, REFGUID guid, ITypeInfo** result) {
  *result = nullptr;
  ExclusiveLock hold(lock_);
  for (const auto& [cachedGuid, info] : infos_) {
    if (IsEqualGUID(cachedGuid, guid)) {
      *result = ComPtr<ITypeInfo>(info).release();
      return S_OK;
    }
  }
  HRESULT hr = LibraryLocked(module);
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> info;
  hr = InvokableTypeInfo(library_.get(), guid, info.put());
  if (FAILED(hr)) return hr;
  try {
    infos_.emplace_back(guid, info);
  } catch (const std::bad_alloc&) {
    // Not kept: the next call looks it up again.
  }
  *result = info.release();
  return S_OK;
}

void TypeInfoCache::Clear() {
  ExclusiveLock hold(lock_);
  infos_.clear();
  library_.reset();
}

}  // namespace wex
