#include "dialogs/portable/color_dialog_record.h"

#include "dialogs/portable/record_layouts.h"

namespace wex {

ColorDialogRecord NewColorDialogRecord() {
  ColorDialogRecord r;
  r.lStructSize = kColorDialogRecordSize;
  r.rgbResult = 0;
  r.Flags = kColorFullOpen;
  r.custom_colors.fill(0);
  return r;
}

}  // namespace wex
