#include "pop3/AsyncSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "pop3/HostLookup.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

constexpr std::int32_t kDiscardSize = 1024;

// One data notification keeps reading while bytes are waiting, but hands the
// loop back after this many passes so that a peer that never stops sending
// cannot keep everything else waiting; the readiness brings it back.
constexpr int kMaxReceivePasses = 256;

int LastWinSockError() { return WinSockErrorFromErrno(errno); }

// What a non-blocking connect can learn at once on this platform but is, by
// its nature, the outcome of the attempt: reported like a late outcome.
bool IsConnectOutcome(int err) {
  return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH || err == EHOSTUNREACH;
}

}  // namespace

const char* ToString(TSocketState state) {
  switch (state) {
    case wsInvalidState:
      return "wsInvalidState";
    case wsOpened:
      return "wsOpened";
    case wsBound:
      return "wsBound";
    case wsConnecting:
      return "wsConnecting";
    case wsConnected:
      return "wsConnected";
    case wsAccepting:
      return "wsAccepting";
    case wsListening:
      return "wsListening";
    case wsClosed:
      return "wsClosed";
  }
  return "?";
}

TAsyncSocket::TAsyncSocket(EventLoop& loop) : loop_(loop) {}

TAsyncSocket::~TAsyncSocket() {
  destroying_ = true;
  CancelDnsLookup();
  if (state_ != wsClosed) Close();
}

// ---- properties -----------------------------------------------------------

void TAsyncSocket::SetProperty(TextProperty& property, std::string_view text, const char* name) {
  if (property.assigned && text == property.text) return;
  if (state_ != wsClosed) {
    throw ESocketException(std::string("Cannot change ") + name + " if not closed");
  }
  property.text = TrimText(text);
  property.assigned = !property.text.empty();
  property.resolved = false;
}

void TAsyncSocket::SetAddr(std::string_view text) { SetProperty(addr_, text, "Addr"); }
void TAsyncSocket::SetPort(std::string_view text) { SetProperty(port_, text, "Port"); }
void TAsyncSocket::SetProto(std::string_view text) { SetProperty(proto_, text, "Proto"); }

void TAsyncSocket::ChangeState(TSocketState newState) {
  const TSocketState oldState = state_;
  state_ = newState;
  if (oldState == newState || destroying_ || !OnChangeState) return;
  const TChangeState handler = OnChangeState;
  handler(*this, oldState, newState);
}

void TAsyncSocket::ResetDefaults() {
  handle_ = -1;
  state_ = wsClosed;
  addr_.assigned = addr_.resolved = false;
  port_.assigned = port_.resolved = false;
  proto_ = TextProperty{"tcp", true, false};
  allSent_ = true;
  closeReported_ = false;
  readCount_ = 0;
  lingerOn_ = true;
}

void TAsyncSocket::FireError(const TNotifyError& handler, int error) {
  if (!handler) return;
  // A copy, so that a handler may replace itself while it runs.
  const TNotifyError call = handler;
  call(*this, static_cast<std::uint16_t>(error));
}

// ---- host lookup ----------------------------------------------------------

void TAsyncSocket::DnsLookup(const std::string& host) {
  if (host.empty()) throw ESocketException("DNS lookup: invalid host name.");
  if (pendingLookup_) {
    pendingLookup_->Cancel();
    pendingLookup_.reset();
  }
  dnsResult_.clear();
  dnsResultList_.clear();

  const in_addr_t numeric = inet_addr(host.c_str());
  if (numeric != INADDR_NONE) {
    dnsResult_ = AddressText(Ipv4Address(numeric));
    FireError(OnDnsLookupDone, 0);
    return;
  }
  if (const std::optional<HostAddress> v6 = ParseIpv6Literal(host)) {
    dnsResult_ = AddressText(*v6);
    FireError(OnDnsLookupDone, 0);
    return;
  }
  try {
    // The lookup is cancelled before the socket goes, so `this` is alive
    // whenever the answer runs.
    pendingLookup_ =
        HostLookup::Start(loop_, host, [this](int error, std::vector<std::string> list) {
          RunFromLoop([&] { HandleLookupAnswer(error, std::move(list)); });
        });
  } catch (const std::system_error& e) {
    throw ESocketException(host + ": can't start DNS lookup, error #" +
                           std::to_string(WinSockErrorFromErrno(e.code().value())));
  }
}

