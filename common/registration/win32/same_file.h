// Whether two paths name the same file, compared the way Windows compares
// paths, so that a registration made through another spelling of this
// module's path (another letter case, an 8.3 short name, "..") is still
// recognised as this module's.
#pragma once

#include <string>

namespace wex {

// Each path is made full (GetFullPathNameW) and, where the file exists, long
// (GetLongPathNameW); the two are then compared without regard to letter
// case (CompareStringOrdinal). An empty path names no file.
bool SameFilePath(const std::wstring& a, const std::wstring& b);

}  // namespace wex
