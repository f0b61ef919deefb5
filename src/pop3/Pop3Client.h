#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FailureKind.h"
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
  pop3WaitingUser = 1,   // greeting accepted; USER, APOP or AUTH expected
  pop3WaitingPass = 2,   // USER accepted; PASS expected
  pop3Transaction = 3,   // logged in
};

// What a request asked for; a reply names it.
enum TPop3Request : uint8_t {
  pop3Connect,
  pop3User,
  pop3Pass,
  pop3APop,
  pop3Capa,
  pop3Stls,
  pop3Stat,
  pop3List,
  pop3Uidl,
  pop3Retr,
  pop3Top,
  pop3Dele,
  pop3Quit,
  pop3Auth,  // AUTH XOAUTH2
};

// How a session is protected.
enum TPop3Security : uint8_t {
  secPlain = 0,     // POP3 in the clear
  secTls = 1,       // TLS from the first byte (POP3S, usually port 995)
  secStartTls = 2,  // in the clear up to STLS (RFC 2595), then TLS; no login before
};

const char* ToString(TPop3ProtocolState state);
const char* ToString(TPop3Request request);

// Where and how a session connects.
struct Pop3Endpoint {
  std::string host;  // a name or a dotted IPv4 address
  std::string port = "pop3";
  TPop3Security security = secPlain;
  // A SHA-256 fingerprint pinning the server certificate; empty: the trust
  // store and the host name decide.
  std::string tlsFingerprint;
  // Seconds of silence after which a wait on the server fails (10060); held
  // between 1 and kMaxTimeoutSeconds.
  int32_t timeoutSeconds = 60;
  static constexpr int32_t kMaxTimeoutSeconds = 24 * 60 * 60;
};

// A connect that met the other kind of connection than the one asked for:
// the encryption setting, not the network, is what to change.
// The plain connection received a TLS record where the greeting was due, or
// the server stayed silent for kTlsPortGreetingSeconds on the POP3S port
// (995, "pop3s"), where a server waits for the client's TLS hello.
inline constexpr uint16_t kPop3ServerExpectsTls = 501;
// The TLS handshake met POP3 text ("+OK", "-ERR"): the server speaks in the
// clear on this port.
inline constexpr uint16_t kPop3ServerSpeaksPlain = 502;
// How long a plain connection on the POP3S port waits for a greeting.
inline constexpr int32_t kTlsPortGreetingSeconds = 10;

// What a request's completion receives.
//
// error: 0 success; 500 a reply that does not begin with "+", or the
// client's own failure (the connect could not start, a reply line longer than
// Pop3LineBuffer::kMaxLineLength, a TLS failure or an untrusted server
// certificate, STARTTLS not offered); 501 and 502 the connect met the other
// kind of connection (above); 10004 the session closed while the
// request was out (server close, negative greeting); 10060 the server was
// silent for the time-out; otherwise the socket's error number from the host
// lookup or the connect.
//
// kind: the failure's kind, set where it was found (a negative reply is
// kServerReply, a socket error its kind, an untrusted certificate kTlsTrust).
//
// text: the reply's status line ("+OK 2 320", "-ERR no such message"), or
// for a failure that is not the server's answer the client's own text
// ("-ERR Connection closed by server", "-ERR Connection timed out (Winsock
// error #10060)"); a negative greeting stays the text of the close that
// follows it. Server text is untrusted: any bytes but CR LF, up to
// kMaxLineLength long.
struct Pop3Reply {
  TPop3Request request = pop3Connect;
  int32_t number = 0;  // the message number the request named; 0: none
  uint16_t error = 0;
  FailureKind kind = FailureKind::kNone;  // what the failure was; kNone with error 0
  std::string text;
  // The data lines of a multi-line reply that was given no line sink (CAPA,
  // listings), dot-stuffing undone, without the final ".".
  std::vector<std::string> lines;

  bool Ok() const { return error == 0; }
};

