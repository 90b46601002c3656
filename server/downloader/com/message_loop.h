// The server thread's message loop.
#pragma once

namespace wex {

// Dispatches the thread's messages until WM_QUIT, socket notifications first.
void RunMessageLoop();

}  // namespace wex
