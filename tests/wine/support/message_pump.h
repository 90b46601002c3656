// The Windows test programs' message loop: what the server's own loop does,
// run by a test until the condition it waits for holds.
#pragma once

#include <functional>

namespace wex {

// Handles the thread's messages (socket notifications, incoming COM calls)
// until done() holds or timeoutMs have passed; false on the time-out. It
// waits with MWMO_INPUTAVAILABLE, so a message that a nested modal loop has
// already seen still wakes it.
bool PumpMessagesUntil(const std::function<bool()>& done, unsigned long timeoutMs = 10000);

// Handles whatever is queued now, without waiting.
void PumpQueued();

}  // namespace wex
