// The file operations of the Win32 platform, every one on the path as given
// (the wide entry points), so that a name outside the ANSI code page works.
#include "server/engine/win32/win32_platform.h"

#include <windows.h>

#include "common/win32/unique_handle.h"

namespace wex {
namespace {

// The path for the wide calls, or false for one they would misread: an empty
// path, or one with a NUL character, which would cut it short and name
// another file.
bool NativePath(const ustring& path, std::wstring& native) {
  if (path.empty() || path.find(u'\0') != ustring::npos) return false;
  native.assign(path.begin(), path.end());
  return true;
}

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE file) : file_(file) {}

  bool Write(const uint8_t* bytes, size_t count) override {
    if (!file_ || failed_) return false;
    // WriteFile takes a 32-bit count: write in slices.
    constexpr size_t kSlice = 1u << 30;
    while (count > 0) {
      DWORD slice = static_cast<DWORD>(count < kSlice ? count : kSlice);
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes, slice, &written, nullptr) || written == 0) {
        failed_ = true;
        return false;
      }
      bytes += written;
      count -= written;
    }
    return true;
  }

  // Closes now, to learn whether everything written reached the file.
  bool Close() override {
    if (!file_) return false;
    return CloseHandle(file_.release()) != FALSE && !failed_;
  }

 private:
  UniqueFileHandle file_;
  bool failed_ = false;
};

}  // namespace

bool Win32Platform::FileAttributes(const ustring& path, uint32_t& attributes) {
  std::wstring native;
  if (!NativePath(path, native)) return false;
  DWORD found = GetFileAttributesW(native.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  attributes = found;
  return true;
}

// The path as given (DeleteFileW): a name outside the ANSI code page is
// removed too, and it is the same file the other calls named.
bool Win32Platform::RemoveFile(const ustring& path) {
  std::wstring native;
  if (!NativePath(path, native)) return false;
  return DeleteFileW(native.c_str()) != FALSE;
}

std::unique_ptr<OutputFile> Win32Platform::CreateOutputFile(const ustring& path) {
  std::wstring native;
  if (!NativePath(path, native)) return nullptr;
  HANDLE file = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32OutputFile>(file);
}

std::unique_ptr<OutputFile> Win32Platform::CreateNewOutputFile(const ustring& path,
                                                               bool& nameTaken) {
  nameTaken = false;
  std::wstring native;
  if (!NativePath(path, native)) return nullptr;
  HANDLE file = CreateFileW(native.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return nullptr;
  }
  return std::make_unique<Win32OutputFile>(file);
}

bool Win32Platform::ReplaceFile(const ustring& from, const ustring& to) {
  std::wstring source, target;
  return NativePath(from, source) && NativePath(to, target) &&
         MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace wex
