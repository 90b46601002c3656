#include "common/registration/win32/same_file.h"

#include <windows.h>

namespace wex {
namespace {

// Runs a path function that reports the size it needs when the buffer is too
// small, as GetFullPathNameW and GetLongPathNameW do; empty on failure.
template <typename Call>
std::wstring Grown(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = call(&buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);  // n counts the terminating null
  }
}

std::wstring ComparablePath(const std::wstring& path) {
  std::wstring full = Grown(
      [&](wchar_t* out, DWORD size) { return GetFullPathNameW(path.c_str(), size, out, nullptr); });
  if (full.empty()) return path;
  // Fails for a file that is not there: its full path is all there is.
  std::wstring longPath =
      Grown([&](wchar_t* out, DWORD size) { return GetLongPathNameW(full.c_str(), out, size); });
  return longPath.empty() ? full : longPath;
}

}  // namespace

bool SameFilePath(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.empty()) return false;
  std::wstring left = ComparablePath(a), right = ComparablePath(b);
  return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                              static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace wex
