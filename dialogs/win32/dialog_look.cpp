#include "dialogs/win32/dialog_look.h"

#include <string>

#include "common/win32/module_path.h"
#include "dialogs/win32/module_state.h"

namespace wex {

// Made for each dialog: it costs little beside a dialog, and needs no state
// shared between the apartments that may call at once. A context that cannot
// be made leaves the dialog in the program's own look.
DialogLook::DialogLook() {
  std::wstring path = ModulePath(ModuleInstance());
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.hModule = ModuleInstance();
  request.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
  context_ = CreateActCtxW(&request);
  if (context_ != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context_, &cookie_) != FALSE;
}

DialogLook::~DialogLook() {
  if (active_) DeactivateActCtx(0, cookie_);
  if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

}  // namespace wex
