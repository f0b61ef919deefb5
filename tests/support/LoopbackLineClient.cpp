#include "LoopbackLineClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace vexalo {
namespace {

constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Waits until `fd` is ready for `events`; false on timeout.
bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
  pollfd entry{fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) Fail("poll");
  return ready > 0;
}

}  // namespace

std::uint16_t PickFreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  const int savedErrno = errno;
  ::close(fd);
  errno = savedErrno;
  if (!ok) Fail("bind 127.0.0.1:0");
  return ntohs(address.sin_port);
}

LoopbackLineClient::LoopbackLineClient(std::uint16_t port, std::chrono::milliseconds timeout,
                                       int receiveBufferBytes)
    : timeout_(timeout) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) Fail("socket");
  try {
    if (receiveBufferBytes > 0 && ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes,
                                               sizeof receiveBufferBytes) < 0) {
      Fail("setsockopt SO_RCVBUF");
    }
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
      if (errno != EINPROGRESS) Fail("connect 127.0.0.1:" + std::to_string(port));
      if (!WaitFor(fd_, POLLOUT, timeout_)) {
        throw std::runtime_error("connect 127.0.0.1:" + std::to_string(port) + " timed out");
      }
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
      errno = error;
      if (error != 0) Fail("connect 127.0.0.1:" + std::to_string(port));
    }
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

LoopbackLineClient::~LoopbackLineClient() { ::close(fd_); }

void LoopbackLineClient::SendLine(std::string_view line) {
  std::string out(line);
  out += "\r\n";
  std::size_t sent = 0;
  while (sent < out.size()) {
    const ssize_t n = ::send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd_, POLLOUT, timeout_)) throw std::runtime_error("send timed out");
    } else if (n < 0 && errno != EINTR) {
      Fail("send");
    }
  }
}

bool LoopbackLineClient::Receive() {
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      pending_.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    if (n == 0) return false;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd_, POLLIN, timeout_)) throw std::runtime_error("no answer in time");
    } else if (errno == ECONNRESET) {
      return false;
    } else if (errno != EINTR) {
      Fail("recv");
    }
  }
}

std::string LoopbackLineClient::ReadLine() {
  std::size_t searchFrom = 0;
  for (;;) {
    const auto end = pending_.find("\r\n", searchFrom);
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 2);
      return line;
    }
    if (pending_.size() > kMaxLineBytes) throw std::runtime_error("line too long");
    searchFrom = pending_.empty() ? 0 : pending_.size() - 1;
    if (!Receive()) throw std::runtime_error("connection closed by the server");
  }
}

std::string LoopbackLineClient::Command(std::string_view line) {
  SendLine(line);
  return ReadLine();
}

std::vector<std::string> LoopbackLineClient::ReadBody(std::size_t maxBytes) {
  std::vector<std::string> lines;
  std::size_t total = 0;
  for (;;) {
    std::string line = ReadLine();
    if (line == ".") return lines;
    total += line.size() + 2;
    if (total > maxBytes) throw std::runtime_error("answer longer than expected");
    if (line.starts_with("..")) line.erase(0, 1);
    lines.push_back(std::move(line));
  }
}

std::string LoopbackLineClient::ReadUntilClosed(std::size_t maxBytes) {
  while (Receive()) {
    if (pending_.size() > maxBytes) throw std::runtime_error("more data than expected");
  }
  return std::exchange(pending_, {});
}

}  // namespace vexalo
