#include "server/downloader/com/server_lifetime.h"

#include <windows.h>

namespace wex {
namespace {

// One thread, no locks: every object and every LockServer runs on it.
long serverCount = 0;
DWORD mainThread = 0;

}  // namespace

void ServerSetMainThread(unsigned long threadId) { mainThread = threadId; }

void ServerAddRef() { ++serverCount; }

void ServerRelease() {
  if (--serverCount != 0) return;
  // Queued rather than immediate, so that the release that ends the server
  // still returns to its caller before the loop stops.
  if (GetCurrentThreadId() == mainThread)
    PostQuitMessage(0);
  else if (mainThread != 0)
    PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
}

}  // namespace wex
