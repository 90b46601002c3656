// The engine's notification window T1: a hidden message-only window that
// receives the socket notifications Winsock posts for WSAAsyncSelect and
// hands each to a handler on the window's own thread.
#pragma once

#include <windows.h>

#include <functional>

namespace wex {

class NotificationWindow {
 public:
  // Called with the socket (the message's first parameter) and the
  // notification's second parameter, event code in the low half.
  using Handler = std::function<void(WPARAM socket, LPARAM event)>;

  // Creates the window on the calling thread; Handle() is null if that failed.
  NotificationWindow(UINT message, Handler handler);
  ~NotificationWindow();
  NotificationWindow(const NotificationWindow&) = delete;
  NotificationWindow& operator=(const NotificationWindow&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT message_;
  Handler handler_;
  HWND window_ = nullptr;
};

}  // namespace wex
