#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/EventLoop.h"
#include "pop3/SendBuffer.h"
#include "pop3/SocketErrors.h"
#include "pop3/SocketResolve.h"

namespace vexalo {

class HostLookup;

enum TSocketState : std::uint8_t {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsConnected = 4,
  wsAccepting = 5,
  wsListening = 6,
  wsClosed = 7,
};

// "wsConnected" and so on, for test failure messages.
const char* ToString(TSocketState state);

// An asynchronous TCP client socket (IPv4 or IPv6) on an EventLoop. Every operation
// returns at once; its outcome arrives later as a notification run by the
// loop, except where a contract below says a notification fires inside the
// call. All operations and notifications belong to the loop's thread.
//
// Session life (OnChangeState reports each step):
//   wsClosed   --Connect creates the socket-->          wsOpened
//   wsOpened   --the connect has started-->             wsConnecting
//   wsConnecting --connect outcome, with or without error--> wsConnected
//   wsOpened/wsConnecting/wsConnected --Close, Abort, peer close,
//              a send error that closes, error 10054/10057--> wsClosed
// OnSessionClosed fires at most once per session. Every close ends with
// ResetDefaults: Addr and Port (and Proto when it was changed) must be set
// again before the next Connect.
//
// The loop must outlive the socket. Do not destroy the socket from inside one
// of its own notifications; post the destruction to the loop instead.
class TAsyncSocket {
 public:
  using TNotifyError = std::function<void(TAsyncSocket& Sender, std::uint16_t Error)>;
  using TChangeState =
      std::function<void(TAsyncSocket& Sender, TSocketState OldState, TSocketState NewState)>;

  explicit TAsyncSocket(EventLoop& loop);
  // Cancels a pending lookup and closes an open session without firing any
  // notification; a lookup answer that arrives later is dropped.
  ~TAsyncSocket();

  TAsyncSocket(const TAsyncSocket&) = delete;
  TAsyncSocket& operator=(const TAsyncSocket&) = delete;

  // Notifications; an unset one is skipped. Error is 0 on success, otherwise
  // a Windows Sockets error number (SocketErrors.h).
  TNotifyError OnDnsLookupDone;     // a host lookup ended; 10004 when cancelled
  TNotifyError OnSessionConnected;  // the TCP connect completed (10061: refused)
  TNotifyError OnDataAvailable;     // bytes can be read with Receive
  TNotifyError OnDataSent;          // the send queue has become empty
  TNotifyError OnSessionClosed;     // the session ended (once per session)
  TChangeState OnChangeState;       // every change of State
  // When the peer closes, the bytes still waiting are delivered through
  // OnDataAvailable first, then OnSessionClosed(0, or e.g. 10054 for a
  // reset). An exception escaping OnDataAvailable ends that delivery and is
  // dropped; one escaping another notification run by the loop aborts the
  // socket; one escaping a notification fired inside a call passes out of it.

  // Starts a connect to Addr:Port over Proto. Unresolved properties are
  // resolved first (Addr may be a host name: that lookup blocks; give it
  // DnsResult to avoid that). Completion: OnSessionConnected later from the
  // loop. A connect that fails (refused, unreachable) gives
  // OnSessionConnected(error) and then, as the socket closes itself,
  // OnSessionClosed(0). Raises ESocketException with
  //   "Connect: Socket already in use"         (a session is open)
  //   "Connect: No Port Specified" / "Connect: No IP Address Specified" /
  //   "Connect: No Protocol Specified"
  //   "connect: " + the SocketResolveHost/Port/Proto message
  //   "Error <n> in function <f>\r\n<SocketErrorText(n)>" for a failing
  //   system call, f one of "Connect (socket)", "setsockopt(SO_LINGER)",
  //   "setsockopt(SO_KEEPALIVE)", "setsockopt(SO_REUSEADDR)", "Connect".
  // After a failure State is wsClosed or wsOpened; Close or Abort returns it
  // to wsClosed.
  void Connect();

  // Ends the session: shuts down sending, closes the descriptor (linger time
  // 0: what the kernel still holds is dropped), and fires OnSessionClosed(0)
  // inside the call unless this session's close was already reported.
  // Nothing happens when no session is open.
  void Close();

  // Cancels a pending lookup (OnDnsLookupDone(10004) inside the call), drops
  // the unsent queue, and closes without shutdown and without lingering; an
  // open session reports OnSessionClosed(0) inside the call, as Close does.
  void Abort();

  // One read of at most `size` bytes, meant for OnDataAvailable. Returns the
  // count read, 0 when the peer has closed (or size is 0), -1 on error with
  // LastError set (10035 when nothing is waiting). While bytes are waiting
  // and the owner reads some each time, OnDataAvailable comes again within
  // the same round; an owner that reads nothing is asked again next round.
  std::int32_t Receive(void* buffer, std::int32_t size);

  // Queues `count` bytes behind anything still unsent and writes as much as
  // the network takes now; the rest goes out as it drains, in order. When the
  // queue empties, OnDataSent(0) fires later from the loop (never inside the
  // call). Returns `count` (0 for count <= 0). A write error that ends the
  // session (10053, 10054, ...) closes the socket and fires
  // OnSessionClosed(error). Raises ESocketException
  // "Error 10057 in function Send\r\nSocket is not connected" when State is
  // not wsConnected (a socket still connecting is closed by that, without
  // OnSessionClosed), and "... in function TryToSend failed ..." for an
  // unexpected write error.
  std::int32_t Send(const void* data, std::int32_t count);
  // Send for the bytes of `text`; the POP3 client passes one command line
  // with its CR LF per call.
  std::int32_t SendText(std::string_view text);

