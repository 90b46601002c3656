// Saving the body as text or as the received bytes.
//
// A save reports what happened: 0 written, 1 an existing file kept (IfDelete
// false), 2 nothing to save, 3 not written. An existing file is replaced only
// once the new content is completely written beside it, so a failed save
// leaves it as it was.
#include <functional>
#include <new>
#include <string>

#include "common/codepage.h"
#include "server/engine/http_uc.h"

namespace wex {
namespace {

constexpr int32_t kWritten = 0;
constexpr int32_t kKept = 1;
constexpr int32_t kNothingToSave = 2;
constexpr int32_t kNotWritten = 3;

// The new content of an existing file is written here first, in the same
// folder, so that the replacement is one rename on the same volume.
constexpr char16_t kTemporarySuffix[] = u".wexlo-tmp";

using BodyWriter = std::function<bool(OutputFile&)>;

// Creates `path`, writes the body and closes it. A file this call created and
// could not complete is removed again.
bool WriteWholeFile(Platform& platform, const ustring& path, const BodyWriter& writeBody) {
  std::unique_ptr<OutputFile> file = platform.CreateOutputFile(path);
  if (!file) return false;
  bool written = writeBody(*file);
  bool closed = file->Close();
  file.reset();
  if (written && closed) return true;
  platform.DeleteFileAnsi(path);
  return false;
}

// The steps both saves share; they differ only in how the body is written.
int32_t Save(Platform& platform, const ustring& path, bool exists, bool ifDelete, bool haveBody,
             const BodyWriter& writeBody) {
  if (exists && !ifDelete) return kKept;
  if (!haveBody) return kNothingToSave;  // an existing file is left untouched
  if (!exists) return WriteWholeFile(platform, path, writeBody) ? kWritten : kNotWritten;
  const ustring temporary = path + kTemporarySuffix;
  if (!WriteWholeFile(platform, temporary, writeBody)) return kNotWritten;
  if (!platform.ReplaceFile(temporary, path)) {
    platform.DeleteFileAnsi(temporary);
    return kNotWritten;
  }
  return kWritten;
}

}  // namespace

int32_t httpUC::WriteTextFile1(const ustring& sPath, bool IfDelete) {
  return SaveTextFile(sPath, IfDelete);
}

int32_t httpUC::WriteBinaryFile1(const ustring& sPath, bool IfDelete) {
  return SaveBinaryFile(sPath, IfDelete);
}

// The text of CurFileString1 (every LF as CR LF) in the ANSI code page, and no
// line end after it. It is made chunk by chunk, so a large body is not held a
// second and third time as text.
int32_t httpUC::SaveTextFile(const ustring& sPath, bool IfDelete) {
  const bool exists = FileExists(sPath);
  const bool haveBody = colChunks && !colChunks->empty() && LBytes != 0;
  std::shared_ptr<const ChunkList> chunks = colChunks;
  return Save(*platform_, sPath, exists, IfDelete, haveBody, [&chunks](OutputFile& file) {
    try {
      ustring text;
      std::string bytes;
      for (const Chunk& chunk : *chunks) {
        text.clear();
        AppendAnsiToText(chunk.data(), chunk.size(), text);
        const std::string ansi = TextToAnsi(text);
        bytes.clear();
        bytes.reserve(ansi.size() * 2);
        for (char c : ansi) {
          if (c == '\n') bytes += '\r';
          bytes += c;
        }
        if (!file.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) return false;
      }
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  });
}

// The received bytes exactly, in arrival order.
int32_t httpUC::SaveBinaryFile(const ustring& sPath, bool IfDelete) {
  const bool exists = FileExists(sPath);
  const bool haveBody = colChunks && !colChunks->empty() && LBytes != 0;
  std::shared_ptr<const ChunkList> chunks = colChunks;
  return Save(*platform_, sPath, exists, IfDelete, haveBody, [&chunks](OutputFile& file) {
    for (const Chunk& chunk : *chunks) {
      if (!file.Write(chunk.data(), chunk.size())) return false;
    }
    return true;
  });
}

}  // namespace wex
