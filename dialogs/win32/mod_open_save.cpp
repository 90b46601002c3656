// The portable records copied into the platform's structures and shown
// through the ANSI entry points of comdlg32.
#include "dialogs/win32/mod_open_save.h"

#include <windows.h>

#include <commdlg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "dialogs/portable/color_dialog_record.h"
#include "dialogs/portable/file_dialog_record.h"
#include "dialogs/portable/record_layouts.h"
#include "dialogs/win32/dialog_look.h"

namespace wex {

static_assert(kFileDialogRecordSize ==
                  offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName),
              "the portable layout is the platform's first file-dialog layout");
static_assert(kColorDialogRecordSize == sizeof(CHOOSECOLORA), "colour-dialog layout");
static_assert(sizeof(COLORREF) == sizeof(uint32_t), "custom colours are 32-bit values");

namespace {

using FileDialogCall = BOOL(APIENTRY*)(LPOPENFILENAMEA);

// Shows one file dialog as the record says; the chosen path or an empty
// string. The strings live in ANSI copies for the length of the call.
ustring RunFileDialog(const FileDialogRecord& record, FileDialogCall show) {
  std::string filter = TextToAnsi(record.lpstrFilter);
  std::string title = TextToAnsi(record.lpstrTitle);
  std::string defExt = record.lpstrDefExt ? TextToAnsi(*record.lpstrDefExt) : std::string();
  std::string initial = TextToAnsi(record.lpstrFile);
  // The buffer keeps its full length whatever the conversion made of it, so
  // the platform can never write past what nMaxFile promises.
  std::vector<char> file(kFileBufferLength, '\0');
  initial.copy(file.data(), kFileBufferLength);

  OPENFILENAMEA ofn{};
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

  ustring returned = AnsiToText(reinterpret_cast<const uint8_t*>(file.data()), kFileBufferLength);
  return PathFromFileBuffer(returned);
}

}  // namespace

void ShowOpenDialog(ustring& path) {
  path.clear();
  try {
    path = RunFileDialog(OpenDialogRecord(), GetOpenFileNameA);
  } catch (...) {
    path.clear();
  }
}

void ShowSaveDialog(ustring& path) {
  path.clear();
  try {
    path = RunFileDialog(SaveDialogRecord(), GetSaveFileNameA);
  } catch (...) {
    path.clear();
  }
}

void ShowColorDialog(int32_t& color) {
  color = 0;
  ColorDialogRecord record = NewColorDialogRecord();
  CHOOSECOLORA cc{};
  cc.lStructSize = record.lStructSize;
  cc.rgbResult = record.rgbResult;
  cc.lpCustColors = reinterpret_cast<COLORREF*>(record.custom_colors.data());
  cc.Flags = record.Flags;
  DialogLook look;
  if (ChooseColorA(&cc)) color = static_cast<int32_t>(cc.rgbResult);
}

}  // namespace wex
