#include "tests/wine/support/wine_paths.h"

#include <windows.h>

namespace wex {
namespace {

std::wstring EnvOr(const wchar_t* name, const std::wstring& fallback) {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return fallback;
  return std::wstring(buffer, n);
}

}  // namespace

std::wstring BinaryPath(const std::wstring& name) {
  wchar_t self[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::wstring dir(self, n);
  dir = dir.substr(0, dir.find_last_of(L"\\/"));  // wtests
  dir = dir.substr(0, dir.find_last_of(L"\\/"));  // build folder
  return EnvOr(L"WEX_BIN_DIR", dir + L"\\bin") + L"\\" + name;
}

std::wstring ScratchDir() {
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  std::wstring fallback(temp, n);
  if (!fallback.empty() && (fallback.back() == L'\\' || fallback.back() == L'/'))
    fallback.pop_back();
  return EnvOr(L"WEX_SCRATCH_DIR", fallback);
}

uint16_t PortOf(const wchar_t* variable) {
  return static_cast<uint16_t>(_wtoi(EnvOr(variable, L"0").c_str()));
}

}  // namespace wex
