#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexalo {

// A port on 127.0.0.1 that was free a moment ago: bound with port 0, learnt,
// and released. Another process may take it before the caller binds it, so
// callers must be ready to try again.
std::uint16_t PickFreeLoopbackPort();

// A blocking, line-oriented TCP connection to 127.0.0.1, for tests and tools
// that talk to a text protocol server directly. Every wait has a deadline,
// every line and body a cap; breaking either throws std::runtime_error.
class LoopbackLineClient {
 public:
  static constexpr std::size_t kMaxLineBytes = std::size_t{64} * 1024;

  // Connects to 127.0.0.1:port. A receive buffer size above 0 is set before
  // connecting, which keeps the kernel from growing it (so a test knows how
  // much a server can have sent ahead). Throws std::runtime_error when the
  // connection is refused or `timeout` passes; `timeout` is then also the
  // limit for every later read.
  LoopbackLineClient(std::uint16_t port, std::chrono::milliseconds timeout,
                     int receiveBufferBytes = 0);
  LoopbackLineClient(const LoopbackLineClient&) = delete;
  LoopbackLineClient& operator=(const LoopbackLineClient&) = delete;
  ~LoopbackLineClient();

  // Sends `line` followed by CR LF.
  void SendLine(std::string_view line);

  // The next line without its CR LF. Throws when the peer closes first.
  std::string ReadLine();

  // SendLine, then ReadLine: the status line of a one-line command.
  std::string Command(std::string_view line);

  // The lines of a multi-line answer up to (not including) the lone ".",
  // with the doubled leading dot undone. At most `maxBytes` in all.
  std::vector<std::string> ReadBody(std::size_t maxBytes);

  // Every byte that arrives until the peer closes, unsplit: for checking a
  // transfer that was cut off. Throws past `maxBytes` or the timeout.
  std::string ReadUntilClosed(std::size_t maxBytes);

 private:
  // Waits for more bytes and appends them to pending_; false when the peer
  // has closed.
  bool Receive();

  int fd_ = -1;
  std::chrono::milliseconds timeout_;
  std::string pending_;
};

}  // namespace vexalo