void TAsyncSocket::HandleLookupAnswer(int error, std::vector<std::string> addresses) {
  pendingLookup_.reset();
  if (error == 0) {
    dnsResultList_ = std::move(addresses);
    dnsResult_ = dnsResultList_.front();
  }
  FireError(OnDnsLookupDone, error);
}

void TAsyncSocket::CancelDnsLookup() {
  if (!pendingLookup_) return;
  pendingLookup_->Cancel();
  pendingLookup_.reset();
  if (!destroying_) FireError(OnDnsLookupDone, kWsaEIntr);
}

// ---- connect --------------------------------------------------------------

void TAsyncSocket::ResolveForConnect() {
  if (!proto_.resolved) {
    protocol_ = SocketResolveProto(proto_.text);
    proto_.resolved = true;
  }
  if (!port_.resolved) {
    resolvedPort_ = SocketResolvePort(port_.text, proto_.text);
    port_.resolved = true;
  }
  if (!addr_.resolved) {
    resolvedAddr_ = SocketResolveHost(addr_.text);
    addr_.resolved = true;
  }
}

void TAsyncSocket::Connect() {
  if (handle_ >= 0 && state_ != wsClosed) throw ESocketException("Connect: Socket already in use");
  if (!port_.assigned) throw ESocketException("Connect: No Port Specified");
  if (!addr_.assigned) throw ESocketException("Connect: No IP Address Specified");
  if (!proto_.assigned) throw ESocketException("Connect: No Protocol Specified");
  try {
    ResolveForConnect();
  } catch (const ESocketException& e) {
    throw ESocketException(std::string("connect: ") + e.what(), e.Kind());
  }
  sendQueue_.clear();

  // Stream sockets only: this transport reads a byte stream and takes an
  // empty read for the peer's close.
  const int fd =
      socket(resolvedAddr_.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
  if (fd < 0) RaiseSocketError(LastWinSockError(), "Connect (socket)");
  handle_ = fd;
  ++session_;
  // Normally a close has cleared it already, but not when this Connect runs
  // inside the report of that close.
  closeReported_ = false;
  ChangeState(wsOpened);

  ApplyLinger();
  SetOption(SO_KEEPALIVE, "setsockopt(SO_KEEPALIVE)");
  SetOption(SO_REUSEADDR, "setsockopt(SO_REUSEADDR)");

  HostAddress peer = resolvedAddr_;
  peer.SetPort(resolvedPort_);
  if (connect(handle_, reinterpret_cast<const sockaddr*>(&peer.storage), peer.length) == 0 ||
      errno == EINPROGRESS) {
    // Even an immediate success is reported from the loop, like every other
    // outcome, when the descriptor turns writable.
    ChangeState(wsConnecting);
    UpdateWatch();
    return;
  }
  const int err = errno;
  if (IsConnectOutcome(err)) {
    ChangeState(wsConnecting);
    const int error = WinSockErrorFromErrno(err);
    PostForSession([this, error] { HandleConnectOutcome(error); });
    return;
  }
  RaiseSocketError(WinSockErrorFromErrno(err), "Connect");
}

void TAsyncSocket::ApplyLinger() {
  const linger option{lingerOn_ ? 1 : 0, 0};
  if (setsockopt(handle_, SOL_SOCKET, SO_LINGER, &option, sizeof option) < 0) {
    RaiseSocketError(LastWinSockError(), "setsockopt(SO_LINGER)");
  }
}

void TAsyncSocket::SetOption(int option, const char* functionName) {
  const int on = 1;
  if (setsockopt(handle_, SOL_SOCKET, option, &on, sizeof on) < 0) {
    RaiseSocketError(LastWinSockError(), functionName);
  }
}

// ---- notifications --------------------------------------------------------

void TAsyncSocket::UpdateWatch() {
  if (handle_ < 0) return;
  const bool read = state_ == wsConnected;
  const bool write = state_ == wsConnecting || (state_ == wsConnected && HasUnsentData());
  if (read == watchingRead_ && write == watchingWrite_) return;
  watchingRead_ = read;
  watchingWrite_ = write;
  const std::uint64_t session = session_;
  loop_.Watch(handle_, read, write, [this, session](bool readable, bool writable) {
    OnDescriptorReady(session, readable, writable);
  });
}

void TAsyncSocket::PostForSession(std::function<void()> step) {
  loop_.Post(
      [this, alive = std::weak_ptr<int>(lifetime_), session = session_, step = std::move(step)] {
        if (alive.expired() || session != session_) return;
        RunFromLoop(step);
      });
}

void TAsyncSocket::RunFromLoop(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception&) {
    // Nobody up the loop could handle it: end the session instead.
    try {
      Abort();
    } catch (...) {
    }
  }
}

