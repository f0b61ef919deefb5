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

// The longest unique id a server may give (RFC 1939).
inline constexpr size_t kMaxUniqueIdLength = 70;

// Whether `id` is a unique id as RFC 1939 defines it: 1 to 70 bytes, each in
// 0x21-0x7E.
bool IsValidUniqueId(std::string_view id);

struct UidlEntry {
  int32_t number = 0;
  std::string id;
  bool valid = false;  // a message number and an id that IsValidUniqueId
};

// UIDL: the message number and, after blanks, the rest of the line, trailing
// blanks dropped. The id is taken whole: a cut one could name another
// message ("1 abc def" and "2 abc xyz" are not both "abc"), so one that is
// not valid is kept as it came and marked so.
UidlEntry ParseUidlLine(std::string_view line);

}  // namespace vexalo
