#include "pop3/Pop3Client.h"

#include <algorithm>
#include <utility>

#include "cipher/Base64.h"
#include "cipher/Md5.h"
#include "cipher/SecureWipe.h"
#include "pop3/SocketResolve.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr uint16_t kNegativeReply = 500;
constexpr uint16_t kSessionClosed = 10004;
constexpr char kClosedByServerText[] = "-ERR Connection closed by server";
constexpr std::string_view kPop3sPortNumber = "995";

constexpr char kPlainAnswerText[] =
    "-ERR TLS handshake failed: the server answered in plain text, without TLS";

// The first bytes of a TLS record: a content type from 20 to 23 (the switch
// to new keys, an alert, a handshake, application data) and the major
// version 3. No POP3 line starts so.
bool StartsLikeTlsRecord(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] >= 0x14 && bytes[0] <= 0x17 && bytes[1] == 0x03;
}

bool StartsLikePop3Reply(std::string_view bytes) {
  return bytes.starts_with("+OK") || bytes.starts_with("-ERR");
}

bool IsTlsPort(std::string_view port) {
  const std::string_view trimmed = TrimText(port);
  return trimmed == kPop3sPortNumber || EqualIgnoringAsciiCase(trimmed, "pop3s");
}

// What the trace shows in place of a bearer token.
constexpr char kHiddenSecret[] = "<secret>";

bool IsContinuation(std::string_view line) { return line == "+" || line.starts_with("+ "); }

