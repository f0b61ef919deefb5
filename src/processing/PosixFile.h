#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vexalo {

// One open file descriptor, closed when the object goes. Every failure of the
// system raises EInOutError with the errno it reported; EINTR is retried.
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

  // The file's last byte; nothing for an empty file, or for one that was
  // opened for appending without the right to read it back.
  std::optional<char> LastByte() const;

  // Flushes the file's data and size to stable storage (fsync). Works on a
  // file opened for reading too, and on a folder, whose entries it flushes.
  void Sync();

  // Closes now, so that a failure the system reports only at close is raised
  // rather than lost in the destructor.
  void Close();

 private:
  explicit PosixFile(int fd) : fd_(fd) {}

  int fd_ = -1;
};

}  // namespace vexalo
