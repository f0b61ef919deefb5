#include "pop3/Pop3Client.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "cipher/Md5.h"
#include "pop3/Pop3ReplyParsers.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr int kNegativeReply = 500;
constexpr int kSessionClosed = 10004;
constexpr int kSequenceAborted = 426;
constexpr char kClosedByServerText[] = "-ERR Connection closed by server";

// Secrets that must never cross the network in the clear when the user asked
// for encryption.
bool CarriesCredentials(TPop3Request request) {
  return request == pop3User || request == pop3Pass || request == pop3RPop || request == pop3APop;
}

bool IsPositive(std::string_view statusLine) {
  return !statusLine.empty() && statusLine.front() == '+';
}

std::string SocketErrorResponse(int error) {
  return "-ERR " + SocketErrorText(error) + " (Winsock error #" + std::to_string(error) + ")";
}

// The socket raises ESocketException; anything else is a general error.
const char* ErrorClassName(const std::exception& error) {
  return dynamic_cast<const ESocketException*>(&error) != nullptr ? "ESocketException"
                                                                  : "Exception";
}

}  // namespace

const char* ToString(TPop3ProtocolState state) {
  switch (state) {
    case pop3Disconnected:
      return "pop3Disconnected";
    case pop3WaitingUser:
      return "pop3WaitingUser";
    case pop3WaitingPass:
      return "pop3WaitingPass";
    case pop3Transaction:
      return "pop3Transaction";
  }
  return "?";
}

const char* ToString(TPop3State state) {
  switch (state) {
    case pop3Ready:
      return "pop3Ready";
    case pop3DnsLookup:
      return "pop3DnsLookup";
    case pop3Connecting:
      return "pop3Connecting";
    case pop3Connected:
      return "pop3Connected";
    case pop3InternalReady:
      return "pop3InternalReady";
    case pop3WaitingBanner:
      return "pop3WaitingBanner";
    case pop3WaitingResponse:
      return "pop3WaitingResponse";
    case pop3Abort:
      return "pop3Abort";
  }
  return "?";
}

const char* ToString(TPop3Request request) {
  static constexpr const char* kNames[] = {"Connect", "User", "Pass", "RPop", "Quit", "Stat",
                                           "List",    "Retr", "Top",  "Dele", "Noop", "Last",
                                           "RSet",    "Uidl", "APop", "Open", "Capa", "Stls"};
  return request < std::size(kNames) ? kNames[request] : "?";
}

TCustomPop3Client::TCustomPop3Client(EventLoop& loop)
    : loop_(loop),
      socket_(std::make_unique<TAsyncSocket>(loop)),
      requestDoneTarget_(std::make_shared<TCustomPop3Client*>(this)) {
  socket_->OnSessionClosed = [this](TAsyncSocket&, uint16_t error) { HandleSessionClosed(error); };
}

TCustomPop3Client::~TCustomPop3Client() {
  loop_.CancelTimer(silenceTimer_);
  socket_->OnDnsLookupDone = nullptr;
  socket_->OnSessionConnected = nullptr;
  socket_->OnDataAvailable = nullptr;
  socket_->OnSessionClosed = nullptr;
  socket_.reset();
  requestDoneTarget_.reset();
}

// ---- Checks, state and events ----

// State, and what moves it (OnStateChange fires on every change):
//   pop3Ready, pop3InternalReady  Connect                    -> pop3DnsLookup
//   pop3DnsLookup        lookup done, no error               -> pop3Connecting
//   pop3Connecting       session connected, no error         -> pop3WaitingBanner
//   pop3Connecting       session connected with an error     -> pop3Ready
//   pop3WaitingBanner    positive greeting                   -> pop3Connected, then
//                                                               pop3Ready / pop3InternalReady
//   pop3WaitingBanner    negative greeting                   -> (unchanged until the close)
//   pop3Ready, pop3InternalReady  a command sent             -> pop3WaitingResponse
//   pop3WaitingResponse  the request completes               -> pop3Ready / pop3InternalReady
//   pop3WaitingResponse  QUIT's +OK                          -> (unchanged until the close)
//   any                  Abort                               -> pop3Abort, then pop3Ready
// pop3InternalReady stands for pop3Ready between the steps of a sequence. A
// completion that is reported leaves pop3Ready outside a sequence; one that
// finds its request reported already changes nothing. A TLS handshake runs
// inside pop3WaitingBanner (secTls) or pop3WaitingResponse (STLS).
//
// pop3DnsLookup, pop3Connecting, pop3WaitingBanner and pop3WaitingResponse
// wait on the server: entering one of them from another state starts the
// silence timer, leaving them all stops it.
void TCustomPop3Client::CheckReady() const {
  if (state_ != pop3Ready && state_ != pop3InternalReady) {
    throw Pop3Exception("POP3 component not ready");
  }
}

