#include "tests/wine/support/message_pump.h"

#include <windows.h>

namespace wex {

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
