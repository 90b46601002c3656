// The Windows test programs' message loop: what the server's own loop does,
// run by a test until the condition it waits for holds.
#pragma once

#include <functional>

namespace wex {

// Handles the thread's messages until done() holds; false on the time-out.
// MWMO_INPUTAVAILABLE: a message a nested modal loop has seen still wakes it.
bool PumpMessagesUntil(const std::function<bool()>& done, unsigned long timeoutMs = 10000);

// Handles whatever is queued now, without waiting.
void PumpQueued();

}  // namespace wex