// The server's words in an error challenge: base64 of JSON, untrusted.
std::string ChallengeWords(std::string_view encoded) {
  std::string words;
  try {
    words = Base64Decode(TrimText(encoded));
  } catch (const std::exception&) {
    words.assign(encoded);
  }
  for (char& c : words) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return words;
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

const char* ToString(TPop3Request request) {
  static constexpr const char* kNames[] = {"Connect", "User", "Pass", "APop", "Capa",
                                           "Stls",    "Stat", "List", "Uidl", "Retr",
                                           "Top",     "Dele", "Quit", "Auth"};
  return request < std::size(kNames) ? kNames[request] : "?";
}

// ---- The command table ----

struct TPop3Client::Command {
  enum class Reply : uint8_t {
    statusLine,           // the status line is the whole reply
    lines,                // a multi-line reply, ended by "."
    linesUnlessNumbered,  // a listing; with a message number, the entry on the status line
    handshake,            // the +OK is followed by the TLS handshake, which completes it
    sasl,                 // "+ " lines before the status line are the server's challenges
  };

  TPop3Request request;
  const char* verb;
  // Refused outside these protocol states: "-ERR <verb> command invalid now".
  TPop3ProtocolState allowedFrom;
  TPop3ProtocolState allowedTo;
  // ProtocolState after the +OK; none: unchanged.
  std::optional<TPop3ProtocolState> leaves;
  Reply reply = Reply::statusLine;
  bool carriesSecret = false;  // never sent in the clear when encryption was asked for
  bool pipelines = false;      // may go while replies are still due
};

const TPop3Client::Command& TPop3Client::CommandFor(TPop3Request request) {
  using Reply = Command::Reply;
  constexpr TPop3ProtocolState kAny = pop3Disconnected;
  constexpr TPop3ProtocolState kUser = pop3WaitingUser;
  constexpr TPop3ProtocolState kTrans = pop3Transaction;
  static constexpr Command kCommands[] = {
      // request verb   allowed from .. to   +OK leaves       reply     secret pipelines
      {pop3User, "USER", kAny, kUser, pop3WaitingPass, Reply::statusLine, true},
      {pop3Pass, "PASS", kAny, pop3WaitingPass, kTrans, Reply::statusLine, true},
      {pop3APop, "APOP", kUser, kUser, kTrans, Reply::statusLine, true},
      {pop3Auth, "AUTH", kUser, kUser, kTrans, Reply::sasl, true},
      {pop3Capa, "CAPA", kUser, kTrans, std::nullopt, Reply::lines},
      {pop3Stls, "STLS", kUser, kUser, std::nullopt, Reply::handshake},
      {pop3Stat, "STAT", kTrans, kTrans, kTrans, Reply::statusLine, false, true},
      {pop3List, "LIST", kTrans, kTrans, kTrans, Reply::linesUnlessNumbered, false, true},
      {pop3Uidl, "UIDL", kTrans, kTrans, kTrans, Reply::linesUnlessNumbered, false, true},
      {pop3Retr, "RETR", kTrans, kTrans, kTrans, Reply::lines, false, true},
      {pop3Top, "TOP", kTrans, kTrans, kTrans, Reply::lines, false, true},
      {pop3Dele, "DELE", kTrans, kTrans, kTrans, Reply::statusLine, false, true},
      {pop3Quit, "QUIT", kAny, kTrans, pop3Disconnected},
  };
  for (const Command& command : kCommands) {
    if (command.request == request) return command;
  }
  throw std::logic_error(std::string("no command for request ") + ToString(request));
}

TPop3Client::TPop3Client(EventLoop& loop)
    : loop_(loop),
      socket_(std::make_unique<TAsyncSocket>(loop)),
      self_(std::make_shared<TPop3Client*>(this)) {
  socket_->OnSessionClosed = [this](TAsyncSocket&, uint16_t error) { HandleSessionClosed(error); };
}

TPop3Client::~TPop3Client() {
  loop_.CancelTimer(silenceTimer_);
  socket_->OnDnsLookupDone = nullptr;
  socket_->OnSessionConnected = nullptr;
  socket_->OnDataAvailable = nullptr;
  socket_->OnSessionClosed = nullptr;
  socket_.reset();
  self_.reset();
}

// ---- Operations ----

void TPop3Client::Connect(Pop3Endpoint endpoint, Completion done) {
  if (!requests_.empty()) throw Pop3Exception("POP3 component not ready");
  if (connected_) throw Pop3Exception("POP3 component already connected");
  if (endpoint.security != secStartTls) {
    StartSession(std::move(endpoint), std::move(done));
    return;
  }
  StartSession(std::move(endpoint), [this, done = std::move(done)](Pop3Reply& greeting) {
    if (!greeting.Ok()) {
      done(greeting);
      return;
    }
    ProtectWithStartTls([done, greeting](Pop3Reply& last) mutable {
      if (!last.Ok()) {
        last.request = pop3Connect;
        done(last);
        return;
      }
      done(greeting);
    });
  });
}

void TPop3Client::User(std::string_view userName, Completion done) {
  Send(pop3User, std::string(TrimText(userName)), std::move(done));
}

void TPop3Client::Pass(std::string_view passWord, Completion done) {
  Send(pop3Pass, std::string(TrimText(passWord)), std::move(done));
}

void TPop3Client::APop(std::string_view userName, std::string_view passWord, Completion done) {
  // The state refusal comes before the timestamp's. The timestamp's text is
  // the system's own, its grammar kept as users know it.
  CheckAllowed(CommandFor(pop3APop));
  if (timestamp_.empty()) Refuse("-ERR Server do not support APOP (no timestamp)");
  Send(pop3APop, std::string(TrimText(userName)) + " " + Md5Hex(timestamp_ + std::string(passWord)),
       std::move(done));
}

void TPop3Client::XOAuth2(std::string_view userName, std::string_view accessToken,
                          Completion done) {
  const Command& command = CommandFor(pop3Auth);
  CheckAllowed(command);
  CheckMayStart(command);
  // Whoever reads a bearer token on the way may use it as the user: only
  // TLS protects it, or a connection that never leaves the machine.
  if (!Encrypted() && !ConnectedToLoopback()) {
    Refuse("-ERR AUTH refused: a bearer token goes only over TLS");
  }
  std::string clear = "user=" + std::string(TrimText(userName)) + "\x01" + "auth=Bearer " +
                      std::string(accessToken) + "\x01\x01";
  std::string response = Base64Encode(clear);
  SecureWipe(clear.data(), clear.size());
  constexpr std::string_view kMechanism = "XOAUTH2";
  const size_t wholeLine =
      std::string_view("AUTH ").size() + kMechanism.size() + 1 + response.size() + 2;
  if (wholeLine <= kMaxInitialResponseLine) {
    std::string argument = std::string(kMechanism) + " " + response;
    Send(pop3Auth, argument, std::move(done));
    SecureWipe(argument.data(), argument.size());
    SecureWipe(response.data(), response.size());
    return;
  }
  Send(pop3Auth, std::string(kMechanism), std::move(done));
  requests_.back().saslResponse = std::move(response);
}

bool TPop3Client::ConnectedToLoopback() const { return IsLoopbackAddress(socket_->DnsResult()); }

void TPop3Client::Capa(Completion done) {
  Send(pop3Capa, {}, [this, done = std::move(done)](Pop3Reply& reply) {
    for (const std::string& line : reply.lines) {
      const size_t nameEnd = std::min(line.find(' '), line.size());
      capabilities_.push_back(UpperAscii(std::string_view(line).substr(0, nameEnd)) +
                              line.substr(nameEnd));
    }
    done(reply);
  });
  // Only this reply's lines count, also when it is -ERR.
  capabilities_.clear();
}

void TPop3Client::Stat(Completion done) { Send(pop3Stat, {}, std::move(done)); }

void TPop3Client::List(Completion done, LineSink lines) {
  Send(pop3List, {}, std::move(done), 0, std::move(lines));
}

void TPop3Client::List(int32_t number, Completion done) {
  Send(pop3List, std::to_string(number), std::move(done), number);
}

void TPop3Client::Uidl(Completion done, LineSink lines) {
  Send(pop3Uidl, {}, std::move(done), 0, std::move(lines));
}

void TPop3Client::Uidl(int32_t number, Completion done) {
  Send(pop3Uidl, std::to_string(number), std::move(done), number);
}

void TPop3Client::Retr(int32_t number, LineSink lines, Completion done) {
  Send(pop3Retr, std::to_string(number), std::move(done), number, std::move(lines));
}

void TPop3Client::Top(int32_t number, int32_t bodyLines, LineSink lines, Completion done) {
  if (bodyLines < 0) throw Pop3Exception("Invalid MsgLines for TOP command");
  Send(pop3Top, std::to_string(number) + " " + std::to_string(bodyLines), std::move(done), number,
       std::move(lines));
}

void TPop3Client::Dele(int32_t number, Completion done) {
  Send(pop3Dele, std::to_string(number), std::move(done), number);
}

void TPop3Client::Quit(Completion done) {
  if (!requests_.empty()) throw Pop3Exception("POP3 component not ready");
  if (connected_) {
    Send(pop3Quit, {}, std::move(done));
    return;
  }
  Request request;
  request.done = std::move(done);
  request.reply.request = pop3Quit;
  CompleteLater(std::move(request));
}

void TPop3Client::Abort() {
  requests_.clear();
  WatchForSilence();
  socket_->CancelDnsLookup();
  socket_->Abort();
}

bool TPop3Client::Encrypted() const { return connected_ && tls_ && tls_->Trusted(); }

bool TPop3Client::HasCapability(std::string_view name) const {
  for (const std::string& line : capabilities_) {
    if (EqualIgnoringAsciiCase(std::string_view(line).substr(0, line.find(' ')), name)) return true;
  }
  return false;
}

// A command that may pipeline is never sent behind one that may not, so the
// oldest request out tells whether all of them may have company.
bool TPop3Client::ReadyForCommand() const {
  if (requests_.empty()) return true;
  const Command* oldest = requests_.front().command;
  return oldest != nullptr && oldest->pipelines && requests_.size() < kPipelineDepth &&
         HasCapability("PIPELINING");
}

// ---- Sending ----

void TPop3Client::Refuse(const std::string& text) {
  TraceText("", text);
  throw Pop3Exception(text);
}

void TPop3Client::CheckAllowed(const Command& command) {
  if (protocolState_ < command.allowedFrom || protocolState_ > command.allowedTo) {
    Refuse(std::string("-ERR ") + command.verb + " command invalid now");
  }
}

void TPop3Client::CheckMayStart(const Command& command) const {
  if (!requests_.empty() && !(command.pipelines && ReadyForCommand())) {
    throw Pop3Exception("POP3 component not ready");
  }
  if (!connected_) throw Pop3Exception("POP3 component not connected");
}

// Sends `request`'s verb, with the argument after a space when there is one
// (an empty one too: "PASS " for an empty password).
// Nothing is run meanwhile: the request is out, and its reply read from the
// socket's notifications, once this returns.
void TPop3Client::Send(TPop3Request request, std::optional<std::string> argument, Completion done,
                       int32_t number, LineSink sink) {
  const Command& command = CommandFor(request);
  CheckAllowed(command);
  CheckMayStart(command);
  if (endpoint_.security != secPlain && !Encrypted() && command.carriesSecret) {
    Refuse(std::string("-ERR ") + command.verb + " refused: the connection is not encrypted");
  }
  std::string line = command.verb;
  if (argument) line.append(" ").append(*argument);
  if (request == pop3Auth && line.find(' ', 5) != std::string::npos) {
    TraceText("> ", line.substr(0, line.find(' ', 5) + 1) + kHiddenSecret);
  } else {
    TraceText("> ", line);
  }
  line += "\r\n";
  SendBytes(line);
  SecureWipe(line.data(), line.size());

  Request& sent = requests_.emplace_back();
  sent.command = &command;
  sent.multiLine = command.reply == Command::Reply::lines ||
                   (command.reply == Command::Reply::linesUnlessNumbered && !argument);
  sent.sink = std::move(sink);
  sent.done = std::move(done);
  sent.reply.request = request;
  sent.reply.number = number;
  if (requests_.size() == 1) WatchForSilence();
}

void TPop3Client::SendBytes(std::string_view bytes) {
  if (holdingOutput_) {
    heldOutput_.append(bytes);
    return;
  }
  if (tls_) {
    tls_->WritePlain(bytes);
  } else {
    socket_->SendText(bytes);
  }
}

void TPop3Client::TraceText(std::string_view prefix, std::string_view text) {
  if (!OnTrace) return;
  std::string line(prefix);
  line += text;
  OnTrace(line);
}

// ---- Sessions ----

void TPop3Client::StartSession(Pop3Endpoint endpoint, Completion done) {
  endpoint.timeoutSeconds =
      std::clamp<int32_t>(endpoint.timeoutSeconds, 1, Pop3Endpoint::kMaxTimeoutSeconds);
  endpoint_ = std::move(endpoint);
  ++session_;
  lineBuffer_.Clear();
  tls_.reset();
  untrustedCertificate_.reset();
  // The APOP timestamp belongs to one greeting: a server that sends none must
  // not be answered with the digest of another session's.
  timestamp_.clear();
  capabilities_.clear();
  socket_->OnDataSent = nullptr;
  socket_->OnDnsLookupDone = [this](TAsyncSocket&, uint16_t error) { HandleDnsLookupDone(error); };
  Request& connect = requests_.emplace_back();
  connect.phase = Phase::connecting;
  connect.done = std::move(done);
  connect.reply.request = pop3Connect;
  WatchForSilence();
  // A dotted address is looked up inside the call, and its answer finds the
  // request out already. A lookup that cannot start raises, and the client
  // must take requests again.
  try {
    socket_->DnsLookup(endpoint_.host);
  } catch (...) {
    requests_.clear();
    WatchForSilence();
    throw;
  }
}

// CAPA, STLS when it is offered, the handshake, CAPA again: nothing the
// server said in the clear (its capabilities) is kept past STLS. Without STLS
// on offer the session cannot be protected, and the connect fails rather
// than go on in the clear.
void TPop3Client::ProtectWithStartTls(Completion done) {
  Capa([this, done = std::move(done)](Pop3Reply& capa) {
    if (!capa.Ok()) {
      done(capa);
      return;
    }
    if (!HasCapability("STLS")) {
      capa.error = kNegativeReply;
      capa.kind = FailureKind::kTls;
      capa.text = "-ERR STARTTLS: the server does not offer STLS";
      TraceText("", capa.text);
      socket_->Abort();
      done(capa);
      return;
    }
    Send(pop3Stls, {}, [this, done](Pop3Reply& stls) {
      if (!stls.Ok()) {
        done(stls);
        return;
      }
      Capa(done);
    });
  });
}

void TPop3Client::HandleDnsLookupDone(uint16_t error) {
  if (error != 0) {
    FailSession(error, SocketFailureKind(error), SocketErrorResponse(error));
    return;
  }
  try {
    socket_->SetAddr(socket_->DnsResult());
    socket_->SetProto("tcp");
    socket_->SetPort(endpoint_.port);
    socket_->OnSessionConnected = [this](TAsyncSocket&, uint16_t connectError) {
      HandleSessionConnected(connectError);
    };
    socket_->OnDataAvailable = [this](TAsyncSocket&, uint16_t) { HandleDataAvailable(); };
    socket_->Connect();
  } catch (const std::exception& startError) {
    const auto* socketError = dynamic_cast<const ESocketException*>(&startError);
    FailSession(kNegativeReply, socketError != nullptr ? socketError->Kind() : FailureKind::kOther,
                std::string("-ERR ") + ErrorClassName(startError) + ": " + startError.what());
  }
}

void TPop3Client::HandleSessionConnected(uint16_t error) {
  if (error != 0) {
    EndSessionWith(error, SocketFailureKind(error), SocketErrorResponse(error),
                   &TAsyncSocket::Close);
    return;
  }
  connected_ = true;
  if (requests_.empty()) return;
  requests_.front().phase = Phase::greeting;
  // POP3S: the greeting comes once the handshake is done.
  if (endpoint_.security == secTls) BeginTls();
  // The wait for the greeting may be shorter than the one for the connect.
  if (AwaitsGreetingOnTlsPort()) {
    loop_.CancelTimer(silenceTimer_);
    silenceTimer_ = 0;
    WatchForSilence();
  }
}

void TPop3Client::HandleSessionClosed(uint16_t error) {
  connected_ = false;
  protocolState_ = pop3Disconnected;
  capabilities_.clear();
  if (requests_.empty()) return;
  if (requests_.front().phase == Phase::awaitingClose) {
    Request quit = std::move(requests_.front());
    requests_.clear();
    WatchForSilence();
    CompleteLater(std::move(quit));
    return;
  }
  if (HandshakeMetPlainText()) {
    FailSession(kPop3ServerSpeaksPlain, FailureKind::kServerSpeaksPlain, kPlainAnswerText);
    return;
  }
  std::string text = error != 0 ? SocketErrorResponse(error) : kClosedByServerText;
  FailureKind kind = error != 0 ? SocketFailureKind(error) : FailureKind::kClosed;
  if (tls_ && !tls_->Established()) {
    text = "-ERR TLS handshake failed: the server closed the connection";
    kind = FailureKind::kTls;
  }
  FailSession(kSessionClosed, kind, std::move(text));
}

// ---- Receiving ----

void TPop3Client::HandleDataAvailable() {
  lastHeard_ = std::chrono::steady_clock::now();
  if (tls_) {
    HandleTlsData();
    return;
  }
  const std::span<char> space = lineBuffer_.FreeSpace();
  if (space.empty()) {
    EndSessionWith(kNegativeReply, FailureKind::kProtocol, "-ERR Line too long",
                   &TAsyncSocket::Abort);
    return;
  }
  const int32_t count = socket_->Receive(space.data(), static_cast<int32_t>(space.size()));
  if (count <= 0) return;
  lineBuffer_.Commit(static_cast<size_t>(count));
  if (!requests_.empty() && requests_.front().phase == Phase::greeting &&
      StartsLikeTlsRecord(lineBuffer_.Held())) {
    EndSessionWith(kPop3ServerExpectsTls, FailureKind::kServerExpectsTls,
                   "-ERR The server answered with TLS on a connection without encryption",
                   &TAsyncSocket::Abort);
    return;
  }
  ReadLines();
}

// Hands out every complete line held, in order, to the oldest request out;
// a line while nothing is out is only traced. An owner that ends the session
// or starts another from a completion ends the loop: what is left belonged
// to the session that went.
//
// What the completions send meanwhile goes out in one write once the lines
// are handed out: a pipelined walk sends a command for every reply, and one
// write for all of them spares both sides a system call and the server a
// wake-up for each. What a session that ended meanwhile held is dropped.
void TPop3Client::ReadLines() {
  const uint64_t session = session_;
  const auto ended = [&] { return session_ != session || !connected_; };
  holdingOutput_ = true;
  try {
    while (const std::optional<std::string_view> line = lineBuffer_.NextLine()) {
      TraceText("< ", *line);
      if (!requests_.empty()) TakeLine(requests_.front(), *line);
      if (ended()) break;
    }
    if (!ended() && lineBuffer_.HoldsOverlongLine()) {
      DropHeldOutput();
      EndSessionWith(kNegativeReply, FailureKind::kProtocol, "-ERR Line too long",
                     &TAsyncSocket::Abort);
      return;
    }
    if (!ended() && OnReadHandled) OnReadHandled();
    holdingOutput_ = false;
    if (!ended() && !heldOutput_.empty()) SendBytes(heldOutput_);
  } catch (const ESocketException& error) {
    // Raised by the send no completion is on the stack for any more: the
    // request waiting for its reply learns of it.
    DropHeldOutput();
    EndSessionWith(kNegativeReply, error.Kind(), error.what(), &TAsyncSocket::Abort);
    return;
  } catch (...) {
    DropHeldOutput();
    throw;
  }
  DropHeldOutput();
}

void TPop3Client::DropHeldOutput() {
  holdingOutput_ = false;
  SecureWipe(heldOutput_.data(), heldOutput_.size());
  heldOutput_.clear();
}

void TPop3Client::TakeLine(Request& request, std::string_view line) {
  switch (request.phase) {
    case Phase::greeting:
      TakeGreeting(request, line);
      break;
    case Phase::status:
      TakeStatusLine(request, line);
      break;
    case Phase::lines:
      TakeDataLine(request, line);
      break;
    case Phase::connecting:
    case Phase::tlsHandshake:
    case Phase::awaitingClose:
      break;  // nothing is due from the server here but its close or TLS
  }
}

void TPop3Client::TakeGreeting(Request& request, std::string_view line) {
  request.reply.text.assign(line);
  if (!IsPositive(line)) {
    // The session ends with the greeting's own text as the reason.
    EndSessionWith(kSessionClosed, FailureKind::kServerReply, std::string(line),
                   &TAsyncSocket::Close);
    return;
  }
  const size_t open = line.find('<');
  if (open != std::string_view::npos) {
    const size_t close = line.find('>', open);
    if (close != std::string_view::npos) timestamp_ = line.substr(open, close - open + 1);
  }
  protocolState_ = pop3WaitingUser;
  Complete();
}

// ProtocolState moves only here (+OK: the state the command's row leaves), in
// TakeGreeting (+OK: pop3WaitingUser) and in HandleSessionClosed
// (pop3Disconnected). A negative line leaves it alone.
void TPop3Client::TakeStatusLine(Request& request, std::string_view line) {
  if (request.command->reply == Command::Reply::sasl && IsContinuation(line)) {
    AnswerChallenge(request, line);
    return;
  }
  request.reply.text.assign(line);
  if (!IsPositive(line)) {
    if (!request.challengeText.empty()) request.reply.text += " (" + request.challengeText + ")";
    Complete(kNegativeReply, FailureKind::kServerReply);
    return;
  }
  const Command& command = *request.command;
  if (command.leaves) protocolState_ = *command.leaves;
  if (command.reply == Command::Reply::handshake) {
    request.phase = Phase::tlsHandshake;
    BeginTls();
    return;
  }
  if (command.request == pop3Quit) {
    request.phase = Phase::awaitingClose;
    return;
  }
  if (request.multiLine) {
    request.phase = Phase::lines;
    return;
  }
  Complete();
}

// A "+" asks for the response held back from the AUTH line; any other is
// an error challenge, answered with an empty line so that the server ends
// the exchange with its -ERR. Twice is once too often: the exchange would
// never end.
void TPop3Client::AnswerChallenge(Request& request, std::string_view line) {
  if (!request.saslResponse.empty()) {
    TraceText("> ", kHiddenSecret);
    std::string response = std::move(request.saslResponse);
    request.saslResponse.clear();
    response += "\r\n";
    SendBytes(response);
    SecureWipe(response.data(), response.size());
    return;
  }
  if (request.challenged) {
    EndSessionWith(kNegativeReply, FailureKind::kProtocol, "-ERR AUTH: the server challenged again",
                   &TAsyncSocket::Abort);
    return;
  }
  request.challenged = true;
  request.challengeText = ChallengeWords(line.substr(1));
  TraceText("> ", "");
  SendBytes("\r\n");
}

void TPop3Client::TakeDataLine(Request& request, std::string_view line) {
  if (line == ".") {
    Complete();
    return;
  }
  if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.remove_prefix(1);
  if (request.sink) {
    request.sink(line);
  } else {
    request.reply.lines.emplace_back(line);
  }
}

// ---- TLS ----

// Starts the handshake on the open session: at once for POP3S, after STLS's
// +OK for STARTTLS.
void TPop3Client::BeginTls() {
  // The server sends nothing of its own before our ClientHello; bytes that
  // came after the +OK were put into the stream by someone else.
  lineBuffer_.Clear();
  capabilities_.clear();
  const uint64_t session = session_;
  try {
    tls_ = std::make_unique<TlsSession>(
        TlsTrust{std::string(TrimText(endpoint_.host)), endpoint_.tlsFingerprint}, *socket_);
    if (tls_->Handshake() == TlsSession::Progress::kFailed) {
      EndSessionWith(kNegativeReply, FailureKind::kTls, "-ERR " + tls_->FailureText(),
                     &TAsyncSocket::Abort);
    }
  } catch (const std::exception& e) {
    if (session_ == session && connected_) {
      EndSessionWith(kNegativeReply, FailureKind::kTls, std::string("-ERR ") + e.what(),
                     &TAsyncSocket::Abort);
    }
  }
}

// The socket's bytes go through the TLS session: first to finish the
// handshake, then as the decrypted stream into the line buffer. Everything a
// pull decrypts is handed out before returning, since the socket reports
// only bytes still in the kernel, not those held by the session.
void TPop3Client::HandleTlsData() {
  const uint64_t session = session_;
  tls_->PullFrom(*socket_);
  if (!tls_->Established()) {
    const TlsSession::Progress progress = tls_->Handshake();
    if (session_ != session || !connected_) return;
    if (progress == TlsSession::Progress::kFailed) {
      if (HandshakeMetPlainText()) {
        EndSessionWith(kPop3ServerSpeaksPlain, FailureKind::kServerSpeaksPlain, kPlainAnswerText,
                       &TAsyncSocket::Abort);
      } else {
        EndSessionWith(kNegativeReply, FailureKind::kTls, "-ERR " + tls_->FailureText(),
                       &TAsyncSocket::Abort);
      }
      return;
    }
    if (progress == TlsSession::Progress::kHandshaking) return;
    if (!tls_->Trusted()) {
      untrustedCertificate_ = tls_->PeerCertificate();
      EndSessionWith(kNegativeReply, FailureKind::kTlsTrust, "-ERR " + tls_->FailureText(),
                     &TAsyncSocket::Abort);
      return;
    }
    // STLS is done; a POP3S session goes on to its greeting.
    if (!requests_.empty() && requests_.front().phase == Phase::tlsHandshake) Complete();
    if (session_ != session || !connected_) return;
  }
  for (;;) {
    const std::span<char> space = lineBuffer_.FreeSpace();
    if (space.empty()) {
      EndSessionWith(kNegativeReply, FailureKind::kProtocol, "-ERR Line too long",
                     &TAsyncSocket::Abort);
      return;
    }
    const int32_t count = tls_->ReadPlain(space.data(), static_cast<int32_t>(space.size()));
    if (session_ != session || !connected_) return;
    if (count < 0) {
      EndSessionWith(kNegativeReply, FailureKind::kTls, "-ERR " + tls_->FailureText(),
                     &TAsyncSocket::Abort);
      return;
    }
    if (count == 0) return;
    lineBuffer_.Commit(static_cast<size_t>(count));
    ReadLines();
    if (session_ != session || !connected_) return;
  }
}

// Only the handshake of a POP3S connect counts: after STLS's +OK the server
// has shown that it knows TLS.
bool TPop3Client::HandshakeMetPlainText() const {
  return tls_ && !tls_->Established() && endpoint_.security == secTls &&
         StartsLikePop3Reply(tls_->FirstBytesReceived());
}

bool TPop3Client::AwaitsGreetingOnTlsPort() const {
  return endpoint_.security == secPlain && !requests_.empty() &&
         requests_.front().phase == Phase::greeting && IsTlsPort(endpoint_.port);
}

// ---- Completion ----

// The oldest request out is answered: it leaves the queue before its
// completion runs, so whatever the owner sends from there goes behind the
// others.
void TPop3Client::Complete(uint16_t error, FailureKind kind) {
  Request request = std::move(requests_.front());
  requests_.pop_front();
  if (requests_.empty()) WatchForSilence();
  request.reply.error = error;
  request.reply.kind = kind;
  if (request.done) request.done(request.reply);
}

// The session cannot go on: the request being answered fails with `text`,
// those behind it are dropped, and
// the completion comes from the loop, since a failure may be found inside an
// operation (a send that meets a reset connection).
void TPop3Client::FailSession(uint16_t error, FailureKind kind, std::string text) {
  if (requests_.empty()) return;
  Request request = std::move(requests_.front());
  requests_.clear();
  WatchForSilence();
  request.reply.text = std::move(text);
  request.reply.error = error;
  request.reply.kind = kind;
  TraceText("", request.reply.text);
  CompleteLater(std::move(request));
}

// A failure found by the client itself: reported first, so the close that
// follows finds nothing out; without QUIT the server commits nothing of the
// session.
void TPop3Client::EndSessionWith(uint16_t error, FailureKind kind, std::string text,
                                 void (TAsyncSocket::*close)()) {
  FailSession(error, kind, std::move(text));
  (socket_.get()->*close)();
}

void TPop3Client::CompleteLater(Request request) {
  if (!request.done) return;
  loop_.Post([self = std::weak_ptr<TPop3Client*>(self_), done = std::move(request.done),
              reply = std::move(request.reply)]() mutable {
    if (self.lock()) done(reply);
  });
}

// ---- Time-outs ----

// One timer for the whole wait, whatever arrives: bytes only move the point
// the silence is measured from, and the timer, when it fires early, waits
// for the rest. A timer per received block would cost a timer object each.
void TPop3Client::WatchForSilence() {
  const bool waiting = !requests_.empty();
  if (waiting && silenceTimer_ != 0) return;
  loop_.CancelTimer(silenceTimer_);
  silenceTimer_ = 0;
  if (!waiting) return;
  lastHeard_ = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(SilenceLimit());
  silenceTimer_ = loop_.StartTimer(static_cast<int>(limit.count()), [this] { CheckSilence(); });
}

std::chrono::seconds TPop3Client::SilenceLimit() const {
  const int32_t seconds = endpoint_.timeoutSeconds;
  return std::chrono::seconds(AwaitsGreetingOnTlsPort() ? std::min(seconds, kTlsPortGreetingSeconds)
                                                        : seconds);
}

// The wait failed as a connect to a silent host does on its own.
void TPop3Client::CheckSilence() {
  silenceTimer_ = 0;
  const auto limit = SilenceLimit();
  const auto silent = std::chrono::steady_clock::now() - lastHeard_;
  if (silent < limit) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - silent);
    silenceTimer_ = loop_.StartTimer(static_cast<int>(left.count()), [this] { CheckSilence(); });
    return;
  }
  // A lookup cancelled now would report itself as failing with 10004.
  socket_->OnDnsLookupDone = nullptr;
  socket_->CancelDnsLookup();
  if (AwaitsGreetingOnTlsPort()) {
    EndSessionWith(kPop3ServerExpectsTls, FailureKind::kServerExpectsTls,
                   "-ERR No greeting on the SSL/TLS port without encryption (" +
                       std::to_string(limit.count()) + " s)",
                   &TAsyncSocket::Abort);
    return;
  }
  EndSessionWith(kWsaETimedOut, FailureKind::kTimedOut, SocketErrorResponse(kWsaETimedOut),
                 &TAsyncSocket::Abort);
}

}  // namespace vexalo