void TAsyncSocket::OnDescriptorReady(std::uint64_t session, bool readable, bool writable) {
  // Readiness reported for a descriptor that has gone since.
  if (session != session_) return;
  RunFromLoop([&] {
    const SessionWatch watch(*this);
    if (state_ == wsConnecting) {
      int err = 0;
      socklen_t size = sizeof err;
      if (getsockopt(handle_, SOL_SOCKET, SO_ERROR, &err, &size) < 0) err = errno;
      HandleConnectOutcome(WinSockErrorFromErrno(err));
      return;
    }
    if (readable) HandleReadable();
    if (writable && watch.Kept()) HandleWritable();
  });
}

void TAsyncSocket::HandleConnectOutcome(int error) {
  const SessionWatch watch(*this);
  ChangeState(wsConnected);
  if (error == 0) {
    UpdateWatch();
  } else {
    loop_.Unwatch(handle_);
    watchingRead_ = watchingWrite_ = false;
  }
  FireError(OnSessionConnected, error);
  if (error != 0 && watch.Kept() && state_ != wsClosed) Close();
}

void TAsyncSocket::HandleReadable() {
  char probe = 0;
  const ssize_t peeked = recv(handle_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked > 0) {
    ReceiveLoop(0);
  } else if (peeked == 0) {
    HandlePeerClosed(0);
  } else if (errno != EAGAIN && errno != EINTR) {
    HandlePeerClosed(LastWinSockError());
  }
}

void TAsyncSocket::HandlePeerClosed(int error) {
  const SessionWatch watch(*this);
  // Whatever is still buffered goes out before the close is reported.
  ReceiveLoop(0);
  if (!watch.Kept()) return;
  if (!closeReported_) {
    closeReported_ = true;
    FireError(OnSessionClosed, error);
    if (!watch.Kept()) return;
  }
  if (state_ != wsClosed) Close();
}

void TAsyncSocket::HandleWritable() {
  const SessionWatch watch(*this);
  TryToSend();
  if (watch.Kept() && !HasUnsentData()) FireError(OnDataSent, 0);
}

void TAsyncSocket::ReceiveLoop(int error) {
  const SessionWatch watch(*this);
  try {
    for (int pass = 0; pass < kMaxReceivePasses; ++pass) {
      lastError_ = 0;
      const std::int64_t readBefore = readCount_;
      if (OnDataAvailable) {
        FireError(OnDataAvailable, error);
      } else {
        char discard[kDiscardSize];
        if (Receive(discard, kDiscardSize) < 0 && lastError_ == kWsaEWouldBlock) {
          lastError_ = 0;
          break;
        }
      }
      if (!watch.Kept() || lastError_ != 0) break;
      // An owner that read nothing is not asked again in a tight loop; the
      // readiness, still there, asks it again from the loop.
      if (readCount_ == readBefore) break;
      int waiting = 0;
      if (ioctl(handle_, FIONREAD, &waiting) < 0) {
        lastError_ = LastWinSockError();
        break;
      }
      if (waiting == 0) break;
    }
  } catch (...) {
    // The owner's handler raised: that ends this delivery, nothing more.
  }
}

// ---- reading and writing --------------------------------------------------

std::int32_t TAsyncSocket::Receive(void* buffer, std::int32_t size) {
  const ssize_t got = recv(handle_, buffer, static_cast<std::size_t>(std::max(size, 0)), 0);
  if (got < 0) {
    lastError_ = LastWinSockError();
    return -1;
  }
  readCount_ += got;
  return static_cast<std::int32_t>(got);
}

