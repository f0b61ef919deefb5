#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "processing/PosixFile.h"

namespace vexalo {

// Cuts a data file into lines. A line ends at CR, and a LF right after it is
// skipped; a 0x1A byte is the end of the file. A LF on its own also ends a
// line: the program never writes one inside a line, so one can only come from
// a file saved by an editor with LF line ends, and taking it as part of the
// line would join every line of such a file into one, moving all but the
// first id out of column 1.
//
// The file is read in pieces, so memory stays at about the longest line.
// Raises EInOutError when a read fails.
class LineReader {
 public:
  // Bytes asked of the file at a time; small enough to stay in the
  // processor's cache while its lines are split.
  static constexpr size_t kPieceSize = size_t{128} << 10;

  explicit LineReader(PosixFile& file);

  // The next line without its end; empty when the end has been reached. Valid
  // until the next call.
  std::string_view ReadLine();

  // Whether nothing follows the lines read so far: the file is exhausted or
  // the next byte is 0x1A.
  bool AtEnd();

 private:
  // Reads more of the file behind the unread bytes; false at the file's end.
  bool Refill();

  PosixFile& file_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first unread byte
  size_t end_ = 0;    // end of the bytes read
  bool fileDone_ = false;
  bool stopped_ = false;  // 0x1A seen
  bool skipLf_ = false;   // the last line ended at a CR: a LF next is still to be skipped
};

}  // namespace vexalo
