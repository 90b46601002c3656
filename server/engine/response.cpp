// The per-transfer state and its readers: reset, the response head's status
// line and redirect line, the body as text, bytes and size.
#include <new>

#include "common/codepage.h"
#include "server/engine/body_text.h"
#include "server/engine/http_uc.h"

namespace wex {

// A new list rather than an emptied one: a list handed out by CurFileBytes1
// keeps its contents.
void httpUC::ResetTransfer() {
  LErrNum = 0;
  bHeaderPending = true;
  LBytes = 0;
  LServerCode = 0;
  sServerString.clear();
  head_.Clear();
  contentLength_ = kNoContentLength;
  try {
    colChunks = std::make_shared<ChunkList>();
  } catch (const std::bad_alloc&) {
    colChunks.reset();  // AppendChunk then stores nothing and reports it
  }
}

// Takes the status and, for 301 to 303, the "Location:" line appended to its
// text, from a complete head. Only these two texts are converted.
void httpUC::ParseHeader(const ResponseHead& head) {
  LServerCode = head.StatusCode();
  const auto asBytes = [](std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
  };
  sServerString = AnsiToText(asBytes(head.StatusText()), head.StatusText().size());
  AppendAnsiToText(asBytes(head.Location()), head.Location().size(), sServerString);
  contentLength_ = head.ContentLength();
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
