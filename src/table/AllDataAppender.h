#pragma once

#include <csignal>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PosixFile.h"

namespace vexalo {

// Blocks SIGXFSZ on this thread while it lives, so that a write past the
// file-size limit fails with EFBIG instead of ending the program. One raised
// meanwhile is taken back before it is unblocked: the failed write reports it
// as an error already.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld();
  ~FileSizeSignalHeld();
  FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
  FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

 private:
  sigset_t held_{};
  sigset_t before_{};
};

// Appends lines to AllData.csv as AppendLine does (see DataFiles.h), each
// whole or not at all, but keeps the file open from one write to the next,
// and writes the lines added since the last write in one go: a run that takes
// ten thousand mails pays a stat of the path and a write per batch of rows
// instead of an open, its checks and a close per row.
//
// Before every write the path is compared with the open file (device and
// inode): a file replaced or removed meanwhile is let go and the path opened
// afresh, as a new open would have done; a file whose size is no longer what
// our last write left (another program wrote to it) has its last byte looked
// at again. Raises EInOutError as AppendLine does; after a failure the next
// write opens the file anew.
class AllDataAppender {
 public:
  explicit AllDataAppender(std::string path) : path_(std::move(path)) {}

  // Adds `text` as one line to those the next Write appends.
  void Add(std::string_view text);
  // Appends the lines added since the last Write, all of them or, raising,
  // none (they are dropped then); returns the file's length after them.
  long long Write();
  // Adds `text` and writes it.
  long long Append(std::string_view text) {
    Add(text);
    return Write();
  }

  // Closes the file, raising what the system reports at close; the next
  // Append opens it again. Nothing happens when it is not open.
  void Close();

 private:
  void Open();

  std::string path_;
  // Declared before the file, so the signal is held until the file is closed.
  std::optional<FileSizeSignalHeld> signalHeld_;
  std::optional<PosixFile> file_;
  FileIdentity opened_;
  // The file's length after our last line, or -1 when unknown.
  long long writtenEnd_ = -1;
  // The lines added, each with its CR LF; kept, so a batch costs no
  // allocation once the buffer is long enough.
  std::string lines_;
};

}  // namespace vexalo
