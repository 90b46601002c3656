// Saving the body as text or as the received bytes.
//
// A save reports what happened: 0 written, 1 an existing file kept (IfDelete
// false), 2 nothing to save, 3 not written (also for a path holding a NUL).
// An existing file is replaced by a complete new one written beside it under
// a fresh name, so a failed save leaves it as it was; only where no file can
// be made beside it is it overwritten in place, as deleting it and writing it
// anew would do. A read-only file is never replaced.
#include <functional>
#include <new>
#include <random>
#include <string>

#include "common/codepage.h"
#include "server/engine/body_text.h"
#include "server/engine/http_uc.h"

namespace wex {
namespace {

constexpr int32_t kWritten = 0;
constexpr int32_t kKept = 1;
constexpr int32_t kNothingToSave = 2;
constexpr int32_t kNotWritten = 3;

// Names tried for the new content before the save gives up on a file beside
// the target; each is taken only by an unlucky collision.
constexpr int kTemporaryAttempts = 16;

using BodyWriter = std::function<bool(OutputFile&)>;

// Writes the body into the opened file and closes it. A file that could not
// be completed is removed again.
bool WriteAndClose(Platform& platform, const ustring& path, std::unique_ptr<OutputFile> file,
                   const BodyWriter& writeBody) {
  if (!file) return false;
  bool written = writeBody(*file);
  bool closed = file->Close();
  file.reset();
  if (written && closed) return true;
  platform.RemoveFile(path);
  return false;
}

// Creates (or empties) `path` and writes the body into it.
bool WriteWholeFile(Platform& platform, const ustring& path, const BodyWriter& writeBody) {
  return WriteAndClose(platform, path, platform.CreateOutputFile(path), writeBody);
}

bool IsReadOnly(Platform& platform, const ustring& path) {
  uint32_t attributes = 0;
  return platform.FileAttributes(path, attributes) && (attributes & kFileAttributeReadOnly) != 0;
}

// The folder part of a path, separator included ("" for a bare name), so
// that a name put after it lands in the target's folder.
ustring FolderOf(const ustring& path) {
  const size_t end = path.find_last_of(u"\\/:");
  return end == ustring::npos ? ustring() : path.substr(0, end + 1);
}

// Short names that differ from one call to the next in a process and from
// one process to another: "~wx", eight hexadecimal digits, ".tmp". Far below
// any name-length limit, whatever the length of the target's name.
ustring NextTemporaryName() {
  static uint32_t state = [] {
    try {
      return static_cast<uint32_t>(std::random_device()());
    } catch (...) {
      return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&state));
    }
  }();
  state = state * 1664525u + 1013904223u;  // full period: no repeats in a process
  static const char16_t kDigits[] = u"0123456789abcdef";
  ustring name = u"~wx";
  for (int shift = 28; shift >= 0; shift -= 4) name += kDigits[(state >> shift) & 0xF];
  return name + u".tmp";
}

enum class Replacement { kReplaced, kFailed, kNoFileBeside };

// Writes the new content into a new file beside `path` and moves it over
// `path`. Never opens an existing file: a taken name is skipped.
Replacement ReplaceThroughNewFile(Platform& platform, const ustring& path,
                                  const BodyWriter& writeBody) {
  const ustring folder = FolderOf(path);
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    const ustring temporary = folder + NextTemporaryName();
    bool nameTaken = false;
    std::unique_ptr<OutputFile> file = platform.CreateNewOutputFile(temporary, nameTaken);
    if (!file) {
      if (nameTaken) continue;
      return Replacement::kNoFileBeside;  // the folder takes no new files
    }
    if (!WriteAndClose(platform, temporary, std::move(file), writeBody))
      return Replacement::kFailed;
    if (platform.ReplaceFile(temporary, path)) return Replacement::kReplaced;
    // The target cannot be replaced (a file system without that move, a
    // sharing mode that forbids it); it may still be written.
    platform.RemoveFile(temporary);
    return Replacement::kNoFileBeside;
  }
  return Replacement::kNoFileBeside;
}

// The steps both saves share; they differ only in how the body is written.
int32_t Save(Platform& platform, const ustring& path, bool exists, bool ifDelete, bool haveBody,
             const BodyWriter& writeBody) {
  // A path holding a NUL names no file: a call taking it as a C string would
  // write another file than the one named. Refused here, once, for every
  // platform (the Win32 and POSIX ones refuse it in each call as well).
  if (path.find(u'\0') != ustring::npos) return kNotWritten;
  if (exists && !ifDelete) return kKept;
  if (!haveBody) return kNothingToSave;  // an existing file is left untouched
  if (!exists) return WriteWholeFile(platform, path, writeBody) ? kWritten : kNotWritten;
  // Windows refuses to delete a read-only file; the save fails on every platform alike.
  if (IsReadOnly(platform, path)) return kNotWritten;
  switch (ReplaceThroughNewFile(platform, path, writeBody)) {
    case Replacement::kReplaced:
      return kWritten;
    case Replacement::kFailed:
      return kNotWritten;
    case Replacement::kNoFileBeside:
      break;
  }
  return WriteWholeFile(platform, path, writeBody) ? kWritten : kNotWritten;
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
      // A character of a multi-byte code page may be split between two
      // blocks: there the whole text goes back to the code page at once.
      if (SingleByteAnsiTable() == nullptr) {
        const std::string ansi = TextToAnsi(BodyText(*chunks));
        return file.Write(reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size());
      }
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