// A pipelined command may follow the request being answered while the
// window has room; never inside a sequence, whose steps each wait for the last.
bool TCustomPop3Client::RoomBehindRequest() const {
  const bool answering =
      request_.phase == Phase::awaitingReply || request_.phase == Phase::readingLines;
  return state_ == pop3WaitingResponse && answering && !sequence_.running &&
         1 + following_.size() < kPipelineDepth && HasCapability("PIPELINING");
}

bool TCustomPop3Client::ReadyForCommand() const {
  return state_ == pop3Ready || state_ == pop3InternalReady || RoomBehindRequest();
}

void TCustomPop3Client::CheckConnected() const {
  if (!connected_) throw Pop3Exception("POP3 component not connected");
}

void TCustomPop3Client::RefuseWithText(std::string text) {
  errorMessage_ = std::move(text);
  Display(errorMessage_);
  throw Pop3Exception(errorMessage_);
}

void TCustomPop3Client::SetState(TPop3State state) {
  if (state_ == state) return;
  const bool awaitedBefore = AwaitsServer();
  state_ = state;
  if (AwaitsServer() != awaitedBefore) WatchForSilence(!awaitedBefore);
  Fire(OnStateChange);
}

void TCustomPop3Client::Display(const std::string& text) {
  if (OnDisplay) OnDisplay(*this, text);
}

void TCustomPop3Client::DisplayWithPrefix(const char* prefix, const std::string& text) {
  if (OnDisplay) OnDisplay(*this, prefix + text);
}

void TCustomPop3Client::Fire(const TNotifyEvent& event) {
  if (event) event(*this);
}

void TCustomPop3Client::Fire(EventMember event) {
  if (event != nullptr) Fire(this->*event);
}

// ---- The command table ----

// A new command is a TPop3Request value (at the end), its ToString name, a
// row in CommandFor, and an operation that calls SendCommand; a new way of
// reading values is a Values entry and its case in ReadValues.

struct TCustomPop3Client::Command {
  // Which lines of the reply carry the values.
  enum class Reply : uint8_t {
    statusLine,           // the status line is the whole reply
    lines,                // a multi-line reply, ended by "."
    linesUnlessNumbered,  // a listing; with a message number, one entry on the status line
    handshake,            // the +OK is followed by the TLS handshake, which completes it
  };
  // What a line carrying values holds, and where it goes.
  enum class Values : uint8_t {
    none,
    statNumbers,  // count and size: MsgCount, MsgSize
    listEntry,    // number and size: MsgNum, MsgSize
    uidlEntry,    // number and id: MsgNum, MsgUidl
    lastNumbers,  // MsgNum (and MsgSize) from LAST's +OK
    capability,   // one line of Capabilities
  };

  TPop3Request request;
  const char* verb;
  // Refused outside these protocol states: "-ERR <verb> command invalid now".
  TPop3ProtocolState allowedFrom;
  TPop3ProtocolState allowedTo;
  // ProtocolState after the +OK; none: unchanged.
  std::optional<TPop3ProtocolState> leaves;
  Reply reply = Reply::statusLine;
  Values values = Values::none;
  // For a multi-line reply: fired before the first line, per line, after ".".
  EventMember beginEvent = nullptr;
  EventMember lineEvent = nullptr;
  EventMember endEvent = nullptr;
};

const TCustomPop3Client::Command& TCustomPop3Client::CommandFor(TPop3Request request) {
  using C = TCustomPop3Client;
  using Reply = Command::Reply;
  using Values = Command::Values;
  constexpr TPop3ProtocolState kAny = pop3Disconnected;
  constexpr TPop3ProtocolState kTrans = pop3Transaction;
  static constexpr Command kCommands[] = {
      // request verb    allowed from .. to          +OK leaves
      {pop3User, "USER", kAny, pop3WaitingUser, pop3WaitingPass},
      {pop3Pass, "PASS", kAny, pop3WaitingPass, kTrans},
      {pop3RPop, "RPOP", kAny, pop3WaitingPass, kTrans},
      {pop3APop, "APOP", pop3WaitingUser, pop3WaitingUser, kTrans},
      {pop3Quit, "QUIT", kAny, kTrans, pop3Disconnected},
      {pop3Stat, "STAT", kTrans, kTrans, kTrans, Reply::statusLine, Values::statNumbers},
      {pop3List, "LIST", kTrans, kTrans, kTrans, Reply::linesUnlessNumbered, Values::listEntry,
       &C::OnListBegin, &C::OnListLine, &C::OnListEnd},
      {pop3Uidl, "UIDL", kTrans, kTrans, kTrans, Reply::linesUnlessNumbered, Values::uidlEntry,
       &C::OnUidlBegin, &C::OnUidlLine, &C::OnUidlEnd},
      {pop3Retr, "RETR", kTrans, kTrans, kTrans, Reply::lines, Values::none, &C::OnMessageBegin,
       &C::OnMessageLine, &C::OnMessageEnd},
      {pop3Top, "TOP", kTrans, kTrans, kTrans, Reply::lines, Values::none, &C::OnMessageBegin,
       &C::OnMessageLine, &C::OnMessageEnd},
      {pop3Dele, "DELE", kTrans, kTrans, kTrans},
      {pop3Noop, "NOOP", kTrans, kTrans, kTrans},
      {pop3Last, "LAST", kTrans, kTrans, kTrans, Reply::statusLine, Values::lastNumbers},
      {pop3RSet, "RSET", kTrans, kTrans, kTrans},
      {pop3Capa, "CAPA", pop3WaitingUser, kTrans, std::nullopt, Reply::lines, Values::capability},
      {pop3Stls, "STLS", pop3WaitingUser, pop3WaitingUser, std::nullopt, Reply::handshake},
  };
  for (const Command& command : kCommands) {
    if (command.request == request) return command;
  }
  throw std::logic_error(std::string("no command for request ") + ToString(request));
}

