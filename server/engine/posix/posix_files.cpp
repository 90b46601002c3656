// The file operations of the POSIX platform. Paths are the UTF-8 form of the
// text, for every operation alike, as Windows takes every path as UTF-16.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "server/engine/posix/posix_platform.h"

namespace wex {
namespace {

constexpr uint32_t kFileAttributeNormal = 0x80;

// The path for the system calls, or false for one they would misread: an
// empty path, or one with a NUL character, which would silently cut the
// path short and name another file.
bool NativePath(const ustring& path, std::string& native) {
  if (path.empty() || path.find(u'\0') != ustring::npos) return false;
  native = ToUtf8(path);
  return true;
}

class PosixOutputFile final : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) close(fd_);
  }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

  bool Write(const uint8_t* bytes, size_t count) override {
    if (fd_ < 0 || failed_) return false;
    while (count > 0) {
      ssize_t n = ::write(fd_, bytes, count);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        return false;
      }
      bytes += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return false;
    int fd = fd_;
    fd_ = -1;
    // The descriptor is gone after close() whatever it reports; a failure
    // there (a full disk on a network file system) still means lost data.
    bool closed = ::close(fd) == 0;
    return closed && !failed_;
  }

 private:
  int fd_;
  bool failed_ = false;
};

}  // namespace

bool PosixPlatform::FileAttributes(const ustring& path, uint32_t& attributes) {
  std::string native;
  struct stat info;
  if (!NativePath(path, native) || stat(native.c_str(), &info) != 0) return false;
  if (S_ISDIR(info.st_mode)) {
    attributes = kFileAttributeDirectory;
  } else {
    attributes = (info.st_mode & S_IWUSR) ? kFileAttributeNormal : kFileAttributeReadOnly;
  }
  if (S_ISDIR(info.st_mode) && !(info.st_mode & S_IWUSR)) attributes |= kFileAttributeReadOnly;
  return true;
}

bool PosixPlatform::RemoveFile(const ustring& path) {
  std::string native;
  return NativePath(path, native) && unlink(native.c_str()) == 0;
}

std::unique_ptr<OutputFile> PosixPlatform::CreateOutputFile(const ustring& path) {
  std::string native;
  if (!NativePath(path, native)) return nullptr;
  int fd;
  do {
    fd = open(native.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixOutputFile>(fd);
}

std::unique_ptr<OutputFile> PosixPlatform::CreateNewOutputFile(const ustring& path,
                                                               bool& nameTaken) {
  nameTaken = false;
  std::string native;
  if (!NativePath(path, native)) return nullptr;
  int fd;
  do {
    fd = open(native.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    nameTaken = errno == EEXIST;
    return nullptr;
  }
  return std::make_unique<PosixOutputFile>(fd);
}

bool PosixPlatform::ReplaceFile(const ustring& from, const ustring& to) {
  std::string source, target;
  return NativePath(from, source) && NativePath(to, target) &&
         std::rename(source.c_str(), target.c_str()) == 0;
}

}  // namespace wex
