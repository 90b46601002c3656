// ModOpenSave: the platform's Open, Save As and Colour dialogs with fixed
// settings. Each shows a modal dialog without owner on the caller's thread and
// never fails: cancel, close and any failure give the empty string or 0.
#pragma once

#include <cstdint>

#include "common/ustring.h"

namespace wex {

void ShowOpenDialog(ustring& path);
void ShowSaveDialog(ustring& path);
void ShowColorDialog(int32_t& color);

}  // namespace wex