// ---- Operations ----

void TCustomPop3Client::CheckAllowed(const Command& command) {
  if (protocolState_ < command.allowedFrom || protocolState_ > command.allowedTo) {
    RefuseWithText(std::string("-ERR ") + command.verb + " command invalid now");
  }
}

// Every request starts here, Connect and the steps of a sequence too; a
// sequence keeps its own name for OnRequestDone.
void TCustomPop3Client::BeginRequest(TPop3Request request, const Command* command) {
  if (!sequence_.running) request_.type = request;
  request_.command = command;
  request_.numbered = false;
  request_.phase = Phase::awaitingReply;
  request_.result = 0;
}

// Sends `request`'s verb, with the argument after a space when there is one.
// The reply's status line goes to HandleStatusLine.
void TCustomPop3Client::SendCommand(TPop3Request request, const std::string* argument) {
  const Command& command = CommandFor(request);
  CheckAllowed(command);
  const bool pipelined = command.allowedFrom == pop3Transaction && RoomBehindRequest();
  if (!pipelined) CheckReady();
  CheckConnected();
  if (security_ != secPlain && !Encrypted() && CarriesCredentials(request)) {
    RefuseWithText(std::string("-ERR ") + command.verb +
                   " refused: the connection is not encrypted");
  }
  std::string line = command.verb;
  if (argument != nullptr) {
    line += ' ';
    line += *argument;
  }
  if (pipelined) {
    following_.push_back(Request{request, &command, argument != nullptr, Phase::awaitingReply, 0});
    DisplayWithPrefix("> ", line);
    line += "\r\n";
    try {
      SendBytes(line);
    } catch (...) {
      following_.pop_back();
      throw;
    }
    return;
  }
  BeginRequest(request, &command);
  request_.numbered = argument != nullptr;
  const TPop3State stateBefore = state_;
  SetState(pop3WaitingResponse);
  DisplayWithPrefix("> ", line);
  // The application gets a moment for what is already pending, as it would
  // between two clicks. Not while our own received lines are being handed
  // out: the loop would feed us the socket's next bytes in the middle.
  if (!dispatching_) loop_.ProcessPending();
  // The session may have ended meanwhile, and its close completed this
  // request already; there is nobody left to send the command to.
  if (request_.phase == Phase::reported) return;
  line += "\r\n";
  try {
    SendBytes(line);
  } catch (...) {
    SetState(stateBefore);
    throw;
  }
}

void TCustomPop3Client::SendBytes(std::string_view bytes) {
  if (tls_) {
    tls_->WritePlain(bytes);
  } else {
    socket_->SendText(bytes);
  }
}

// Open over STARTTLS. Its first steps, Connect's, take the session from the
// greeting to TLS; nothing the server said in the clear (its capabilities) is
// kept past STLS.
const TCustomPop3Client::Operation TCustomPop3Client::kStartTlsOpenSteps[] = {
    &TCustomPop3Client::ConnectSession, &TCustomPop3Client::Capa, &TCustomPop3Client::StlsIfOffered,
    &TCustomPop3Client::Capa,           &TCustomPop3Client::User, &TCustomPop3Client::Pass};

void TCustomPop3Client::Connect() {
  if (security_ != secStartTls || sequence_.running) {
    ConnectSession();
    return;
  }
  if (connected_) throw Pop3Exception("POP3 component already connected");
  StartSequence(pop3Connect, std::span(kStartTlsOpenSteps).first(kStartTlsConnectSteps));
}

