// The server thread's message loop.
#pragma once

namespace wex {

// Socket notifications handled in a row before another message gets its
// turn. A client's call waits for at most one such run (a few milliseconds of
// a fast transfer); a run much shorter than this lets a script that polls
// Busy take the server's thread from the transfer several times a megabyte.
constexpr int kNotificationsInARow = 64;

// Dispatches the thread's messages until WM_QUIT, socket notifications first.
void RunMessageLoop();

}  // namespace wex