// An event-driven POP3 client (RFC 1939, with CAPA, STLS and pipelining) on
// one TAsyncSocket. Every operation takes what it needs as arguments, starts
// one request and returns; its completion is called later with the reply,
// never inside the operation. A multi-line reply's data lines go, as they
// arrive and before the completion, to the line sink given with the request
// (a message is never held whole), or else are gathered into the reply.
//
// Requests are answered in the order they went, and a completion is called as
// soon as the last line of its reply is read: from the socket's notification,
// so the owner may start the next request from inside it, and no line of the
// next reply reaches the owner before it has returned. A completion that ends
// the session (a close, a time-out, a TLS failure, a line too long) is called
// from a posted call instead: nothing of that session follows it. Abort
// completes nothing: the owner that aborts knows.
//
// Pipelining (RFC 2449): once the session's CAPA listed PIPELINING, the
// commands of the transaction state (STAT, LIST, UIDL, RETR, TOP, DELE) may
// be sent while replies are still due, up to kPipelineDepth requests out.
// ReadyForCommand tells whether one may go now. When the session ends only
// the request being answered completes; those behind it are dropped.
//
// Security: with secTls the session is TLS from the first byte; with
// secStartTls, Connect asks CAPA, sends STLS when it is offered, and after the
// handshake asks CAPA again before it completes. A server that does not offer
// STLS or refuses it fails the connect. Either way USER, PASS and APOP are
// refused while the session is not encrypted, so no secret ever goes out in
// the clear. The server certificate must pass the test of TlsTrust
// (TlsSession.h), made of the host and the pinned fingerprint.
//
// Refusals raise Pop3Exception at once and start nothing: "POP3 component not
// ready" when a request is out and this one cannot be pipelined behind it,
// "POP3 component not connected", "POP3 component already connected", the
// protocol-state texts ("-ERR STAT command invalid now", ...) and the others
// named at each operation. Errors the socket raises while a host lookup
// starts (an empty host: "DNS lookup: invalid host name.") pass out as they
// are.
//
// The client must not be destroyed from inside one of its completions or
// sinks; a posted completion still queued when it goes is dropped.
class TPop3Client {
 public:
  using Completion = std::function<void(Pop3Reply& reply)>;
  using LineSink = std::function<void(std::string_view line)>;
  using Trace = std::function<void(std::string_view text)>;

  // The most requests out at once while pipelining.
  static constexpr size_t kPipelineDepth = 128;
  // The longest AUTH line, CR LF included, that may carry an initial response.
  static constexpr size_t kMaxInitialResponseLine = 255;

  // The loop must outlive the client.
  explicit TPop3Client(EventLoop& loop);
  ~TPop3Client();
  TPop3Client(const TPop3Client&) = delete;
  TPop3Client& operator=(const TPop3Client&) = delete;

  // Looks the host up, connects, (TLS,) reads the greeting and, for
  // STARTTLS, protects the session. Done: 0 with ProtocolState
  // pop3WaitingUser and the greeting as the reply's text.
  void Connect(Pop3Endpoint endpoint, Completion done);
  // Sent trimmed of the bytes 0x00-0x20 at both ends.
  void User(std::string_view userName, Completion done);
  void Pass(std::string_view passWord, Completion done);
  // The digest of the greeting's <timestamp> and the password as it is.
  // Refused without a timestamp: "-ERR Server do not support APOP (no
  // timestamp)".
  void APop(std::string_view userName, std::string_view passWord, Completion done);
  // SASL XOAUTH2 with a bearer token (the login of Microsoft 365 and Gmail):
  // the base64 of "user=<userName>^Aauth=Bearer <accessToken>^A^A" goes as
  // the initial response when the whole AUTH line is at most
  // kMaxInitialResponseLine octets (RFC 5034), otherwise after the server's
  // "+" to a bare "AUTH XOAUTH2". An error challenge ("+ <base64 JSON>") is
  // answered with an empty line; the -ERR that follows completes with 500
  // and its text, the challenge's decoded words added in brackets. A server
  // that challenges again ends the session (500). The token is never traced.
  // Refused unless the session is encrypted or goes to a loopback address:
  // "-ERR AUTH refused: a bearer token goes only over TLS".
  void XOAuth2(std::string_view userName, std::string_view accessToken, Completion done);
  // The server's capabilities (RFC 2449), allowed from the greeting on; done
  // with 0: Capabilities holds the reply's lines; 500 on -ERR (a server
  // without CAPA), Capabilities then empty.
  void Capa(Completion done);
  void Stat(Completion done);
  // The listing of every message (its lines to `lines`, or into the reply),
  // or one message's entry on the status line.
  void List(Completion done, LineSink lines = {});
  void List(int32_t number, Completion done);
  void Uidl(Completion done, LineSink lines = {});
  void Uidl(int32_t number, Completion done);
  // The message's lines go to `lines`.
  void Retr(int32_t number, LineSink lines, Completion done);
  // The header and `bodyLines` lines of the body. Refused when bodyLines is
  // negative: "Invalid MsgLines for TOP command".
  void Top(int32_t number, int32_t bodyLines, LineSink lines, Completion done);
  void Dele(int32_t number, Completion done);
  // Connected: sends QUIT; its +OK alone completes nothing, the server's close
  // then completes it with 0 (Connected false, ProtocolState
  // pop3Disconnected). A negative reply completes with 500, a close without a
  // reply with 10004. Not connected: completes with 0 (from a posted call).
  void Quit(Completion done);
  // Cancels a lookup and drops the session at once; never refused. The
  // requests out are dropped without their completions.
  void Abort();

  // The loop the client runs on.
  EventLoop& Loop() const { return loop_; }
  // True from the socket's session-connected until its session-closed.
  bool Connected() const { return connected_; }
  TPop3ProtocolState ProtocolState() const { return protocolState_; }
  // True while the session's bytes go through TLS with a trusted certificate.
  bool Encrypted() const;
  // The certificate that failed this session's trust test, until the next
  // Connect; for asking the user whether to pin it.
  const std::optional<TlsCertificateFacts>& UntrustedCertificate() const {
    return untrustedCertificate_;
  }
  // The lines of the last CAPA reply of this session, each with its
  // capability name upper-cased ("TOP", "SASL PLAIN"); emptied when a session
  // starts or ends and when CAPA is sent.
  const std::vector<std::string>& Capabilities() const { return capabilities_; }
  // Whether Capabilities names `name` (compared without regard to case).
  bool HasCapability(std::string_view name) const;
  // Requests sent (or connecting) whose completion has not been called.
  size_t RequestsOut() const { return requests_.size(); }
  // Whether a command of the transaction state may be sent now: nothing is
  // out, or the server pipelines and the window has room.
  bool ReadyForCommand() const;