void TCustomPop3Client::ConnectSession() {
  CheckReady();
  if (connected_) throw Pop3Exception("POP3 component already connected");
  BeginRequest(pop3Connect, nullptr);
  lineBuffer_.Clear();
  tls_.reset();
  tlsHandshaking_ = false;
  untrustedCertificate_.reset();
  // The APOP timestamp belongs to one greeting: a server that sends none must
  // not be answered with the digest of another session's.
  timestamp_.clear();
  capabilities_.clear();
  // A new session starts without the cause of the last one's failure.
  errorMessage_.clear();
  SetState(pop3DnsLookup);
  socket_->OnDataSent = nullptr;
  socket_->OnDnsLookupDone = [this](TAsyncSocket&, uint16_t error) { HandleDnsLookupDone(error); };
  try {
    socket_->DnsLookup(host_);
  } catch (...) {
    // Nothing was started, so nothing will complete: the component must
    // take requests again rather than wait for a lookup that never runs.
    if (state_ == pop3DnsLookup) SetState(pop3Ready);
    throw;
  }
}

void TCustomPop3Client::Open() {
  static constexpr Operation kOpenSteps[] = {&TCustomPop3Client::ConnectSession,
                                             &TCustomPop3Client::User, &TCustomPop3Client::Pass};
  // Lower case unlike Connect's refusal: both texts are the system's own.
  if (connected_) throw Pop3Exception("pop3 component already connected");
  if (security_ == secStartTls) {
    StartSequence(pop3Open, kStartTlsOpenSteps);
  } else {
    StartSequence(pop3Open, kOpenSteps);
  }
}

void TCustomPop3Client::User() { SendCommand(pop3User, std::string(TrimText(userName_))); }

void TCustomPop3Client::Pass() { SendCommand(pop3Pass, std::string(TrimText(passWord_))); }

void TCustomPop3Client::RPop() { SendCommand(pop3RPop, std::string(TrimText(passWord_))); }

void TCustomPop3Client::APop() {
  // The state refusal comes before the timestamp's. The timestamp's text is
  // the system's own, its grammar kept as users know it.
  CheckAllowed(CommandFor(pop3APop));
  if (timestamp_.empty()) RefuseWithText("-ERR Server do not support APOP (no timestamp)");
  SendCommand(pop3APop, std::string(TrimText(userName_)) + " " + Md5Hex(timestamp_ + passWord_));
}

void TCustomPop3Client::Quit() {
  CheckReady();
  if (connected_) {
    SendCommand(pop3Quit);
    return;
  }
  BeginRequest(pop3Quit, &CommandFor(pop3Quit));
  CompleteRequest(0);
}

void TCustomPop3Client::Stat() { SendCommand(pop3Stat); }

void TCustomPop3Client::List() { SendForOneOrAll(pop3List); }

void TCustomPop3Client::Uidl() { SendForOneOrAll(pop3Uidl); }

// MsgNum > 0 asks for that message's entry, anything else for the listing.
void TCustomPop3Client::SendForOneOrAll(TPop3Request request) {
  if (msgNum_ > 0) {
    SendCommand(request, std::to_string(msgNum_));
  } else {
    SendCommand(request);
  }
}

void TCustomPop3Client::Retr() { SendCommand(pop3Retr, std::to_string(msgNum_)); }

void TCustomPop3Client::Top() {
  if (msgLines_ < 0) throw Pop3Exception("Invalid MsgLines for TOP command");
  SendCommand(pop3Top, std::to_string(msgNum_) + " " + std::to_string(msgLines_));
}

void TCustomPop3Client::Dele() { SendCommand(pop3Dele, std::to_string(msgNum_)); }

void TCustomPop3Client::Noop() { SendCommand(pop3Noop); }

void TCustomPop3Client::Last() { SendCommand(pop3Last); }

void TCustomPop3Client::RSet() { SendCommand(pop3RSet); }

void TCustomPop3Client::Capa() {
  SendCommand(pop3Capa);
  // Only this reply's lines count, also when it is -ERR; its lines are read
  // from the loop, after this returns.
  capabilities_.clear();
}

void TCustomPop3Client::Stls() {
  if (tls_) RefuseWithText("-ERR STLS command invalid now");
  SendCommand(pop3Stls);
}

// A step of the STARTTLS connect: the capabilities just asked for decide.
// Without STLS on offer the session cannot be protected, and the connect
// fails rather than go on in the clear.
void TCustomPop3Client::StlsIfOffered() {
  if (HasCapability("STLS")) {
    Stls();
    return;
  }
  BeginRequest(pop3Stls, &CommandFor(pop3Stls));
  errorMessage_ = "-ERR STARTTLS: the server does not offer STLS";
  Display(errorMessage_);
  FailWithResponse(errorMessage_, kNegativeReply);
  EndSession(&TAsyncSocket::Abort);
}

