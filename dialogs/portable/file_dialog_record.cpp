#include "dialogs/portable/file_dialog_record.h"

#include "dialogs/portable/record_layouts.h"

namespace wex {

namespace {

// The steps both dialogs share, with the title each gives.
FileDialogRecord CommonRecord(const char16_t* title) {
  FileDialogRecord r;
  r.lpstrTitle = title;
  r.lpstrFilter = ustring(u"All Files\0*.*\0\0", 15);
  r.nFilterIndex = 1;
  r.lpstrFile = ustring(kFileBufferLength, u'\0');
  r.nMaxFile = kFileBufferUsable;
  r.lStructSize = kFileDialogRecordSize;
  r.Flags = 0;  // no options: no existence check, no overwrite prompt, one file
  return r;
}

}  // namespace

FileDialogRecord OpenDialogRecord() { return CommonRecord(u"Open File"); }

FileDialogRecord SaveDialogRecord() {
  FileDialogRecord r = CommonRecord(u"Save As");
  r.lpstrDefExt = ustring(u"txt");
  return r;
}

ustring PathFromFileBuffer(ustring_view buffer) {
  size_t end = buffer.find(u'\0');
  if (end == ustring_view::npos || end >= kFileBufferUsable) return ustring();
  return ustring(buffer.substr(0, end));
}

}  // namespace wex