std::int32_t TAsyncSocket::Send(const void* data, std::int32_t count) {
  if (state_ != wsConnected) RaiseSocketError(kWsaENotConn, "Send");
  allSent_ = false;
  if (count > 0) QueueSendData(static_cast<const char*>(data), count);
  TryToSend();
  if (allSent_) {
    // OnDataSent always comes from the loop, never inside Send.
    PostForSession([this] { HandleWritable(); });
  }
  return std::max(count, 0);
}

std::int32_t TAsyncSocket::SendText(std::string_view text) {
  return Send(text.data(), static_cast<std::int32_t>(text.size()));
}

void TAsyncSocket::QueueSendData(const char* data, std::int32_t count) {
  if (sendQueue_.empty()) sendQueue_.emplace_back(TBuffer::kDefaultSize);
  std::int32_t stored = sendQueue_.back().Write(data, count);
  while (stored < count) {
    sendQueue_.emplace_back(TBuffer::kDefaultSize);
    stored += sendQueue_.back().Write(data + stored, count - stored);
  }
}

bool TAsyncSocket::HasUnsentData() const {
  return std::any_of(sendQueue_.begin(), sendQueue_.end(),
                     [](const TBuffer& block) { return !block.Peek().empty(); });
}

void TAsyncSocket::TryToSend() {
  if (handle_ < 0 || sendQueue_.empty()) return;
  // Every pass writes bytes or drops a block, so the queue bounds the loop.
  for (;;) {
    TBuffer& block = sendQueue_.front();
    const std::string_view unsent = block.Peek();
    if (unsent.empty()) {
      if (sendQueue_.size() > 1) {
        sendQueue_.pop_front();
        continue;
      }
      allSent_ = true;
      break;
    }
    const ssize_t written = send(handle_, unsent.data(), unsent.size(), MSG_NOSIGNAL);
    if (written == 0) break;
    if (written < 0) {
      const int error = LastWinSockError();
      if (error == kWsaEWouldBlock || error == kWsaEIntr) break;  // resumed when writable
      if (error == kWsaEInval || error == kWsaENotSock || error == kWsaEConnAborted ||
          error == kWsaEConnReset || error == kWsaENotConn) {
        closeReported_ = true;
        Close();
        FireError(OnSessionClosed, error);
        return;
      }
      RaiseSocketError(error, "TryToSend failed");
    }
    block.Remove(static_cast<std::int32_t>(written));
    if (static_cast<std::size_t>(written) < unsent.size()) break;
  }
  UpdateWatch();
}

// ---- closing --------------------------------------------------------------

void TAsyncSocket::Close() { CloseSocketHandle(true, 0); }

void TAsyncSocket::Abort() {
  CancelDnsLookup();
  sendQueue_.clear();
  if (state_ == wsConnected && handle_ >= 0) {
    lingerOn_ = false;
    ApplyLinger();
  }
  CloseSocketHandle(false, 0);
}

void TAsyncSocket::CloseSocketHandle(bool shutdownFirst, int error) {
  if (handle_ < 0) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      ResetDefaults();
    }
    return;
  }
  if (shutdownFirst) shutdown(handle_, SHUT_WR);
  CloseDescriptorNow();
  ChangeState(wsClosed);
  const SessionWatch watch(*this);
  if (!destroying_ && !closeReported_) {
    closeReported_ = true;
    FireError(OnSessionClosed, error);
  }
  // A handler that connected again owns the fields now.
  if (watch.Kept()) ResetDefaults();
}

void TAsyncSocket::CloseDescriptorNow() {
  loop_.Unwatch(handle_);
  // Linux releases the descriptor even when close() reports an error, so
  // there is nothing to retry or report.
  close(handle_);
  handle_ = -1;
  watchingRead_ = watchingWrite_ = false;
  ++session_;
}

void TAsyncSocket::RaiseSocketError(int error, const char* functionName) {
  const std::string text = "Error " + std::to_string(error) + " in function " + functionName +
                           "\r\n" + SocketErrorText(error);
  if (error == kWsaEConnReset || error == kWsaENotConn) {
    if (handle_ >= 0) CloseDescriptorNow();
    ChangeState(wsClosed);
  }
  lastError_ = error;
  throw ESocketException(text);
}

}  // namespace vexalo
