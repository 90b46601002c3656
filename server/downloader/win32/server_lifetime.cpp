#include "server/downloader/win32/server_lifetime.h"

#include <windows.h>

#include <objbase.h>

#include <cwchar>

namespace wex {
namespace {

// One thread, no locks: every object, every LockServer and the grace timer
// run on it.
DWORD mainThread = 0;
UINT_PTR graceTimer = 0;

constexpr unsigned long kLongestGraceMs = 10 * 60 * 1000;

unsigned long GracePeriodMs() {
  wchar_t text[16] = {};
  DWORD n = GetEnvironmentVariableW(L"WEXLO_START_GRACE_MS", text, 16);
  if (n == 0 || n >= 16) return kStartGraceMs;
  wchar_t* end = nullptr;
  unsigned long ms = std::wcstoul(text, &end, 10);
  if (end == text || *end != L'\0' || ms == 0 || ms > kLongestGraceMs) return kStartGraceMs;
  return ms;
}

// The grace period's own count goes, once: when it runs out or when the
// first object or lock arrives.
void EndGracePeriod() {
  if (graceTimer == 0) return;
  KillTimer(nullptr, graceTimer);
  graceTimer = 0;
  ServerRelease();
}

void CALLBACK GracePeriodOver(HWND, UINT, UINT_PTR, DWORD) { EndGracePeriod(); }

}  // namespace

void ServerSetMainThread(unsigned long threadId) { mainThread = threadId; }

void ServerStartGracePeriod() {
  CoAddRefServerProcess();
  graceTimer = SetTimer(nullptr, 0, GracePeriodMs(), GracePeriodOver);
  // Without a timer the count stays: the process then lives, as it always
  // did, until its first object or lock has come and gone.
}

void ServerAddRef() {
  CoAddRefServerProcess();
  EndGracePeriod();
}

void ServerRelease() {
  if (CoReleaseServerProcess() != 0) return;
  // Queued rather than immediate, so that the release that ends the server
  // still returns to its caller before the loop stops.
  if (GetCurrentThreadId() == mainThread)
    PostQuitMessage(0);
  else if (mainThread != 0)
    PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
}

}  // namespace wex
