#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/AsyncSocket.h"
#include "pop3/EventLoop.h"
#include "pop3/Pop3LineBuffer.h"
#include "pop3/TlsCertificate.h"
#include "pop3/TlsSession.h"

namespace vexalo {

// Raised at once by an operation that is refused (wrong state, bad argument);
// its message is the whole content.
class Pop3Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The POP3 session state.
enum TPop3ProtocolState : uint8_t {
  pop3Disconnected = 0,  // no session, or QUIT accepted
  pop3WaitingUser = 1,   // greeting accepted; USER or APOP expected
  pop3WaitingPass = 2,   // USER accepted; PASS or RPOP expected
  pop3Transaction = 3,   // logged in
};

// The component's own state: whether a request may start.
enum TPop3State : uint8_t {
  pop3Ready = 0,            // idle; a new request may start
  pop3DnsLookup = 1,        // host name lookup in progress
  pop3Connecting = 2,       // TCP connect in progress
  pop3Connected = 3,        // greeting accepted (passed through on the way back to idle)
  pop3InternalReady = 4,    // between two steps of a request sequence
  pop3WaitingBanner = 5,    // TCP session up, waiting for the greeting
  pop3WaitingResponse = 6,  // a command was sent; its reply is being read
  pop3Abort = 7,            // an abort is in progress
};

// The request that OnRequestDone reports. New requests go at the end: the
// numbers are shown in traces.
enum TPop3Request : uint8_t {
  pop3Connect = 0,
  pop3User = 1,
  pop3Pass = 2,
  pop3RPop = 3,
  pop3Quit = 4,
  pop3Stat = 5,
  pop3List = 6,
  pop3Retr = 7,
  pop3Top = 8,
  pop3Dele = 9,
  pop3Noop = 10,
  pop3Last = 11,
  pop3RSet = 12,
  pop3Uidl = 13,
  pop3APop = 14,
  pop3Open = 15,
  pop3Capa = 16,
  pop3Stls = 17,
};

// How a session is protected.
enum TPop3Security : uint8_t {
  secPlain = 0,     // POP3 in the clear
  secTls = 1,       // TLS from the first byte (POP3S, usually port 995)
  secStartTls = 2,  // in the clear up to STLS (RFC 2595), then TLS; no login before
};

const char* ToString(TPop3ProtocolState state);
const char* ToString(TPop3State state);
const char* ToString(TPop3Request request);

// An event-driven POP3 client (RFC 1939, plus RPOP, LAST and CAPA) on one
// TAsyncSocket. Every operation reads the properties, starts one request and
// returns; the outcome arrives later through OnRequestDone, always delivered
// by the event loop (EventLoop::Post), never inside the operation or inside the
// socket notification that finished the request. So the owner may start the
// next request from its OnRequestDone handler, and at most one request is
// outstanding, unless the server pipelines (below). Lines of multi-line
// replies are handed out one at a time (OnMessageLine and friends) as they
// arrive; a message is never held whole.
//
// Pipelining (RFC 2449): once the session's CAPA listed PIPELINING, the
// commands of the transaction state (STAT, LIST, UIDL, RETR, TOP, DELE, NOOP,
// LAST, RSET) may be sent while replies are still due, up to kPipelineDepth
// requests out (a few hundred bytes of commands, so neither side's buffers
// can fill while the other waits). ReadyForCommand tells whether one may go
// now. The replies are read in the order the commands went, each request gets
// its own OnRequestDone, and no line of a reply is handed out before the
// OnRequestDone of the request before it has returned: an owner sees the
// replies one after the other, as without pipelining. When the session ends
// (a failure, a close, Abort) only the request being answered completes;
// those sent behind it are dropped.
//
// OnRequestDone's error: 0 success; 500 a reply that does not begin with "+",
// or the client's own failure (the connect could not start, a data line left
// over after the session was lost, a reply line longer than
// Pop3LineBuffer::kMaxLineLength, which also aborts the session with
// ErrorMessage "-ERR Line too long", a TLS failure or an untrusted server
// certificate, which abort it too); 10004 the session closed while the request
// was pending (server close, negative greeting, Abort) or the host lookup was
// cancelled; 10060 the server was silent for Timeout seconds while the request
// waited for it (the session is aborted); 426 a request sequence was aborted;
// otherwise the socket's error number from the host lookup or the connect.
// ErrorMessage then holds a text.
//
// Security: with secTls the session is TLS from the first byte; with
// secStartTls, Connect (and Open) ask CAPA, send STLS when it is offered,
// and after the handshake ask CAPA again, before they complete. A server
// that does not offer STLS or refuses it fails the connect. Either way USER,
// PASS, RPOP and APOP are refused while the session is not encrypted, so no
// secret ever goes out in the clear. The server certificate must pass the
// test of TlsTrust (TlsSession.h), made of Host and TlsFingerprint.
//
// Refusals raise Pop3Exception at once and start nothing: "POP3 component not
// ready" when a request is outstanding (State is neither pop3Ready nor
// pop3InternalReady) and the command cannot be pipelined behind it, "POP3
// component not connected", the protocol-state texts
// ("-ERR STAT command invalid now", ...; these also replace ErrorMessage and go
// to OnDisplay) and the others named at each operation.
//
// An operation that sends a command lets the loop process its pending events
// once before the command goes out (not one pipelined behind others, which
// goes at once); handlers may run then, and any request they start is refused
// as not ready (Abort is not). So start the next request only from
// OnRequestDone, which names the request that completed.
//
// Server text (LastResponse, and ErrorMessage when copied from it) is
// untrusted: it is any bytes but CR LF, up to kMaxLineLength long.
class TCustomPop3Client {
 public:
  using TNotifyEvent = std::function<void(TCustomPop3Client& Sender)>;
  using TPop3Display = std::function<void(TCustomPop3Client& Sender, const std::string& Msg)>;
  using TPop3RequestDone =
      std::function<void(TCustomPop3Client& Sender, TPop3Request RqType, uint16_t Error)>;
  using TSessionConnected = std::function<void(TCustomPop3Client& Sender, uint16_t Error)>;
  using TSessionClosed = std::function<void(TCustomPop3Client& Sender, uint16_t Error)>;

