// The platform's two dialog records, field for field (the ANSI and the wide
// forms share one layout), so that their sizes follow the architecture
// without the platform's headers.
//
// The file-dialog record is the first layout, without the three fields later
// versions appended: 76 bytes for 32-bit code. A 64-bit caller must pass the
// same layout at its own pointer size (136 bytes, the platform's
// OPENFILENAME_SIZE_VERSION_400); the dialog rejects 76 there. Likewise the
// colour record is 36 bytes for 32-bit code and 72 for 64-bit code.
#pragma once

#include <cstdint>

namespace wex {

struct FileDialogLayout {
  uint32_t lStructSize;
  void* hwndOwner;
  void* hInstance;
  const char* lpstrFilter;
  char* lpstrCustomFilter;
  uint32_t nMaxCustFilter;
  uint32_t nFilterIndex;
  char* lpstrFile;
  uint32_t nMaxFile;
  char* lpstrFileTitle;
  uint32_t nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  uint32_t Flags;
  uint16_t nFileOffset;
  uint16_t nFileExtension;
  const char* lpstrDefExt;
  intptr_t lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
};

struct ColorDialogLayout {
  uint32_t lStructSize;
  void* hwndOwner;
  void* hInstance;
  uint32_t rgbResult;
  uint32_t* lpCustColors;
  uint32_t Flags;
  intptr_t lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
};

constexpr uint32_t kFileDialogRecordSize = sizeof(FileDialogLayout);
constexpr uint32_t kColorDialogRecordSize = sizeof(ColorDialogLayout);

static_assert(sizeof(void*) != 4 || kFileDialogRecordSize == 76, "first file-dialog layout");
static_assert(sizeof(void*) != 4 || kColorDialogRecordSize == 36, "colour-dialog layout");

}  // namespace wex
