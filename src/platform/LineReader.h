#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/PosixFile.h"

namespace vexalo {

// Cuts a data file into lines. A line ends at CR, and a LF right after it is
// skipped. A 0x1A as the file's very last byte is an old editor's end-of-file
// mark and is left out; anywhere else it reads as a blank, so that nothing
// behind it is hidden from the loader while appends go on after it. A LF on
// its own also ends a
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

  // Whether nothing follows the lines read so far but, at most, the
  // end-of-file mark.
  bool AtEnd();

  // How many bytes of the file the lines read so far took, from where the
  // reading started, line ends included and an end-of-file mark left out.
  long long Consumed() const;

 private:
  // Reads more of the file behind the unread bytes; false at the file's end.
  bool Refill();
  // The line of buffer_ from `begin` to `end`, its 0x1A bytes made blanks.
  std::string_view Blanked(size_t begin, size_t end);

  PosixFile& file_;
  std::vector<char> buffer_;
  size_t begin_ = 0;         // first unread byte
  size_t end_ = 0;           // end of the bytes read
  long long readTotal_ = 0;  // bytes read from the file into buffer_ so far
  bool fileDone_ = false;
  bool endMarkSkipped_ = false;  // the file's last byte was 0x1A and was left out
  bool skipLf_ = false;          // the last line ended at a CR: a LF next is still to be skipped
};

}  // namespace vexalo