  // The loop must outlive the client.
  explicit TCustomPop3Client(EventLoop& loop);
  ~TCustomPop3Client();
  TCustomPop3Client(const TCustomPop3Client&) = delete;
  TCustomPop3Client& operator=(const TCustomPop3Client&) = delete;

  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  const std::string& Port() const { return port_; }
  void SetPort(std::string port) { port_ = std::move(port); }
  // Sent trimmed of the bytes 0x00-0x20 at both ends.
  const std::string& UserName() const { return userName_; }
  void SetUserName(std::string userName) { userName_ = std::move(userName); }
  // Sent trimmed with PASS and RPOP; the APOP digest uses it as it is.
  const std::string& PassWord() const { return passWord_; }
  void SetPassWord(std::string passWord) { passWord_ = std::move(passWord); }
  TPop3Security Security() const { return security_; }
  void SetSecurity(TPop3Security security) { security_ = security; }
  // A SHA-256 fingerprint pinning the server certificate; empty: the trust
  // store and the host name decide.
  const std::string& TlsFingerprint() const { return tlsFingerprint_; }
  void SetTlsFingerprint(std::string fingerprint) { tlsFingerprint_ = std::move(fingerprint); }
  // Seconds of silence after which a wait on the server fails (10060);
  // held between 1 and kMaxTimeout.
  static constexpr int32_t kMaxTimeout = 24 * 60 * 60;
  int32_t Timeout() const { return timeoutSeconds_; }
  void SetTimeout(int32_t seconds) {
    timeoutSeconds_ = std::clamp<int32_t>(seconds, 1, kMaxTimeout);
  }
  // The certificate that failed this session's trust test, until the next
  // Connect; for asking the user whether to pin it.
  const std::optional<TlsCertificateFacts>& UntrustedCertificate() const {
    return untrustedCertificate_;
  }
  // True while the session's bytes go through TLS with a trusted certificate.
  bool Encrypted() const;
  const std::string& ErrorMessage() const { return errorMessage_; }
  // ErrorMessage keeps the first error until a sequence starts; a user that
  // goes on after an error it expected clears it, so a later failure is
  // reported with its own text.
  void ClearErrorMessage() { errorMessage_.clear(); }
  // The line most recently received, without its CR LF.
  const std::string& LastResponse() const { return lastResponse_; }
  TPop3ProtocolState ProtocolState() const { return protocolState_; }
  int32_t MsgCount() const { return msgCount_; }
  int32_t MsgSize() const { return msgSize_; }
  int32_t MsgLines() const { return msgLines_; }
  void SetMsgLines(int32_t lines) { msgLines_ = lines; }
  // The message number for LIST, UIDL, RETR, TOP and DELE; LIST, UIDL and
  // LAST replies overwrite it.
  int32_t MsgNum() const { return msgNum_; }
  void SetMsgNum(int32_t number) { msgNum_ = number; }
  const std::string& MsgUidl() const { return msgUidl_; }
  int32_t Tag() const { return tag_; }
  void SetTag(int32_t tag) { tag_ = tag; }
  // True from the socket's session-connected (without error) until its
  // session-closed.
  bool Connected() const { return connected_; }
  TPop3State State() const { return state_; }
  // The lines of the last CAPA reply of this session, each with its
  // capability name upper-cased ("TOP", "SASL PLAIN"); emptied when a session
  // starts or ends and when CAPA is sent.
  const std::vector<std::string>& Capabilities() const { return capabilities_; }
  // Whether Capabilities names `name` (compared without regard to case).
  bool HasCapability(std::string_view name) const;

