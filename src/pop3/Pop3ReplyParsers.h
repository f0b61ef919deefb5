#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexalo {

// Readers for the numbers and ids in POP3 reply lines. The lines come from the
// server and are untrusted: every reader stops at the end of the line, and a
// number too large for 32 bits stays at the largest value instead of wrapping.

// Skips TAB, LF, CR and blanks, then reads the decimal digits up to the first
// other byte. No sign is recognised; no digits give 0.
int32_t ReadDecimal(std::string_view text);

struct TwoNumbers {
  int32_t first = 0;
  int32_t second = 0;
};

// STAT, LIST: the first two numbers of the line, starting at its first digit.
// A line with fewer than two numbers gives both as 0 ("+OK 2" gives 0 and 0).
TwoNumbers ParseTwoNumbers(std::string_view line);

struct UidlEntry {
  int32_t number = 0;
  std::string id;
};

// UIDL: the message number and, after blanks, the run of printable ASCII that
// follows it (0x21-0x7E); the id ends at the first other byte, so an id with a
// blank in it yields the part before the blank.
UidlEntry ParseUidlLine(std::string_view line);

}  // namespace vexalo