bool TCustomPop3Client::Encrypted() const { return connected_ && tls_ && !tlsHandshaking_; }

bool TCustomPop3Client::HasCapability(std::string_view name) const {
  for (const std::string& line : capabilities_) {
    if (EqualIgnoringAsciiCase(std::string_view(line).substr(0, line.find(' ')), name)) return true;
  }
  return false;
}

void TCustomPop3Client::Abort() {
  DropFollowing();
  SetState(pop3Abort);
  try {
    socket_->CancelDnsLookup();
    socket_->Abort();
  } catch (...) {
    SetState(pop3Ready);
    throw;
  }
  SetState(pop3Ready);
}

// ---- Socket notifications ----

void TCustomPop3Client::HandleDnsLookupDone(uint16_t error) {
  if (error != 0) {
    FailWithResponse(SocketErrorResponse(error), error);
    return;
  }
  try {
    socket_->SetAddr(socket_->DnsResult());
    socket_->SetProto("tcp");
    socket_->SetPort(port_);
    socket_->OnSessionConnected = [this](TAsyncSocket&, uint16_t connectError) {
      HandleSessionConnected(connectError);
    };
    socket_->OnDataAvailable = [this](TAsyncSocket&, uint16_t dataError) {
      HandleDataAvailable(dataError);
    };
    SetState(pop3Connecting);
    socket_->Connect();
  } catch (const std::exception& startError) {
    FailWithResponse(std::string("-ERR ") + ErrorClassName(startError) + ": " + startError.what(),
                     kNegativeReply);
  }
}

void TCustomPop3Client::HandleSessionConnected(uint16_t error) {
  if (error == 0) {
    connected_ = true;
    SetState(pop3WaitingBanner);
    // POP3S: the greeting comes once the handshake is done.
    if (security_ == secTls) BeginTls();
    return;
  }
  connected_ = false;
  FailWithResponse(SocketErrorResponse(error), error);
  EndSession(&TAsyncSocket::Close);
  SetState(pop3Ready);
}

void TCustomPop3Client::HandleSessionClosed(uint16_t error) {
  DropFollowing();
  connected_ = false;
  ++sessionGeneration_;
  capabilities_.clear();
  if (tlsHandshaking_ && request_.phase != Phase::reported) {
    errorMessage_ = "-ERR TLS handshake failed: the server closed the connection";
    Display(errorMessage_);
  }
  tlsHandshaking_ = false;
  if (OnSessionClosed) OnSessionClosed(*this, error);
  if (request_.phase == Phase::awaitingClose) {
    FinishRequest(0);
  } else {
    // The request the close cut short failed, so a sequence stops here
    // instead of sending its next step into a closed session. An abort is
    // told apart by the sequence itself.
    if (request_.phase != Phase::reported && request_.result == 0 && state_ != pop3Abort) {
      request_.result = kSessionClosed;
      if (errorMessage_.empty()) {
        errorMessage_ = error != 0 ? SocketErrorResponse(error) : kClosedByServerText;
      }
    }
    CompleteRequest(kSessionClosed);
  }
  protocolState_ = pop3Disconnected;
}

void TCustomPop3Client::EndSession(void (TAsyncSocket::*close)()) {
  ++sessionGeneration_;
  (socket_.get()->*close)();
}

// ---- Receiving ----

void TCustomPop3Client::HandleDataAvailable(uint16_t error) {
  // Left in the kernel until the owner has taken the last reply; the
  // readiness asks again, and ResumeReading picks up what is held.
  if (deliveryPending_) return;
  lastHeard_ = std::chrono::steady_clock::now();
  if (tls_) {
    HandleTlsData(error);
    return;
  }
  const std::span<char> space = lineBuffer_.FreeSpace();
  if (space.empty()) {
    // Only a read nested inside our own dispatch can find the buffer full
    // of lines not yet handed out; the stream is beyond any sane reply.
    FailOverlongLine();
    return;
  }
  const int32_t count = socket_->Receive(space.data(), static_cast<int32_t>(space.size()));
  if (count <= 0) return;
  lineBuffer_.Commit(static_cast<size_t>(count));
  if (!dispatching_) DispatchLines(error);
}

// ---- TLS ----

