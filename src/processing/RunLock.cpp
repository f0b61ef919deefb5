#include "processing/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "processing/InOutError.h"

namespace vexalo {

namespace {

constexpr mode_t kLockFileMode = 0666;  // narrowed by the user's umask

}  // namespace

bool RunLock::TryAcquire(const std::string& path) {
  Release();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EInOutError(errno, path);
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return false;
    throw EInOutError(error, path);
  }
  fd_ = fd;
  return true;
}

void RunLock::Release() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file drops its lock.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace vexalo
