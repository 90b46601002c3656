// The records the dialogs are given: fixed settings, nothing from the caller.
#include <gtest/gtest.h>

#include "common/ustring.h"
#include "dialogs/portable/color_dialog_record.h"
#include "dialogs/portable/file_dialog_record.h"

namespace wex {
namespace {

// The record sizes the platform accepts for this architecture.
constexpr uint32_t kFileRecordSize = sizeof(void*) == 4 ? 76 : 136;
constexpr uint32_t kColorRecordSize = sizeof(void*) == 4 ? 36 : 72;

TEST(FileDialogRecord, OpenHasTheFixedSettings) {
  FileDialogRecord r = OpenDialogRecord();
  EXPECT_EQ(r.lStructSize, kFileRecordSize);
  EXPECT_EQ(ToUtf8(r.lpstrTitle), "Open File");
  EXPECT_EQ(r.nFilterIndex, 1u);
  EXPECT_EQ(r.lpstrFile, ustring(256, u'\0'));
  EXPECT_EQ(r.nMaxFile, 255u);
  EXPECT_EQ(r.Flags, 0u);
  EXPECT_FALSE(r.lpstrDefExt.has_value());
}

TEST(FileDialogRecord, SaveDiffersOnlyInTitleAndDefaultExtension) {
  FileDialogRecord open = OpenDialogRecord();
  FileDialogRecord save = SaveDialogRecord();
  EXPECT_EQ(ToUtf8(save.lpstrTitle), "Save As");
  ASSERT_TRUE(save.lpstrDefExt.has_value());
  EXPECT_EQ(ToUtf8(*save.lpstrDefExt), "txt");
  EXPECT_EQ(save.lStructSize, open.lStructSize);
  EXPECT_EQ(save.lpstrFilter, open.lpstrFilter);
  EXPECT_EQ(save.nFilterIndex, open.nFilterIndex);
  EXPECT_EQ(save.lpstrFile, open.lpstrFile);
  EXPECT_EQ(save.nMaxFile, open.nMaxFile);
  EXPECT_EQ(save.Flags, 0u);
}

TEST(FileDialogRecord, FilterIsOnePairEndedByAnExtraNul) {
  const char expected[] = {'A', 'l', 'l', ' ', 'F', 'i', 'l', 'e', 's', 0, '*', '.', '*', 0, 0};
  ustring filter = OpenDialogRecord().lpstrFilter;
  ASSERT_EQ(filter.size(), 15u);
  for (size_t i = 0; i < filter.size(); ++i) EXPECT_EQ(filter[i], expected[i]) << "at " << i;
}

TEST(PathFromFileBuffer, TakesTheTextBeforeTheFirstNulWithinTheLimit) {
  struct Case {
    ustring buffer;
    ustring path;
  };
  ustring longest(254, u'a');
  const Case cases[] = {
      {ustring(256, u'\0'), u""},
      {ustring(u"C:\\a\\report.txt") + ustring(241, u'\0'), u"C:\\a\\report.txt"},
      {ustring(u"C:\\x\0junk\0", 10) + ustring(246, u'\0'), u"C:\\x"},
      {longest + ustring(2, u'\0'), longest},
      {ustring(255, u'a') + u'\0', u""},  // one over the limit
      {ustring(256, u'a'), u""},          // no terminator at all
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathFromFileBuffer(c.buffer), c.path) << ToUtf8(c.buffer.substr(0, 20));
  }
}

TEST(ColorDialogRecord, FullOpenWithAFreshBlackTable) {
  ColorDialogRecord r = NewColorDialogRecord();
  EXPECT_EQ(r.lStructSize, kColorRecordSize);
  EXPECT_EQ(r.rgbResult, 0u);
  EXPECT_EQ(r.Flags, 2u);
  ASSERT_EQ(r.custom_colors.size(), 16u);
  for (uint32_t c : r.custom_colors) EXPECT_EQ(c, 0u);
}

TEST(ColorDialogRecord, EachCallGetsItsOwnTable) {
  ColorDialogRecord first = NewColorDialogRecord();
  first.custom_colors[3] = 0x123456;
  EXPECT_EQ(NewColorDialogRecord().custom_colors[3], 0u);
}

}  // namespace
}  // namespace wex