// Starts the handshake on the open session: at once for POP3S, after STLS's
// +OK for STARTTLS.
void TCustomPop3Client::BeginTls() {
  // The server sends nothing of its own before our ClientHello; bytes that
  // came after the +OK were put into the stream by someone else.
  lineBuffer_.Clear();
  capabilities_.clear();
  tlsHandshaking_ = true;
  const uint32_t generation = sessionGeneration_;
  try {
    tls_ = std::make_unique<TlsSession>(TlsTrust{std::string(TrimText(host_)), tlsFingerprint_},
                                        *socket_);
    if (tls_->Handshake() == TlsSession::Progress::kFailed) FailTls(tls_->FailureText());
  } catch (const std::exception& e) {
    if (sessionGeneration_ == generation) FailTls(e.what());
  }
}

// The socket's bytes go through the TLS session: first to finish the
// handshake, then as the decrypted stream into the line buffer. Everything a
// pull decrypts is handed out before returning, since the socket reports
// only bytes still in the kernel, not those held by the session.
void TCustomPop3Client::HandleTlsData(uint16_t error) {
  const uint32_t generation = sessionGeneration_;
  tls_->PullFrom(*socket_);
  if (tlsHandshaking_) {
    const TlsSession::Progress progress = tls_->Handshake();
    if (sessionGeneration_ != generation) return;
    if (progress == TlsSession::Progress::kFailed) {
      FailTls(tls_->FailureText());
      return;
    }
    if (progress == TlsSession::Progress::kHandshaking) return;
    if (!tls_->Trusted()) {
      untrustedCertificate_ = tls_->PeerCertificate();
      FailTls(tls_->FailureText());
      return;
    }
    tlsHandshaking_ = false;
    // STLS is done; a POP3S session goes on to its greeting.
    if (state_ == pop3WaitingResponse) CompleteRequest(0);
  }
  for (;;) {
    const std::span<char> space = lineBuffer_.FreeSpace();
    if (space.empty()) {
      FailOverlongLine();
      return;
    }
    const int32_t count = tls_->ReadPlain(space.data(), static_cast<int32_t>(space.size()));
    if (sessionGeneration_ != generation) return;
    if (count < 0) {
      FailTls(tls_->FailureText());
      return;
    }
    if (count == 0) return;
    lineBuffer_.Commit(static_cast<size_t>(count));
    // Nested inside our own dispatch, the outer one hands the lines out.
    if (dispatching_) return;
    DispatchLines(error);
    if (sessionGeneration_ != generation || deliveryPending_) return;
  }
}

// A TLS failure leaves no stream to go on with: the request fails with
// OpenSSL's reason and the session goes.
void TCustomPop3Client::FailTls(const std::string& reason) {
  DropFollowing();
  errorMessage_ = "-ERR " + reason;
  request_.result = kNegativeReply;
  Display(errorMessage_);
  CompleteRequest(kNegativeReply);
  EndSession(&TAsyncSocket::Abort);
}

// ---- Time-outs ----

bool TCustomPop3Client::AwaitsServer() const {
  return state_ == pop3DnsLookup || state_ == pop3Connecting || state_ == pop3WaitingBanner ||
         state_ == pop3WaitingResponse;
}

// One timer for the whole wait, whatever arrives: bytes only move the point
// the silence is measured from, and the timer, when it fires early, waits
// for the rest. A timer per received block would cost a timer object each.
void TCustomPop3Client::WatchForSilence(bool awaiting) {
  loop_.CancelTimer(silenceTimer_);
  silenceTimer_ = 0;
  if (!awaiting) return;
  lastHeard_ = std::chrono::steady_clock::now();
  silenceTimer_ = loop_.StartTimer(timeoutSeconds_ * 1000, [this] { CheckSilence(); });
}

void TCustomPop3Client::CheckSilence() {
  silenceTimer_ = 0;
  const auto limit = std::chrono::seconds(timeoutSeconds_);
  const auto silent = std::chrono::steady_clock::now() - lastHeard_;
  if (silent >= limit) {
    TimeOut();
    return;
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - silent);
  silenceTimer_ = loop_.StartTimer(static_cast<int>(left.count()), [this] { CheckSilence(); });
}

// The wait failed as a connect to a silent host does on its own. Reported
// first, so the close that follows finds the request done; without QUIT the
// server commits nothing of the session.
void TCustomPop3Client::TimeOut() {
  DropFollowing();
  lastResponse_ = SocketErrorResponse(kWsaETimedOut);
  errorMessage_ = lastResponse_;
  request_.result = kWsaETimedOut;
  Display(errorMessage_);
  if (request_.phase != Phase::reported) FinishRequest(kWsaETimedOut);
  // A lookup cancelled now would report itself as failing with 10004.
  socket_->OnDnsLookupDone = nullptr;
  socket_->CancelDnsLookup();
  EndSession(&TAsyncSocket::Abort);
}

