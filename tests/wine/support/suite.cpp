#include "tests/wine/support/suite.h"

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

void PumpQueued() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool PumpMessagesUntil(const std::function<bool()>& done, unsigned long timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    DWORD wait = timeoutMs - elapsed < 50 ? timeoutMs - elapsed : 50;
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    PumpQueued();
  }
  return true;
}

}  // namespace wex
