#include "platform/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/InOutError.h"

namespace vexalo {

namespace {

// Orders hold names, addresses and phone numbers: only the user may read them.
constexpr mode_t kNewFileMode = 0600;

}  // namespace

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

namespace {

// Closes `fd` and raises the error about `path`.
[[noreturn]] void CloseAndRaise(int fd, int errorCode, const std::string& path) {
  ::close(fd);
  throw EInOutError(errorCode, path);
}

// The descriptor of a data file opened with O_NONBLOCK, once it is known to
// be a regular file, waiting again like any file; closed, and an error naming
// `path` raised, when it is anything else.
int RegularFileOrRaise(int fd, const std::string& path) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) CloseAndRaise(fd, errno, path);
  if (!S_ISREG(info.st_mode)) CloseAndRaise(fd, S_ISDIR(info.st_mode) ? EISDIR : ENXIO, path);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) CloseAndRaise(fd, errno, path);
  return fd;
}

int OpenDataFile(const std::string& path, int flags) {
  const int fd = OpenRetrying(path, flags | O_NONBLOCK);
  return fd < 0 ? fd : RegularFileOrRaise(fd, path);
}

int OpenOrRaise(const std::string& path, PosixFile::Mode mode) {
  int fd = -1;
  switch (mode) {
    case PosixFile::Mode::kReplace:
      fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case PosixFile::Mode::kReplaceDataFile:
      fd = OpenDataFile(path, O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case PosixFile::Mode::kAppendDataFile:
      // Read access is only wanted to look at the last byte; a file that may
      // be written but not read is still appended to.
      fd = OpenDataFile(path, O_RDWR | O_APPEND | O_CREAT);
      if (fd < 0 && errno == EACCES) fd = OpenDataFile(path, O_WRONLY | O_APPEND | O_CREAT);
      break;
  }
  if (fd < 0) throw EInOutError(errno, path);
  return fd;
}

constexpr char kUniqueTemplate[] = "XXXXXX";

}  // namespace

PosixFile::PosixFile(const std::string& path, Mode mode)
    : fd_(OpenOrRaise(path, mode)), path_(path) {}

std::optional<PosixFile> PosixFile::OpenIfPresent(const std::string& path) {
  const int fd = OpenDataFile(path, O_RDONLY);
  if (fd >= 0) return PosixFile(fd, path);
  if (errno == ENOENT) return std::nullopt;
  throw EInOutError(errno, path);
}

PosixFile PosixFile::CreateUnique(const std::string& prefix) {
  std::string path = prefix + kUniqueTemplate;
  // mkostemp creates with O_CREAT | O_EXCL and mode 0600, and tries other
  // letters while a name is taken.
  int fd;
  do {
    path.replace(prefix.size(), std::string::npos, kUniqueTemplate);
    fd = ::mkostemp(path.data(), O_CLOEXEC | O_NOFOLLOW);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EInOutError(errno, prefix);
  return PosixFile(fd, std::move(path));
}

void PosixFile::SyncFolderOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const int fd = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) throw EInOutError(errno, folder);
  PosixFile opened(fd, folder);
  opened.Sync();
  opened.Close();
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

namespace {

FileIdentity IdentityFrom(const struct stat& info) {
  return {static_cast<unsigned long long>(info.st_dev),
          static_cast<unsigned long long>(info.st_ino),
          S_ISREG(info.st_mode) ? static_cast<long long>(info.st_size) : 0};
}

}  // namespace

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return IdentityFrom(info);
}

FileIdentity PosixFile::Identity() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) Raise(errno);
  return IdentityFrom(info);
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

void PosixFile::SetPermissions(unsigned mode) {
  if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) Raise(errno);
}

void PosixFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  // The descriptor is gone even when close reports an error, so no retry.
  if (::close(fd) != 0 && errno != EINTR) Raise(errno);
}

}  // namespace vexalo
