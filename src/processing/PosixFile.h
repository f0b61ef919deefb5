#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vexalo {

// open(2) of `path` with `flags` (close-on-exec added; a file it creates
// gets 0666 less the umask), retried after EINTR; the descriptor or -1 with
// errno set.
int OpenRetrying(const std::string& path, int flags);

// One open file descriptor, closed when the object goes. Every failure of the
// system raises EInOutError with the errno it reported and the file's path;
// EINTR is retried.
class PosixFile {
 public:
  enum class Mode {
    kReplace,  // created or emptied, write only
    kAppend,   // created when missing; every write goes to the end
  };

  // Opens `path` for writing; raises EInOutError when the system refuses.
  PosixFile(const std::string& path, Mode mode);
  // Opens `path` for reading, or gives nothing when no file has that name;
  // raises EInOutError for every other refusal.
  static std::optional<PosixFile> OpenIfPresent(const std::string& path);

  ~PosixFile();
  PosixFile(PosixFile&& other) noexcept;
  PosixFile& operator=(PosixFile&&) = delete;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // Reads up to `capacity` bytes into `buffer`; 0 means the end of the file.
  size_t Read(char* buffer, size_t capacity);

  // Writes all of `bytes`, continuing after short writes.
  void Write(std::string_view bytes);

  // The file's size in bytes; 0 when it has none (a device, a pipe).
  long long Size() const;

  // Moves the read position to `offset` bytes from the start.
  void SeekTo(long long offset);

  // Cuts the file to `length` bytes.
  void TruncateTo(long long length);

  // The file's last byte; nothing for an empty file, for one that cannot
  // seek, or for one that was opened for appending without the right to read
  // it back. Leaves the file offset at the end of the file, where every write
  // of a file opened for appending goes anyway.
  std::optional<char> LastByte();

  // The offset of the end of the file (its size, for a device 0).
  long long EndOffset();

  // Flushes the file's data and size to stable storage (fsync). Works on a
  // file opened for reading too, and on a folder, whose entries it flushes.
  void Sync();

  // Closes now, so that a failure the system reports only at close is raised
  // rather than lost in the destructor.
  void Close();

 private:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  [[noreturn]] void Raise(int errorCode) const;

  int fd_ = -1;
  std::string path_;  // for the error texts
};

}  // namespace vexalo