  // Looks up the addresses of `host`. A dotted address (inet_addr form) or an
  // IPv6 one, bare or in brackets ("::1", "[::1]"), completes inside the
  // call: DnsResult is its numeric text ("::1" without brackets),
  // DnsResultList stays empty, OnDnsLookupDone(0) fires before DnsLookup
  // returns, and an exception from that handler passes out of DnsLookup. A
  // name is resolved off the loop's thread and reported later from the loop:
  // DnsResultList gets every address (IPv4 ones first, see
  // LookupHostAddresses), DnsResult the first; a name that does not exist
  // (names under ".invalid" never do) reports 11001 with both empty. A lookup
  // still pending is dropped silently first. Raises ESocketException with
  // "DNS lookup: invalid host name." for an empty host (nothing fires), and
  // "<host>: can't start DNS lookup, error #<n>" when no worker can start.
  void DnsLookup(const std::string& host);

  // When a lookup is pending: forgets it (its answer is dropped when it
  // arrives) and fires OnDnsLookupDone(10004) inside the call. Otherwise
  // nothing.
  void CancelDnsLookup();

  // Remote host, port and protocol as text, stored trimmed. Setting the same
  // text again while the property is assigned does nothing. Otherwise they may
  // only change while State is wsClosed; then a non-empty text marks the
  // property assigned (to be resolved at Connect), an empty one not assigned.
  // Raise "Cannot change Addr if not closed", "Cannot change Port if not
  // closed", "Cannot change Proto if not closed". Proto is "tcp" at first and
  // after every close.
  const std::string& Addr() const { return addr_.text; }
  void SetAddr(std::string_view text);
  const std::string& Port() const { return port_.text; }
  void SetPort(std::string_view text);
  const std::string& Proto() const { return proto_.text; }
  void SetProto(std::string_view text);

  // Results of the last lookup as numeric text; both are cleared when a
  // lookup starts.
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }

  TSocketState State() const { return state_; }
  // The last Windows Sockets error number seen (0 after a clean receive pass).
  int LastError() const { return lastError_; }
  // Bytes read since the last close.
  std::int64_t ReadCount() const { return readCount_; }

 private:
  struct TextProperty {
    std::string text;
    bool assigned = false;
    bool resolved = false;
  };

  void SetProperty(TextProperty& property, std::string_view text, const char* name);
  void ResolveForConnect();
  void ChangeState(TSocketState newState);
  void ResetDefaults();
  void ApplyLinger();
  void SetOption(int option, const char* functionName);
  // Whether the session open when it was made is still the socket's current
  // one. A notification's handler may close the session, or close it and
  // connect again; whoever fired it checks this before touching the session
  // further, also when a handler raised.
  class SessionWatch {
   public:
    explicit SessionWatch(const TAsyncSocket& socket)
        : socket_(socket), session_(socket.session_) {}
    bool Kept() const { return socket_.session_ == session_; }

   private:
    const TAsyncSocket& socket_;
    std::uint64_t session_;
  };

  void UpdateWatch();
  // Runs `handler` unless it is unset; a SessionWatch made before tells what
  // it left of the session.
  void FireError(const TNotifyError& handler, int error);
  // Posts `step` to run later from the loop, dropped when the socket or the
  // current descriptor is gone by then.
  void PostForSession(std::function<void()> step);
  // Runs a step on behalf of the loop: an exception it raises aborts the
  // socket instead of reaching the loop.
  void RunFromLoop(const std::function<void()>& step);

  void OnDescriptorReady(std::uint64_t session, bool readable, bool writable);
  void HandleConnectOutcome(int error);
  void HandleReadable();
  void HandlePeerClosed(int error);
  void HandleWritable();
  void HandleLookupAnswer(int error, std::vector<std::string> addresses);

  void ReceiveLoop(int error);
  void QueueSendData(const char* data, std::int32_t count);
  bool HasUnsentData() const;
  void TryToSend();
  void CloseSocketHandle(bool shutdownFirst, int error);
  void CloseDescriptorNow();
  [[noreturn]] void RaiseSocketError(int error, const char* functionName);

  EventLoop& loop_;
  int handle_ = -1;
  TSocketState state_ = wsClosed;
  TextProperty addr_;
  TextProperty port_;
  TextProperty proto_{"tcp", true, false};
  HostAddress resolvedAddr_;
  std::uint16_t resolvedPort_ = 0;  // host byte order
  int protocol_ = 0;
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  std::shared_ptr<HostLookup> pendingLookup_;
  int lastError_ = 0;
  std::int64_t readCount_ = 0;
  std::deque<TBuffer> sendQueue_;
  bool allSent_ = true;
  bool closeReported_ = false;
  // Linger on with time 0 at connect; Abort turns it off first.
  bool lingerOn_ = true;
  bool watchingRead_ = false;
  bool watchingWrite_ = false;
  bool destroying_ = false;
  // Changes whenever a descriptor is opened or closed, so that readiness,
  // posted calls and the tail of a notification meant for a descriptor that
  // has gone since (closed, or reopened by a handler) are recognised.
  std::uint64_t session_ = 0;
  // Expires with the socket; posted calls hold a weak reference to it.
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace vexalo