  // The most requests out at once while pipelining.
  static constexpr size_t kPipelineDepth = 128;
  // Whether a command of the transaction state may be sent now: the client is
  // ready, or the server pipelines and the window has room.
  bool ReadyForCommand() const;

  // Looks Host up, connects to Port and reads the greeting. Done: 0 with
  // ProtocolState pop3WaitingUser and the greeting in LastResponse; the lookup
  // or connect error number; 500 when the connect could not start; 10004 after
  // a negative greeting (the client closes the session). Refused: not ready,
  // "POP3 component already connected". Errors the socket raises while starting
  // the lookup (empty Host: "DNS lookup: invalid host name.") pass out as they
  // are, with State back at pop3Ready.
  void Connect();
  // Connect, User and Pass as one request: one OnRequestDone (pop3Open) with
  // the first failing step's result, or 0. Refused: "pop3 component already
  // connected", not ready; errors raised by the first step pass out.
  void Open();
  // Refused unless ProtocolState is at most pop3WaitingUser.
  void User();
  // Refused unless ProtocolState is at most pop3WaitingPass.
  void Pass();
  void RPop();
  // Refused unless ProtocolState is pop3WaitingUser and the greeting carried
  // a <timestamp>.
  void APop();
  // Connected: sends QUIT; its +OK alone completes nothing, the server's close
  // then completes the request with 0 (Connected false, ProtocolState
  // pop3Disconnected). A negative reply completes with 500, a close without a
  // reply with 10004. Not connected: completes with 0 (still from the loop).
  void Quit();
  // Done with 0: MsgCount and MsgSize from the reply (both 0 unless it holds
  // two numbers).
  void Stat();
  // MsgNum > 0: MsgNum and MsgSize from the reply. Otherwise the listing:
  // OnListBegin, OnListLine per entry (MsgNum and MsgSize set), OnListEnd.
  void List();
  // MsgNum > 0: MsgNum and MsgUidl from the reply. Otherwise the listing:
  // OnUidlBegin, OnUidlLine per entry (MsgNum and MsgUidl set), OnUidlEnd.
  void Uidl();
  // OnMessageBegin, OnMessageLine per line (dot-stuffing undone, the line in
  // LastResponse), OnMessageEnd; done with 0 and LastResponse empty.
  void Retr();
  // As Retr, for the header and MsgLines body lines. Refused when MsgLines is
  // negative: "Invalid MsgLines for TOP command".
  void Top();
  void Dele();
  void Noop();
  // Done with 0: MsgNum (and MsgSize) from the reply.
  void Last();
  void RSet();
  // Asks for the server's capabilities (RFC 2449); ProtocolState stays as it
  // is. Refused before the greeting and after QUIT: "-ERR CAPA command invalid
  // now". Done with 0: Capabilities holds the reply's lines, which fire no
  // event but OnResponse; 500 on -ERR (a server without CAPA), Capabilities
  // then empty.
  void Capa();
  // Sends STLS; its +OK is followed by the TLS handshake, and the request is
  // done with 0 once the certificate is trusted. What was learnt before (the
  // capabilities) is forgotten, and bytes that came in the clear after the
  // +OK are dropped. Refused outside pop3WaitingUser ("-ERR STLS command
  // invalid now") and when the session is encrypted already.
  void Stls();
  // Cancels a lookup and drops the session at once, never refused. A pending
  // request completes with 10004; a sequence with 426 (or the interrupted
  // step's error).
  void Abort();

