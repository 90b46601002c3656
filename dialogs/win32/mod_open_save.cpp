// The portable records copied into the platform's structures and shown
// through the wide entry points of comdlg32, with the settings the records
// give: a path outside the ANSI code page comes back as it was chosen.
#include "dialogs/win32/mod_open_save.h"

#include <windows.h>

#include <commdlg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "dialogs/portable/color_dialog_record.h"
#include "dialogs/portable/file_dialog_record.h"
#include "dialogs/portable/record_layouts.h"
#include "dialogs/win32/dialog_look.h"

namespace wex {

static_assert(kFileDialogRecordSize ==
                  offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(OPENFILENAMEW::lpTemplateName),
              "the portable layout is the platform's first file-dialog layout");
static_assert(kColorDialogRecordSize == sizeof(CHOOSECOLORW), "colour-dialog layout");
static_assert(sizeof(COLORREF) == sizeof(uint32_t), "custom colours are 32-bit values");

namespace {

using FileDialogCall = BOOL(APIENTRY*)(LPOPENFILENAMEW);

std::wstring Wide(ustring_view text) { return std::wstring(text.begin(), text.end()); }

// Shows one file dialog as the record says; the chosen path or an empty
// string. The strings live in copies for the length of the call.
ustring RunFileDialog(const FileDialogRecord& record, FileDialogCall show) {
  const std::wstring filter = Wide(record.lpstrFilter);
  const std::wstring title = Wide(record.lpstrTitle);
  const std::wstring defExt = record.lpstrDefExt ? Wide(*record.lpstrDefExt) : std::wstring();
  // The buffer keeps its full length whatever the record held, so the
  // platform can never write past what nMaxFile promises.
  std::vector<wchar_t> file(kFileBufferLength, L'\0');
  record.lpstrFile.copy(reinterpret_cast<char16_t*>(file.data()), kFileBufferLength);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = record.lStructSize;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = record.nFilterIndex;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = record.nMaxFile;
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = record.Flags;
  ofn.lpstrDefExt = record.lpstrDefExt ? defExt.c_str() : nullptr;
  DialogLook look;
  if (!show(&ofn)) return ustring();  // cancelled, closed or failed

  return PathFromFileBuffer(
      ustring_view(reinterpret_cast<const char16_t*>(file.data()), kFileBufferLength));
}

}  // namespace

void ShowOpenDialog(ustring& path) {
  path.clear();
  try {
    path = RunFileDialog(OpenDialogRecord(), GetOpenFileNameW);
  } catch (...) {
    path.clear();
  }
}

void ShowSaveDialog(ustring& path) {
  path.clear();
  try {
    path = RunFileDialog(SaveDialogRecord(), GetSaveFileNameW);
  } catch (...) {
    path.clear();
  }
}

void ShowColorDialog(int32_t& color) {
  color = 0;
  ColorDialogRecord record = NewColorDialogRecord();
  CHOOSECOLORW cc{};
  cc.lStructSize = record.lStructSize;
  cc.rgbResult = record.rgbResult;
  cc.lpCustColors = reinterpret_cast<COLORREF*>(record.custom_colors.data());
  cc.Flags = record.Flags;
  DialogLook look;
  if (ChooseColorW(&cc)) color = static_cast<int32_t>(cc.rgbResult);
}

}  // namespace wex
