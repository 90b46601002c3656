// What the Open and Save As dialogs are given: fixed title, one filter pair,
// an empty 256-character name buffer of which the platform may use 255, and
// for Save As the default extension. Nothing comes from the caller or from an
// earlier call. Fields the record leaves 0 or null are not listed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/ustring.h"

namespace wex {

// Characters in the name buffer, and how many of them the platform may use;
// so a returned path has at most kFileBufferUsable - 1 characters.
constexpr size_t kFileBufferLength = 256;
constexpr uint32_t kFileBufferUsable = 255;

struct FileDialogRecord {
  uint32_t lStructSize = 0;
  ustring lpstrFilter;  // pairs of NUL-terminated texts, ended by one more NUL
  uint32_t nFilterIndex = 0;
  ustring lpstrFile;  // the name buffer, in and out
  uint32_t nMaxFile = 0;
  ustring lpstrTitle;
  uint32_t Flags = 0;
  std::optional<ustring> lpstrDefExt;  // none: the pointer is null
};

FileDialogRecord OpenDialogRecord();
FileDialogRecord SaveDialogRecord();

// The chosen path in a name buffer the platform filled: the text before its
// first NUL. A path that does not fit the limit counts as a failed dialog and
// gives an empty string.
ustring PathFromFileBuffer(ustring_view buffer);

}  // namespace wex
