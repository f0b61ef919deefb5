#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vexalo {

// Which file a descriptor or a path stands for, and its size then: two
// identities with the same device and inode are the same file.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;

  bool SameFileAs(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

// The identity of the file `path` names now (links followed), or nothing when
// it names none the system can look at.
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

// open(2) of `path` with `flags` (close-on-exec added; a file it creates
// gets 0600: orders hold names, addresses and phone numbers), retried after
// EINTR; the descriptor or -1 with errno set.
int OpenRetrying(const std::string& path, int flags);

// One open file descriptor, closed when the object goes. Every failure of the
// system raises EInOutError with the errno it reported and the file's path;
// EINTR is retried.
//
// A data file must be a regular file: a FIFO would hold the run in open()
// until someone writes to it, a device such as /dev/zero would feed it without
// end. Opens of a data file never wait (O_NONBLOCK until the file is known to
// be a regular one) and raise EInOutError naming the file, with EISDIR for a
// folder and ENXIO for anything else that is no regular file. A link to a
// regular file is followed: the user may keep his data elsewhere.
class PosixFile {
 public:
  enum class Mode {
    kReplace,          // created or emptied, write only; any kind of file (one the user names)
    kReplaceDataFile,  // the same for a data file
    kAppendDataFile,   // a data file, created when missing; every write goes to the end
  };

  // Opens `path` for writing; raises EInOutError when the system refuses.
  PosixFile(const std::string& path, Mode mode);
  // Opens the data file `path` for reading, or gives nothing when no file has
  // that name; raises EInOutError for every other refusal.
  static std::optional<PosixFile> OpenIfPresent(const std::string& path);
  // Creates a new file, write only, mode 0600, named `prefix` and six random
  // letters and digits, with O_EXCL and O_NOFOLLOW: a file or link someone
  // else put under any name is neither followed nor touched. Path() gives the
  // name made. Raises EInOutError naming `prefix`.
  static PosixFile CreateUnique(const std::string& prefix);
  // Flushes the entries of the folder holding `path` to stable storage: a
  // file created or renamed since the last sync is only found again after a
  // crash if its name is on disk too.
  static void SyncFolderOf(const std::string& path);

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

  // The open file's identity and size.
  FileIdentity Identity() const;

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

  // Sets the file's permission bits.
  void SetPermissions(unsigned mode);

  const std::string& Path() const { return path_; }

 private:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  [[noreturn]] void Raise(int errorCode) const;

  int fd_ = -1;
  std::string path_;  // for the error texts
};

}  // namespace vexalo