  TPop3Display OnDisplay;  // trace: "> " commands, "< " replies, the client's own error texts
  TNotifyEvent OnMessageBegin;
  TNotifyEvent OnMessageEnd;
  TNotifyEvent OnMessageLine;
  TNotifyEvent OnListBegin;
  TNotifyEvent OnListEnd;
  TNotifyEvent OnListLine;
  TNotifyEvent OnUidlBegin;
  TNotifyEvent OnUidlEnd;
  TNotifyEvent OnUidlLine;
  TNotifyEvent OnStateChange;
  TPop3RequestDone OnRequestDone;
  TPop3Display OnResponse;  // every line received, data lines as they came
  TSessionConnected OnSessionConnected;
  TSessionClosed OnSessionClosed;

 private:
  // One row of the command table (Pop3Client.cpp): verb, the protocol states
  // it is allowed in, the state its +OK leaves, and how its reply is read.
  struct Command;
  using Operation = void (TCustomPop3Client::*)();
  using EventMember = TNotifyEvent TCustomPop3Client::*;

  // Where the request in flight stands.
  enum class Phase : uint8_t {
    awaitingReply,  // the greeting or the command's status line is due
    readingLines,   // the data lines of a multi-line reply are due
    awaitingClose,  // QUIT was accepted; the server's close completes it
    reported,       // completed: nothing more belongs to it
  };
  // The request in flight: what OnRequestDone will name, the command whose
  // reply is read (none for Connect) and how it ended.
  struct Request {
    TPop3Request type = pop3Connect;
    const Command* command = nullptr;
    bool numbered = false;  // LIST or UIDL for one message: a one-line reply
    Phase phase = Phase::reported;
    int result = 0;
  };
  // A request made of several operations (Open): those still to run and the
  // result it will report.
  struct Sequence {
    bool running = false;
    std::span<const Operation> left;
    int result = 0;
  };

  static const Command& CommandFor(TPop3Request request);
  static constexpr size_t kStartTlsConnectSteps = 4;
  static const Operation kStartTlsOpenSteps[6];

  void CheckReady() const;
  bool RoomBehindRequest() const;
  void CheckConnected() const;
  void CheckAllowed(const Command& command);
  void RefuseWithText(std::string text);
  void SetState(TPop3State state);
  void Display(const std::string& text);
  void DisplayWithPrefix(const char* prefix, const std::string& text);
  void Fire(const TNotifyEvent& event);
  void Fire(EventMember event);

