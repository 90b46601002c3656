// The server's message loop takes socket notifications before the messages
// queued with them, in their own order, and lets the others in after a run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/downloader/win32/message_loop.h"
#include "server/engine/platform.h"

namespace wex {
namespace {

constexpr UINT kOther = WM_USER + 5;
std::vector<std::string> gSeen;

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kNotifyMessage) gSeen.push_back("n" + std::to_string(w));
  if (message == kOther) gSeen.push_back("other");
  return DefWindowProcW(window, message, w, l);
}

TEST(MessageLoop, NotificationsGoFirstInRuns) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = Record;
  windowClass.lpszClassName = L"WexMessageLoopTest";
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  HWND window = CreateWindowW(L"WexMessageLoopTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(window, nullptr);

  // Two notifications, another message, a run's worth and four more
  // notifications, quit (which a loop that peeks for notifications alone
  // still sees).
  const int last = kNotificationsInARow + 4;
  for (int i = 1; i <= last; ++i) {
    if (i == 3) PostMessageW(window, kOther, 0, 0);
    PostMessageW(window, kNotifyMessage, i, 0);
  }
  PostQuitMessage(0);
  RunMessageLoop();

  std::vector<std::string> expected;
  for (int i = 1; i <= kNotificationsInARow; ++i) expected.push_back("n" + std::to_string(i));
  expected.push_back("other");
  for (int i = kNotificationsInARow + 1; i <= last; ++i)
    expected.push_back("n" + std::to_string(i));
  EXPECT_EQ(gSeen, expected);
  DestroyWindow(window);
}

}  // namespace
}  // namespace wex