// Hands out every complete line held, in order. Lines go by State:
//   pop3WaitingBanner    the greeting             HandleGreeting
//   pop3WaitingResponse  a status line            HandleStatusLine (QUIT's
//                                                 +OK received: still there)
//                        a multi-line reply's     HandleDataLine
//                        data line
//   any other            unsolicited              shown on OnDisplay only
// A handler that ends the session (negative greeting, Abort from an event)
// ends the dispatch too: what is left belonged to that session. A completed
// request with pipelined ones behind it pauses the dispatch until its
// OnRequestDone has returned (ResumeReading).
void TCustomPop3Client::DispatchLines(uint16_t error) {
  struct DispatchScope {
    bool& flag;
    explicit DispatchScope(bool& f) : flag(f) { flag = true; }
    ~DispatchScope() { flag = false; }
  } scope(dispatching_);
  const uint32_t generation = sessionGeneration_;
  while (!deliveryPending_) {
    const std::optional<std::string_view> line = lineBuffer_.NextLine();
    if (!line) break;
    lastResponse_.assign(*line);
    if (OnResponse) OnResponse(*this, lastResponse_);
    switch (state_) {
      case pop3WaitingBanner:
        HandleGreeting(error);
        break;
      case pop3WaitingResponse:
        if (request_.phase == Phase::readingLines) {
          HandleDataLine();
        } else {
          HandleStatusLine();
        }
        break;
      default:
        DisplayWithPrefix("< ", lastResponse_);
        break;
    }
    if (sessionGeneration_ != generation) return;
  }
  if (!deliveryPending_ && lineBuffer_.HoldsOverlongLine()) FailOverlongLine();
}

void TCustomPop3Client::HandleGreeting(uint16_t error) {
  DisplayWithPrefix("< ", lastResponse_);
  if (!IsPositive(lastResponse_)) {
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
    request_.result = kNegativeReply;
    // The close completes the request (10004) through HandleSessionClosed.
    EndSession(&TAsyncSocket::Close);
    return;
  }
  const size_t open = lastResponse_.find('<');
  if (open != std::string::npos) {
    const size_t close = lastResponse_.find('>', open);
    if (close != std::string::npos) timestamp_ = lastResponse_.substr(open, close - open + 1);
  }
  protocolState_ = pop3WaitingUser;
  SetState(pop3Connected);
  if (OnSessionConnected) OnSessionConnected(*this, error);
  CompleteRequest(0);
}

// ProtocolState moves only here (+OK: the state the command's row leaves), in
// HandleGreeting (+OK: pop3WaitingUser) and in HandleSessionClosed
// (pop3Disconnected). A negative line leaves it alone.
void TCustomPop3Client::HandleStatusLine() {
  DisplayWithPrefix("< ", lastResponse_);
  if (!IsPositive(lastResponse_)) {
    request_.result = kNegativeReply;
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
    CompleteRequest(kNegativeReply);
    return;
  }
  const Command& command = *request_.command;
  request_.result = 0;
  if (command.leaves) protocolState_ = *command.leaves;
  if (command.reply == Command::Reply::handshake) {
    BeginTls();
    return;
  }
  const bool multiLine =
      command.reply == Command::Reply::lines ||
      (command.reply == Command::Reply::linesUnlessNumbered && !request_.numbered);
  if (!multiLine) {
    ReadValues(lastResponse_);
    CompleteRequest(0);
    return;
  }
  request_.phase = Phase::readingLines;
  Fire(command.beginEvent);
}

void TCustomPop3Client::HandleDataLine() {
  if (!connected_) {
    // "Disconneced" is the system's own text, kept as users know it.
    errorMessage_ = "-ERR Disconneced unexpectedly";
    request_.result = kNegativeReply;
    Display(errorMessage_);
    CompleteRequest(kNegativeReply);
    return;
  }
  const Command& command = *request_.command;
  if (lastResponse_ == ".") {
    Fire(command.endEvent);
    lastResponse_.clear();
    CompleteRequest(0);
    return;
  }
  if (lastResponse_.size() >= 2 && lastResponse_[0] == '.' && lastResponse_[1] == '.') {
    lastResponse_.erase(0, 1);
  }
  ReadValues(lastResponse_);
  Fire(command.lineEvent);
}