  // Every command sent ("> "), every line received ("< ") and the client's
  // own failure texts, as they happen; for diagnosis.
  Trace OnTrace;
  // Called once every line of one read from the server has been handed out,
  // before the commands its completions sent go out (together with any it
  // sends itself), unless the session ended meanwhile: where an owner
  // catches up on what it gathered from those completions (the run writes
  // the rows they gave before their DELEs leave).
  std::function<void()> OnReadHandled;

 private:
  struct Command;
  // Where a request stands.
  enum class Phase : uint8_t {
    connecting,     // host lookup, TCP connect, POP3S handshake
    greeting,       // the greeting is due
    status,         // the status line is due
    lines,          // the data lines of a multi-line reply are due
    tlsHandshake,   // STLS was accepted; the handshake completes it
    awaitingClose,  // QUIT was accepted; the server's close completes it
  };
  struct Request {
    const Command* command = nullptr;  // none for Connect
    Phase phase = Phase::status;
    bool multiLine = false;
    LineSink sink;
    Completion done;
    Pop3Reply reply;
    // AUTH: the response still to send after the server's "+", and what an
    // error challenge said.
    std::string saslResponse;
    bool challenged = false;
    std::string challengeText;
  };

  static const Command& CommandFor(TPop3Request request);

  void Send(TPop3Request request, std::optional<std::string> argument, Completion done,
            int32_t number = 0, LineSink sink = {});
  void CheckAllowed(const Command& command);
  void CheckMayStart(const Command& command) const;
  [[noreturn]] void Refuse(const std::string& text);
  void TraceText(std::string_view prefix, std::string_view text);
  void SendBytes(std::string_view bytes);

  void StartSession(Pop3Endpoint endpoint, Completion done);
  void ProtectWithStartTls(Completion done);
  void HandleDnsLookupDone(uint16_t error);
  void HandleSessionConnected(uint16_t error);
  void HandleDataAvailable();
  void HandleSessionClosed(uint16_t error);

  void BeginTls();
  void HandleTlsData();
  void ReadLines();
  void DropHeldOutput();
  void TakeLine(Request& request, std::string_view line);
  void TakeGreeting(Request& request, std::string_view line);
  void TakeStatusLine(Request& request, std::string_view line);
  void AnswerChallenge(Request& request, std::string_view line);
  bool ConnectedToLoopback() const;
  void TakeDataLine(Request& request, std::string_view line);

  void Complete(uint16_t error = 0, FailureKind kind = FailureKind::kNone);
  void FailSession(uint16_t error, FailureKind kind, std::string text);
  void EndSessionWith(uint16_t error, FailureKind kind, std::string text,
                      void (TAsyncSocket::*close)());
  void CompleteLater(Request request);

  // A handshake that failed because the server answered in POP3 text.
  bool HandshakeMetPlainText() const;
  // A plain session on the POP3S port still waiting for its greeting.
  bool AwaitsGreetingOnTlsPort() const;

  std::chrono::seconds SilenceLimit() const;
  void WatchForSilence();
  void CheckSilence();

  EventLoop& loop_;
  std::unique_ptr<TAsyncSocket> socket_;
  // Posted completions hold this weakly, so one still queued in the loop when
  // the client is destroyed is dropped instead of reaching it.
  std::shared_ptr<TPop3Client*> self_;

  Pop3Endpoint endpoint_;
  TPop3ProtocolState protocolState_ = pop3Disconnected;
  bool connected_ = false;
  // Counts sessions, so a loop over received lines that outlives its session
  // (an owner that aborted or connected again from a completion) stops.
  uint64_t session_ = 0;
  // Oldest first: the replies come in this order.
  std::deque<Request> requests_;
  Pop3LineBuffer lineBuffer_;
  std::vector<std::string> capabilities_;
  std::string timestamp_;  // "<...>" from the greeting, for APOP
  // While received lines are handed out, what is sent waits here (ReadLines).
  bool holdingOutput_ = false;
  std::string heldOutput_;

  // Made when a session's handshake starts, dropped when the next session
  // starts: a close reported from inside one of its calls must not free it.
  std::unique_ptr<TlsSession> tls_;
  std::optional<TlsCertificateFacts> untrustedCertificate_;

  // Silence is measured from the last byte received or the start of the
  // wait; one timer per wait, re-armed for the rest when bytes came.
  EventLoop::TimerId silenceTimer_ = 0;
  std::chrono::steady_clock::time_point lastHeard_;
};

}  // namespace vexalo
