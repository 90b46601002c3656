// Socket notifications go before the other messages, calls from clients
// among them. A script that polls Busy sends call after call; served in
// arrival order, each would wait for a receive and hold up the next one, and
// a transfer would take twice as long. A notification is only ever handled
// after the ones posted before it, so the transfer's order stays as it was;
// after a run of notifications the other messages get their turn, so a
// client's call never waits for more than that run.
#include "server/downloader/win32/message_loop.h"

#include <windows.h>

#include "server/engine/platform.h"

namespace wex {

void RunMessageLoop() {
  MSG msg;
  int inARow = 0;
  for (;;) {
    if (inARow < kNotificationsInARow &&
        PeekMessageW(&msg, nullptr, kNotifyMessage, kNotifyMessage, PM_REMOVE)) {
      // A peek returns WM_QUIT whatever its filter says.
      if (msg.message == WM_QUIT) return;
      ++inARow;
    } else {
      inARow = 0;
      if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace wex
