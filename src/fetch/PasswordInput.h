#pragma once

#include <cstddef>
#include <string>

namespace vexalo {

enum class PasswordReadResult {
  kRead,     // one line read (it may be empty)
  kNoInput,  // end of input before any byte or line end: nothing to store
  kTooLong,  // the line is longer than kMaxPasswordBytes
  kFailed,   // the descriptor could not be read
};

// The longest password line accepted, in bytes. Its encrypted text must still
// fit the INI store's 2047-byte values.
inline constexpr std::size_t kMaxPasswordBytes = 1000;

// Reads one line from `fd`, without its line end (LF, or CR LF). When `fd` is
// a terminal, `prompt` goes to standard error and the typed characters are not
// echoed; the terminal is set back before returning, and also when a signal
// ends the program while it waits. A last line without a line end counts.
PasswordReadResult ReadPasswordLine(int fd, const char* prompt, std::string& line);

}  // namespace vexalo
