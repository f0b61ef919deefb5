#include "ScriptedPop3Peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace vexalo {

namespace {

// More than any test sends in one line; past it the client is babbling.
constexpr size_t kMaxClientLine = size_t{64} * 1024;

[[noreturn]] void ThrowSystemError(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

namespace script {

ScriptedPop3Peer::Step Send(std::string bytes) {
  return {ScriptedPop3Peer::Step::Kind::send, std::move(bytes), 0};
}

ScriptedPop3Peer::Step SendInPieces(std::string bytes, size_t pieceSize) {
  return {ScriptedPop3Peer::Step::Kind::send, std::move(bytes), pieceSize};
}

ScriptedPop3Peer::Step Expect(std::string line) {
  return {ScriptedPop3Peer::Step::Kind::expect, std::move(line), 0};
}

ScriptedPop3Peer::Step Close() { return {ScriptedPop3Peer::Step::Kind::close, {}, 0}; }

}  // namespace script

ScriptedPop3Peer::ScriptedPop3Peer(EventLoop& loop, std::vector<Step> steps, Loopback loopback)
    : loop_(loop), script_(std::move(steps)), alive_(std::make_shared<ScriptedPop3Peer*>(this)) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (loopback == Loopback::kIpv6) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    length = sizeof v6;
  } else {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof v4;
  }
  const char* const where = loopback == Loopback::kIpv6 ? "listen on ::1" : "listen on 127.0.0.1";
  listenFd_ = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) ThrowSystemError(where);
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listenFd_, 1) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    close(listenFd_);
    errno = error;
    ThrowSystemError(where);
  }
  // Both kinds keep the port at the same place.
  port_ = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  loop_.Watch(listenFd_, true, false, [this](bool, bool) { Accept(); });
}

ScriptedPop3Peer::~ScriptedPop3Peer() {
  alive_.reset();
  if (listenFd_ >= 0) {
    loop_.Unwatch(listenFd_);
    close(listenFd_);
  }
  if (connFd_ >= 0) {
    loop_.Unwatch(connFd_);
    close(connFd_);
  }
}

void ScriptedPop3Peer::Accept() {
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;  // the client gave up before we got to it
  // One connection per script: nobody else gets in.
  loop_.Unwatch(listenFd_);
  close(listenFd_);
  listenFd_ = -1;
  connFd_ = fd;
  // Pieces must leave at once, not wait behind Nagle for the client's ACK.
  const int on = 1;
  setsockopt(connFd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  Advance();
  UpdateWatch();
}

void ScriptedPop3Peer::OnConnectionReady(bool readable, bool writable) {
  if (writable) Flush();
  if (readable) ReadFromClient();
  Advance();
  UpdateWatch();
}

void ScriptedPop3Peer::ReadFromClient() {
  std::array<char, 4096> chunk;
  for (;;) {
    const ssize_t count = recv(connFd_, chunk.data(), chunk.size(), 0);
    if (count < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) clientClosed_ = true;
      break;
    }
    if (count == 0) {
      clientClosed_ = true;
      break;
    }
    received_.append(chunk.data(), static_cast<size_t>(count));
    for (size_t end; (end = received_.find("\r\n")) != std::string::npos;) {
      clientLines_.push_back(received_.substr(0, end));
      received_.erase(0, end + 2);
    }
    if (received_.size() > kMaxClientLine) {
      Complain("the client sent a line longer than " + std::to_string(kMaxClientLine) + " bytes");
      received_.clear();
    }
  }
  if (clientClosed_ && shutDown_) CloseConnection();
}

void ScriptedPop3Peer::Advance() {
  while (connFd_ >= 0 && nextStep_ < script_.size()) {
    if (!output_.empty() || !dripRest_.empty()) return;  // the last Send is not out yet
    const Step& step = script_[nextStep_];
    switch (step.kind) {
      case Step::Kind::send:
        ++nextStep_;
        if (step.pieceSize == 0) {
          output_ += step.bytes;
          Flush();
        } else {
          dripRest_ = step.bytes;
          dripPieceSize_ = step.pieceSize;
          ScheduleNextPiece();
        }
        break;
      case Step::Kind::expect:
        if (clientLines_.empty()) {
          if (clientClosed_) {
            Complain("the client closed instead of sending \"" + step.bytes + "\"");
            nextStep_ = script_.size();
          }
          return;
        }
        if (clientLines_.front() != step.bytes) {
          Complain("expected \"" + step.bytes + "\", the client sent \"" + clientLines_.front() +
                   "\"");
        }
        clientLines_.pop_front();
        ++nextStep_;
        break;
      case Step::Kind::close:
        ++nextStep_;
        shutdown(connFd_, SHUT_WR);
        shutDown_ = true;
        if (clientClosed_) CloseConnection();
        break;
    }
  }
  if (nextStep_ == script_.size()) {
    for (const std::string& line : clientLines_) {
      Complain("the client sent \"" + line + "\" after the script ended");
    }
    clientLines_.clear();
  }
}

void ScriptedPop3Peer::Flush() {
  while (connFd_ >= 0 && !output_.empty()) {
    const ssize_t count = send(connFd_, output_.data(), output_.size(), MSG_NOSIGNAL);
    if (count < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        clientClosed_ = true;  // the client is gone; nobody reads the rest
        output_.clear();
      }
      return;
    }
    output_.erase(0, static_cast<size_t>(count));
  }
}

// One piece now; the next one two loop rounds later, so the client's socket
// is seen readable, and read, in the round between.
void ScriptedPop3Peer::ScheduleNextPiece() {
  const size_t take = std::min(dripPieceSize_, dripRest_.size());
  output_ += dripRest_.substr(0, take);
  dripRest_.erase(0, take);
  Flush();
  if (dripRest_.empty()) return;
  std::weak_ptr<ScriptedPop3Peer*> peer = alive_;
  loop_.Post([this, peer] {
    if (peer.expired()) return;
    loop_.Post([this, peer] {
      if (peer.expired() || connFd_ < 0) return;
      ScheduleNextPiece();
      Advance();
      UpdateWatch();
    });
  });
}

void ScriptedPop3Peer::UpdateWatch() {
  if (connFd_ < 0) return;
  const bool read = !clientClosed_;
  const bool write = !output_.empty();
  if (!read && !write) {
    loop_.Unwatch(connFd_);
    return;
  }
  loop_.Watch(connFd_, read, write,
              [this](bool readable, bool writable) { OnConnectionReady(readable, writable); });
}

void ScriptedPop3Peer::CloseConnection() {
  loop_.Unwatch(connFd_);
  close(connFd_);
  connFd_ = -1;
}

void ScriptedPop3Peer::Complain(const std::string& problem) {
  if (!problems_.empty()) problems_ += "; ";
  problems_ += problem;
}

}  // namespace vexalo
