#include "server/engine/win32/notification_window.h"

// The module this code is linked into, so that the class belongs to it
// whether that is the program or a library.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace wex {
namespace {

const wchar_t kClassName[] = L"WexloSocketNotificationWindow";

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// Registers the window class once per module, on first use.
bool ClassRegistered(WNDPROC procedure) {
  static const bool registered = [procedure] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ThisModule();
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

NotificationWindow::NotificationWindow(UINT message, Handler handler)
    : message_(message), handler_(std::move(handler)) {
  if (!ClassRegistered(&NotificationWindow::Procedure)) return;
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                            nullptr);
  if (window_ != nullptr)
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NotificationWindow::~NotificationWindow() {
  if (window_ == nullptr) return;
  // Messages still queued for the window are discarded with it.
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT CALLBACK NotificationWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = reinterpret_cast<NotificationWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message == self->message_) {
    // The handler may destroy this object (and so the window): it is called
    // through a copy, and nothing of the object is touched after the call.
    Handler handler = self->handler_;
    handler(wParam, lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace wex
