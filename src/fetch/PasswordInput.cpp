#include "fetch/PasswordInput.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace vexalo {
namespace {

// The terminal settings to put back if a signal ends the program while echo
// is off. Only written before the handlers are installed.
int gTerminalFd = -1;
termios gSavedTerminal{};

const int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndReraise(int signal) {
  tcsetattr(gTerminalFd, TCSAFLUSH, &gSavedTerminal);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

// Turns echo off on construction and back on on destruction.
class EchoOff {
 public:
  explicit EchoOff(int fd) {
    if (tcgetattr(fd, &gSavedTerminal) != 0) return;
    gTerminalFd = fd;
    for (int signal : kRestoringSignals) std::signal(signal, RestoreTerminalAndReraise);
    termios quiet = gSavedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    active_ = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (gTerminalFd < 0) return;
    if (active_) tcsetattr(gTerminalFd, TCSAFLUSH, &gSavedTerminal);
    for (int signal : kRestoringSignals) std::signal(signal, SIG_DFL);
    gTerminalFd = -1;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool active_ = false;
};

}  // namespace

PasswordReadResult ReadPasswordLine(int fd, const char* prompt, std::string& line) {
  line.clear();
  const bool terminal = isatty(fd) == 1;
  // Echo goes off before the prompt appears, so nothing typed in answer to
  // it can show.
  EchoOff echoOff(terminal ? fd : -1);
  if (terminal) {
    // Best effort: a prompt that cannot be written does not stop the input.
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, prompt, std::strlen(prompt));
  }

  // One byte at a time, so nothing after the line end is taken from a pipe
  // that someone else reads on.
  bool sawAnything = false;
  for (;;) {
    char byte = 0;
    const ssize_t got = read(fd, &byte, 1);
    if (got < 0) {
      if (errno == EINTR) continue;
      return PasswordReadResult::kFailed;
    }
    if (got == 0) break;
    sawAnything = true;
    if (byte == '\n') break;
    if (line.size() > kMaxPasswordBytes) return PasswordReadResult::kTooLong;
    line.push_back(byte);
  }
  if (!sawAnything) return PasswordReadResult::kNoInput;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxPasswordBytes) return PasswordReadResult::kTooLong;
  return PasswordReadResult::kRead;
}

}  // namespace vexalo
