#include "platform/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vexalo {
namespace {

// Closes the descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  // Closes now, reporting whether the last writes reached the file.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The file a write to `path` lands in: the target of a symbolic link, or
// `path` itself.
std::string WriteTarget(const std::string& path) {
  struct stat link;
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Every check that can fail comes before the file is emptied.
bool RewriteInPlace(const std::string& path, std::string_view text, mode_t mode) {
  FileDescriptor file(open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat status;
  if (file.Get() < 0 || fstat(file.Get(), &status) != 0) return false;
  if ((status.st_mode & 07777) != mode && fchmod(file.Get(), mode) != 0) return false;
  return ftruncate(file.Get(), 0) == 0 && WriteAll(file.Get(), text) && fsync(file.Get()) == 0 &&
         file.Close();
}

}  // namespace

SmallFileContent ReadSmallFile(const std::string& path, std::size_t limit) {
  SmallFileContent content;
  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.Get() < 0) {
    content.state =
        errno == ENOENT ? SmallFileContent::State::kAbsent : SmallFileContent::State::kUnusable;
    return content;
  }
  content.state = SmallFileContent::State::kUnusable;
  struct stat status;
  if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return content;
  if (static_cast<std::size_t>(status.st_size) > limit) {
    content.state = SmallFileContent::State::kTooLarge;
    return content;
  }
  // The size is only a hint: the loop stops at end of file or past the limit.
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(file.Get(), buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return content;
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) {
      content.state = SmallFileContent::State::kTooLarge;
      return content;
    }
  }
  content.state = SmallFileContent::State::kRead;
  content.text = std::move(text);
  content.mode = status.st_mode & 07777;
  return content;
}

bool ReplaceSmallFile(const std::string& path, std::string_view text, mode_t mode) {
  const std::string target = WriteTarget(path);
  // rename() would replace a file that a plain write may not touch; keep the
  // refusal a read-only settings file is meant to give.
  if (faccessat(AT_FDCWD, target.c_str(), F_OK, AT_EACCESS) == 0 &&
      faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;
  }

  std::string temporary = target + ".XXXXXX";
  FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC | O_NOFOLLOW));
  if (file.Get() < 0) {
    // A folder the user may not write, holding a file he may: the file can
    // only be written where it is, or the settings could never be saved.
    return (errno == EACCES || errno == EPERM) && RewriteInPlace(target, text, mode);
  }
  const bool written = fchmod(file.Get(), mode) == 0 && WriteAll(file.Get(), text) &&
                       fsync(file.Get()) == 0 && file.Close();
  if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace vexalo
