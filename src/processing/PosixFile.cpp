#include "processing/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "processing/InOutError.h"

namespace vexalo {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask

}  // namespace

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

namespace {

int OpenOrRaise(const std::string& path, PosixFile::Mode mode) {
  int fd = -1;
  switch (mode) {
    case PosixFile::Mode::kReplace:
      fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case PosixFile::Mode::kAppend:
      // Read access is only wanted to look at the last byte; a file that may
      // be written but not read is still appended to.
      fd = OpenRetrying(path, O_RDWR | O_APPEND | O_CREAT);
      if (fd < 0 && errno == EACCES) fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT);
      break;
  }
  if (fd < 0) throw EInOutError(errno, path);
  return fd;
}

}  // namespace

PosixFile::PosixFile(const std::string& path, Mode mode)
    : fd_(OpenOrRaise(path, mode)), path_(path) {}

std::optional<PosixFile> PosixFile::OpenIfPresent(const std::string& path) {
  const int fd = OpenRetrying(path, O_RDONLY);
  if (fd >= 0) return PosixFile(fd, path);
  if (errno == ENOENT) return std::nullopt;
  throw EInOutError(errno, path);
}

void PosixFile::Raise(int errorCode) const { throw EInOutError(errorCode, path_); }

PosixFile::~PosixFile() {
  if (fd_ >= 0) ::close(fd_);
}

PosixFile::PosixFile(PosixFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

size_t PosixFile::Read(char* buffer, size_t capacity) {
  ssize_t got;
  do {
    got = ::read(fd_, buffer, capacity);
  } while (got < 0 && errno == EINTR);
  if (got < 0) Raise(errno);
  return static_cast<size_t>(got);
}

void PosixFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      Raise(errno);
    }
    if (put == 0) Raise(EIO);  // no progress and no reason: never spin on it
    bytes.remove_prefix(static_cast<size_t>(put));
  }
}

long long PosixFile::Size() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return info.st_size;
}

void PosixFile::SeekTo(long long offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) Raise(errno);
}

void PosixFile::TruncateTo(long long length) {
  while (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
    if (errno != EINTR) Raise(errno);
  }
}

long long PosixFile::EndOffset() {
  const off_t end = ::lseek(fd_, 0, SEEK_END);
  return end < 0 ? 0 : end;
}

std::optional<char> PosixFile::LastByte() {
  // The end offset rather than fstat: a run asks this before every line it
  // appends, and lseek costs a fraction of a stat.
  const off_t size = ::lseek(fd_, 0, SEEK_END);
  char byte = 0;
  if (size <= 0 || ::pread(fd_, &byte, 1, size - 1) != 1) return std::nullopt;
  return byte;
}

void PosixFile::Sync() {
  while (::fsync(fd_) != 0) {
    if (errno != EINTR) Raise(errno);
  }
}

void PosixFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  // The descriptor is gone even when close reports an error, so no retry.
  if (::close(fd) != 0 && errno != EINTR) Raise(errno);
}

}  // namespace vexalo
