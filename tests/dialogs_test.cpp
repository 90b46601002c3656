// The records the dialogs are given (fixed settings, nothing from the caller),
// the path a file dialog gives back and a colour as six hexadecimal digits.
#include <gtest/gtest.h>

#include "common/ustring.h"
#include "dialogs/portable/color_dialog_record.h"
#include "dialogs/portable/color_hex.h"
#include "dialogs/portable/file_dialog_record.h"

namespace wex {
namespace {

// The record sizes the platform accepts for this architecture.
constexpr uint32_t kFileRecordSize = sizeof(void*) == 4 ? 76 : 136;
constexpr uint32_t kColorRecordSize = sizeof(void*) == 4 ? 36 : 72;

TEST(DialogRecords, OpenAndSaveDifferOnlyInTitleAndDefaultExtension) {
  const FileDialogRecord open = OpenDialogRecord(), save = SaveDialogRecord();
  for (const FileDialogRecord* r : {&open, &save}) {
    EXPECT_EQ(r->lStructSize, kFileRecordSize);
    EXPECT_EQ(r->lpstrFilter, ustring(u"All Files\0*.*\0\0", 15));  // one pair, an extra NUL
    EXPECT_EQ(r->nFilterIndex, 1u);
    EXPECT_EQ(r->lpstrFile, ustring(256, u'\0'));
    EXPECT_EQ(r->nMaxFile, 255u);
    EXPECT_EQ(r->Flags, 0u);
  }
  EXPECT_EQ(ToUtf8(open.lpstrTitle), "Open File");
  EXPECT_FALSE(open.lpstrDefExt.has_value());
  EXPECT_EQ(ToUtf8(save.lpstrTitle), "Save As");
  EXPECT_EQ(save.lpstrDefExt, std::optional<ustring>(u"txt"));
}

TEST(DialogRecords, ColourIsFullOpenWithAFreshBlackTableForEachCall) {
  ColorDialogRecord first = NewColorDialogRecord();
  EXPECT_EQ(first.lStructSize, kColorRecordSize);
  EXPECT_EQ(first.rgbResult, 0u);
  EXPECT_EQ(first.Flags, 2u);
  EXPECT_EQ(first.custom_colors, CustomColorTable{});
  first.custom_colors[3] = 0x123456;
  EXPECT_EQ(NewColorDialogRecord().custom_colors[3], 0u);
}

TEST(DialogResults, PathIsTheTextBeforeTheFirstNulWithinTheLimit) {
  const std::pair<ustring, ustring> cases[] = {
      {ustring(u"C:\\x\0junk\0", 10) + ustring(246, u'\0'), u"C:\\x"},
      {ustring(254, u'a') + ustring(2, u'\0'), ustring(254, u'a')},
      {ustring(255, u'a') + u'\0', u""},  // one over the limit
      {ustring(256, u'a'), u""},          // no terminator at all
  };
  for (const auto& [buffer, path] : cases) EXPECT_EQ(PathFromFileBuffer(buffer), path);
}

TEST(DialogResults, ColourHexTextReadsRedGreenBlue) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, ""},               // black gives the same as a cancel
      {1, "010000"},         // padded to six digits, then the pairs swapped
      {0x563412, "123456"},  // each pair lands in its place
      {0x0A0B0C, "0C0B0A"},  // upper-case digits
      {0xFFFFFF, "FFFFFF"},
      {0x1000000, ""},  // seven digits: not a colour
      {-1, ""},         // eight digits in 32-bit form
  };
  for (const auto& [color, text] : cases) EXPECT_EQ(ToUtf8(ColorHexText(color)), text) << color;
}

}  // namespace
}  // namespace wex
