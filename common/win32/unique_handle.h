// Owners of kernel handles and of memory the system hands out with
// LocalAlloc (FormatMessage's buffers, security descriptors).
#pragma once

#include <windows.h>

#include "common/win32/unique_resource.h"

namespace wex {

// A handle whose "none" is null (events, processes, threads, mappings).
struct HandleTraits {
  using Type = HANDLE;
  static HANDLE None() { return nullptr; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

// A file handle, whose "none" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Type = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

struct LocalMemoryTraits {
  using Type = HLOCAL;
  static HLOCAL None() { return nullptr; }
  static void Close(HLOCAL memory) { LocalFree(memory); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

}  // namespace wex
