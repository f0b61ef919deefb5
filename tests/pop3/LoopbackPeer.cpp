#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vexalo::test {
namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

LoopbackPeer::LoopbackPeer(Mode mode) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) < 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) < 0 ||
      (mode == kListening && listen(listener_, 1) < 0)) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("loopback peer: cannot bind 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  if (connection_ >= 0) close(connection_);
  close(listener_);
}

std::string LoopbackPeer::PortText() const { return std::to_string(port_); }

bool LoopbackPeer::WaitFor(int fd, short events, int timeoutMs) const {
  pollfd entry{fd, events, 0};
  int ready = 0;
  while ((ready = poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  return ready > 0;
}

bool LoopbackPeer::Accept(int timeoutMs) {
  if (!WaitFor(listener_, POLLIN, timeoutMs)) return false;
  connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  return connection_ >= 0;
}

bool LoopbackPeer::Write(std::string_view bytes, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!bytes.empty()) {
    if (!WaitFor(connection_, POLLOUT, RemainingMs(deadline))) return false;
    const ssize_t written = send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string LoopbackPeer::Read(std::size_t count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string received;
  char buffer[65536];
  while (received.size() < count && WaitFor(connection_, POLLIN, RemainingMs(deadline))) {
    const ssize_t got =
        recv(connection_, buffer, std::min(sizeof buffer, count - received.size()), 0);
    if (got <= 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

bool LoopbackPeer::SeesClose(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  while (WaitFor(connection_, POLLIN, RemainingMs(deadline))) {
    if (recv(connection_, buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

void LoopbackPeer::Close() {
  close(connection_);
  connection_ = -1;
}

void LoopbackPeer::Reset() {
  const linger abortive{1, 0};
  setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

}  // namespace vexalo::test
