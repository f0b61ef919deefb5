#include "table/AllDataAppender.h"

#include <pthread.h>

#include <ctime>

#include "platform/InOutError.h"
#include "table/CsvLine.h"
#include "table/DataFiles.h"

namespace vexalo {

FileSizeSignalHeld::FileSizeSignalHeld() {
  sigemptyset(&held_);
  sigaddset(&held_, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &held_, &before_);
}

FileSizeSignalHeld::~FileSizeSignalHeld() {
  const timespec noWait{};
  while (sigtimedwait(&held_, nullptr, &noWait) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

namespace {

// Takes `length` back after a failed append. A failure here leaves nothing
// better to do: the append's own error is the one to report.
void CutBack(PosixFile& file, long long length) {
  try {
    file.TruncateTo(length);
  } catch (const EInOutError&) {
  }
}

}  // namespace

void AllDataAppender::Open() {
  file_.reset();
  writtenEnd_ = -1;
  if (!signalHeld_) signalHeld_.emplace();
  file_.emplace(path_, PosixFile::Mode::kAppendDataFile);
  opened_ = file_->Identity();
}

void AllDataAppender::Add(std::string_view text) {
  const size_t start = lines_.size();
  lines_.append(text);
  BlankLineBreakers(lines_.data() + start, lines_.data() + lines_.size());
  lines_.append("\r\n");
}

long long AllDataAppender::Write() {
  // Whatever happens below, the lines are gone afterwards: written, or not
  // taken.
  struct Dropped {
    std::string& lines;
    ~Dropped() { lines.clear(); }
  } dropped{lines_};
  long long length = 0;
  std::optional<FileIdentity> now;
  if (file_) now = IdentityOfPath(path_);
  if (now && now->SameFileAs(opened_)) {
    length = now->size;
  } else {
    Open();
    length = opened_.size;
  }
  const bool endIsOurs = length == writtenEnd_;
  writtenEnd_ = -1;
  std::optional<char> lastByte;
  if (!endIsOurs) {
    // Our last line ended in CR LF; anything else must be looked at.
    lastByte = file_->LastByte();
    if (lastByte == kEndOfFileMark) {
      // An editor's end-of-file mark would stand in the middle once a line
      // follows it; the loader leaves it out at the end, so it goes.
      file_->TruncateTo(--length);
      lastByte = file_->LastByte();
    }
  }
  if (lastByte && *lastByte != '\r' && *lastByte != '\n') lines_.insert(0, "\r\n");
  // A cut line would hold the id of a message never taken whole: the lines
  // go in whole or the file goes back to its old length.
  try {
    file_->Write(lines_);
  } catch (const EInOutError&) {
    CutBack(*file_, length);
    file_.reset();
    throw;
  }
  writtenEnd_ = length + static_cast<long long>(lines_.size());
  return writtenEnd_;
}

void AllDataAppender::Close() {
  if (file_) {
    PosixFile file = std::move(*file_);
    file_.reset();
    file.Close();
  }
  signalHeld_.reset();
}

}  // namespace vexalo
