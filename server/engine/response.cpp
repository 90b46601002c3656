// The per-transfer state and its readers: reset, the response head's status
// line and redirect line, the body as text, bytes and size.
#include <algorithm>
#include <new>
#include <string_view>

#include "common/codepage.h"
#include "server/engine/body_text.h"
#include "server/engine/content_length.h"
#include "server/engine/http_uc.h"

namespace wex {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

uint8_t AsciiLower(uint8_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// First position of `needle` (lower-case ASCII) in `bytes`, ignoring ASCII
// case; npos when it is not there.
size_t FindIgnoringCase(std::string_view bytes, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= bytes.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && AsciiLower(bytes[i + k]) == static_cast<uint8_t>(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

}  // namespace

// A new list rather than an emptied one: a list handed out by CurFileBytes1
// keeps its contents.
void httpUC::ResetTransfer() {
  LErrNum = 0;
  bHeaderPending = true;
  LBytes = 0;
  LServerCode = 0;
  sServerString.clear();
  std::vector<uint8_t>().swap(headBuffer_);
  headScanned_ = 0;
  contentLength_ = kNoContentLength;
  try {
    colChunks = std::make_shared<ChunkList>();
  } catch (const std::bad_alloc&) {
    colChunks.reset();  // AppendChunk then stores nothing and reports it
  }
}

// Reads the status line (code and text) from a complete head, `size` bytes
// through its blank line, and, for 301 to 303, appends the first line that
// holds "Location:" in any case. The lines are found in the bytes as they
// arrived, and only the two lines taken are converted: on a multi-byte code
// page a byte of another line (a header in UTF-8, say) could otherwise join a
// line end to a character and hide the lines after it.
void httpUC::ParseHeader(const uint8_t* head, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(head), size);
  const ustring status = AnsiToText(head, bytes.find("\r\n"));
  const size_t space = status.find(u' ');
  if (space == ustring::npos) return;

  // Only three decimal digits count as a code; anything else keeps the old one.
  const ustring codeText = status.substr(space + 1, 3);
  if (codeText.size() == 3 && std::all_of(codeText.begin(), codeText.end(), IsDigit)) {
    LServerCode = (codeText[0] - u'0') * 100 + (codeText[1] - u'0') * 10 + (codeText[2] - u'0');
  }
  // The text starts after the blank, the code and one separator.
  if (space + 5 < status.size()) sServerString = status.substr(space + 5);

  if (LServerCode > 300 && LServerCode < 304) {
    const size_t location = FindIgnoringCase(bytes, "location:");
    if (location != std::string_view::npos) {
      const size_t lineEnd = bytes.find("\r\n", location);
      sServerString += AnsiToText(head + location, lineEnd - location);
    }
  }
}

// The body as text: every LF turned into CR LF (a CR LF gives CR CR LF).
ustring httpUC::ChunksToString() const {
  if (LBytes == 0 || !colChunks || colChunks->empty()) return ustring();
  return BodyText(*colChunks);
}

// True for an existing path that is not a folder; never fails.
bool httpUC::FileExists(const ustring& path) {
  uint32_t attributes = 0;
  if (path.empty() || !platform_->FileAttributes(path, attributes)) return false;
  return (attributes & kFileAttributeDirectory) == 0;
}

// The only reader that allocates with the body's size: when that fails it
// throws std::bad_alloc, which the automation layer reports as out of memory.
ustring httpUC::CurFileString1() const {
  if (LBytes == 0) return ustring();
  return ChunksToString();
}

std::shared_ptr<const ChunkList> httpUC::CurFileBytes1() const {
  if (!colChunks) return std::make_shared<const ChunkList>();
  return colChunks;
}

int32_t httpUC::CurSize1() const { return LBytes; }

}  // namespace wex