  void BeginRequest(TPop3Request request, const Command* command);
  void SendCommand(TPop3Request request, const std::string* argument = nullptr);
  void SendCommand(TPop3Request request, const std::string& argument) {
    SendCommand(request, &argument);
  }
  void SendForOneOrAll(TPop3Request request);

  void ConnectSession();
  void StlsIfOffered();
  void BeginTls();
  void HandleTlsData(uint16_t error);
  void FailTls(const std::string& reason);
  void SendBytes(std::string_view bytes);

  bool AwaitsServer() const;
  void WatchForSilence(bool awaiting);
  void CheckSilence();
  void TimeOut();

  void HandleDnsLookupDone(uint16_t error);
  void HandleSessionConnected(uint16_t error);
  void HandleDataAvailable(uint16_t error);
  void HandleSessionClosed(uint16_t error);
  void EndSession(void (TAsyncSocket::*close)());
  void DispatchLines(uint16_t error);
  void HandleGreeting(uint16_t error);
  void HandleStatusLine();
  void HandleDataLine();
  void ReadValues(const std::string& line);
  void FailOverlongLine();
  void FailWithResponse(std::string response, int error);

  void CompleteRequest(int error);
  void FinishRequest(int error);
  void ReportDone(int error);
  void DeliverRequestDone(TPop3Request type, int error);
  void ResumeReading();
  void DropFollowing();

  void StartSequence(TPop3Request request, std::span<const Operation> operations);
  void RunNextStep();
  void DropSequence();

  EventLoop& loop_;
  std::unique_ptr<TAsyncSocket> socket_;
  // Request-done notifications hold this weakly, so one still queued in the
  // loop when the client is destroyed is dropped instead of reaching it.
  std::shared_ptr<TCustomPop3Client*> requestDoneTarget_;

  std::string host_;
  std::string port_ = "pop3";
  std::string userName_;
  std::string passWord_;
  std::string errorMessage_;
  std::string lastResponse_;
  std::string msgUidl_;
  TPop3ProtocolState protocolState_ = pop3Disconnected;
  TPop3State state_ = pop3Ready;
  int32_t msgCount_ = 0;
  int32_t msgSize_ = 0;
  int32_t msgLines_ = 0;
  int32_t msgNum_ = 0;
  int32_t tag_ = 0;
  bool connected_ = false;

  std::vector<std::string> capabilities_;

  Request request_;
  Sequence sequence_;
  // Pipelined requests sent behind request_, oldest first.
  std::deque<Request> following_;
  // A request that had others behind it was reported, and its OnRequestDone
  // has not returned yet: the next reply's lines wait until it has.
  bool deliveryPending_ = false;

  Pop3LineBuffer lineBuffer_;
  bool dispatching_ = false;
  // Changes whenever the session ends, so a dispatch of received lines that
  // outlives its session stops instead of feeding the next one.
  uint32_t sessionGeneration_ = 0;
  std::string timestamp_;  // "<...>" from the greeting, for APOP

  TPop3Security security_ = secPlain;
  std::string tlsFingerprint_;
  // Made when a session's handshake starts, dropped when the next session
  // starts: a close reported from inside one of its calls must not free it.
  std::unique_ptr<TlsSession> tls_;
  bool tlsHandshaking_ = false;
  std::optional<TlsCertificateFacts> untrustedCertificate_;

  int32_t timeoutSeconds_ = 60;
  // Silence is measured from the last byte received or the start of the
  // wait; one timer per wait, re-armed for the rest when bytes came.
  EventLoop::TimerId silenceTimer_ = 0;
  std::chrono::steady_clock::time_point lastHeard_;
};

// The component as the main window holds it; it adds nothing.
class TPop3Client final : public TCustomPop3Client {
 public:
  using TCustomPop3Client::TCustomPop3Client;
};

}  // namespace vexalo
