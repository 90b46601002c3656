// The look of the dialogs: while one of these lives, the calling thread uses
// the activation context of Velmora.dll's own manifest (common controls 6),
// whatever manifest the program that loaded the library has. Without it the
// Open, Save As and Colour dialogs of a script host come up in the look of
// Windows 2000.
#pragma once

#include <windows.h>

namespace wex {

class DialogLook {
 public:
  DialogLook();
  ~DialogLook();
  DialogLook(const DialogLook&) = delete;
  DialogLook& operator=(const DialogLook&) = delete;

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

}  // namespace wex