// The values of a status line or of one data line, by the command's row.
void TCustomPop3Client::ReadValues(const std::string& line) {
  const Command& command = *request_.command;
  switch (command.values) {
    case Command::Values::none:
      break;
    case Command::Values::statNumbers: {
      const TwoNumbers numbers = ParseTwoNumbers(line);
      msgCount_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case Command::Values::listEntry:
    case Command::Values::lastNumbers: {
      const TwoNumbers numbers = command.values == Command::Values::lastNumbers
                                     ? ParseLastReply(line)
                                     : ParseTwoNumbers(line);
      msgNum_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case Command::Values::uidlEntry: {
      UidlEntry entry = ParseUidlLine(line);
      msgNum_ = entry.number;
      msgUidl_ = std::move(entry.id);
      break;
    }
    case Command::Values::capability: {
      const size_t nameEnd = std::min(line.find(' '), line.size());
      capabilities_.push_back(UpperAscii(std::string_view(line).substr(0, nameEnd)) +
                              line.substr(nameEnd));
      break;
    }
  }
}

// A reply line that outgrows the receive buffer's cap cannot be handed out
// whole, and the stream cannot be resynchronised after it: the request fails
// and the session goes.
void TCustomPop3Client::FailOverlongLine() {
  DropFollowing();
  errorMessage_ = "-ERR Line too long";
  request_.result = kNegativeReply;
  Display(errorMessage_);
  CompleteRequest(kNegativeReply);
  EndSession(&TAsyncSocket::Abort);
}

void TCustomPop3Client::FailWithResponse(std::string response, int error) {
  lastResponse_ = std::move(response);
  request_.result = error;
  if (errorMessage_.empty()) errorMessage_ = lastResponse_;
  CompleteRequest(error);
}

// ---- Completion ----

// Completion of the current request; only its first completion counts. The
// QUIT fold: QUIT's +OK is not the end of the request, the server's close
// that follows it is; so the +OK only moves it to awaiting the close, and
// HandleSessionClosed reports it, with 0.
void TCustomPop3Client::CompleteRequest(int error) {
  if (request_.phase == Phase::reported || request_.phase == Phase::awaitingClose) return;
  if (request_.type == pop3Quit && error == 0 && connected_) {
    request_.phase = Phase::awaitingClose;
    return;
  }
  FinishRequest(error);
}

void TCustomPop3Client::FinishRequest(int error) {
  request_.phase = Phase::reported;
  if (sequence_.running) {
    if (state_ != pop3Abort) SetState(pop3InternalReady);
    RunNextStep();
    return;
  }
  ReportDone(error);
}

// With pipelined requests behind it, the next one becomes the request being
// answered, and its reply waits for this one's OnRequestDone.
void TCustomPop3Client::ReportDone(int error) {
  const TPop3Request type = request_.type;
  if (following_.empty()) {
    SetState(pop3Ready);
  } else {
    request_ = following_.front();
    following_.pop_front();
    deliveryPending_ = true;
  }
  std::weak_ptr<TCustomPop3Client*> target = requestDoneTarget_;
  loop_.Post([target, type, error] {
    if (const std::shared_ptr<TCustomPop3Client*> client = target.lock()) {
      (*client)->DeliverRequestDone(type, error);
    }
  });
}

void TCustomPop3Client::DeliverRequestDone(TPop3Request type, int error) {
  if (OnRequestDone) OnRequestDone(*this, type, static_cast<uint16_t>(error));
  if (deliveryPending_) {
    deliveryPending_ = false;
    ResumeReading();
  }
}

// Hands out the lines held back while the owner took the last reply, then
// what the TLS session decrypted meanwhile; the socket's own readiness
// brings the rest.
void TCustomPop3Client::ResumeReading() {
  const uint32_t generation = sessionGeneration_;
  DispatchLines(0);
  if (sessionGeneration_ != generation || deliveryPending_) return;
  if (tls_ && connected_ && !tlsHandshaking_) HandleTlsData(0);
}

void TCustomPop3Client::DropFollowing() {
  following_.clear();
  deliveryPending_ = false;
}

// ---- Request sequences ----

void TCustomPop3Client::StartSequence(TPop3Request request,
                                      std::span<const Operation> operations) {
  CheckReady();
  request_.type = request;
  request_.result = 0;
  sequence_ = Sequence{true, operations, 0};
  lastResponse_.clear();
  errorMessage_.clear();
  RunNextStep();
}

// Runs after each step's completion (and once at the start): a failed or
// aborted step ends the sequence with its result.
void TCustomPop3Client::RunNextStep() {
  if (state_ == pop3Abort) {
    sequence_.left = {};
    sequence_.result = kSequenceAborted;
    errorMessage_ = "426 Operation aborted.";
  }
  if (request_.result != 0) {
    sequence_.result = request_.result;
    sequence_.left = {};
  }
  if (sequence_.left.empty()) {
    sequence_.running = false;
    ReportDone(sequence_.result);
    return;
  }
  const Operation step = sequence_.left.front();
  sequence_.left = sequence_.left.subspan(1);
  try {
    (this->*step)();
  } catch (...) {
    // A step that cannot start leaves no request running to finish the
    // sequence, so the sequence is dropped and the error passes on.
    DropSequence();
    throw;
  }
}

void TCustomPop3Client::DropSequence() {
  sequence_ = Sequence{};
  SetState(pop3Ready);
}

}  // namespace vexalo
