#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexalo::test {

// The far end of a test connection: a TCP socket on 127.0.0.1 with a port
// the system picked, serving one client with blocking calls that give up
// after a time-out, so no test can hang on it. Everything closes with it.
class LoopbackPeer {
 public:
  enum Mode {
    kListening,
    // Bound but not listening: every connect to it is refused.
    kRefusing,
  };
  static constexpr int kTimeoutMs = 10000;

  explicit LoopbackPeer(Mode mode = kListening);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::string PortText() const;

  // Takes the client's connection; false on time-out.
  bool Accept(int timeoutMs = kTimeoutMs);
  // Writes all of `bytes`; false when the connection failed or timed out.
  bool Write(std::string_view bytes, int timeoutMs = kTimeoutMs);
  // Reads until `count` bytes came, the client closed, or the time-out.
  std::string Read(std::size_t count, int timeoutMs = kTimeoutMs);
  // Whether the client's side is closed (end of stream or reset) within the
  // time-out, reading and dropping whatever still comes before.
  bool SeesClose(int timeoutMs = kTimeoutMs);
  // Ends the connection with FIN, or with RST.
  void Close();
  void Reset();

 private:
  bool WaitFor(int fd, short events, int timeoutMs) const;

  int listener_ = -1;
  int connection_ = -1;
  int port_ = 0;
};

}  // namespace vexalo::test
