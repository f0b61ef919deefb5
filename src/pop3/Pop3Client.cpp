#include "pop3/Pop3Client.h"

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
                                           "RSet",    "Uidl", "APop", "Open"};
  return request < std::size(kNames) ? kNames[request] : "?";
}

TCustomPop3Client::TCustomPop3Client(EventLoop& loop)
    : loop_(loop),
      socket_(std::make_unique<TAsyncSocket>(loop)),
      requestDoneTarget_(std::make_shared<TCustomPop3Client*>(this)) {
  socket_->OnSessionClosed = [this](TAsyncSocket&, uint16_t error) { HandleSessionClosed(error); };
}

TCustomPop3Client::~TCustomPop3Client() {
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
// finds its request reported already changes nothing.
void TCustomPop3Client::CheckReady() const {
  if (state_ != pop3Ready && state_ != pop3InternalReady) {
    throw Pop3Exception("POP3 component not ready");
  }
}

void TCustomPop3Client::CheckConnected() const {
  if (!connected_) throw Pop3Exception("POP3 component not connected");
}

void TCustomPop3Client::CheckTransaction(const char* command) {
  if (protocolState_ != pop3Transaction) {
    RefuseWithText(std::string("-ERR ") + command + " command invalid now");
  }
}

void TCustomPop3Client::RefuseWithText(std::string text) {
  errorMessage_ = std::move(text);
  Display(errorMessage_);
  throw Pop3Exception(errorMessage_);
}

void TCustomPop3Client::SetState(TPop3State state) {
  if (state_ == state) return;
  state_ = state;
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

// ---- Operations ----

// Sending a command: the reply's status line goes to HandleStatusLine, which
// moves ProtocolState to `nextState` on +OK and then does `afterStatus`.
void TCustomPop3Client::SendCommand(TPop3Request request, Step step, const std::string& line,
                                    TPop3ProtocolState nextState, AfterStatus afterStatus) {
  CheckReady();
  CheckConnected();
  currentStep_ = step;
  if (!sequenceRunning_) requestType_ = request;
  requestDoneReported_ = false;
  quitFoldArmed_ = false;
  pendingLine_ = LineHandler::statusLine;
  nextProtocolState_ = nextState;
  afterStatus_ = afterStatus;
  const TPop3State stateBefore = state_;
  SetState(pop3WaitingResponse);
  DisplayWithPrefix("> ", line);
  // The application gets a moment for what is already pending, as it would
  // between two clicks. Not while our own received lines are being handed
  // out: the loop would feed us the socket's next bytes in the middle.
  if (!dispatching_) loop_.ProcessPending();
  // The session may have ended meanwhile, and its close completed this
  // request already; there is nobody left to send the command to.
  if (requestDoneReported_) return;
  try {
    socket_->SendText(line + "\r\n");
  } catch (...) {
    SetState(stateBefore);
    throw;
  }
}

void TCustomPop3Client::SendTransactionCommand(const char* command, TPop3Request request, Step step,
                                               const std::string& line, AfterStatus afterStatus) {
  CheckTransaction(command);
  SendCommand(request, step, line, pop3Transaction, afterStatus);
}

void TCustomPop3Client::Connect() {
  CheckReady();
  if (connected_) throw Pop3Exception("POP3 component already connected");
  currentStep_ = stepConnect;
  if (!sequenceRunning_) requestType_ = pop3Connect;
  requestDoneReported_ = false;
  quitFoldArmed_ = false;
  lineBuffer_.Clear();
  // The APOP timestamp belongs to one greeting: a server that sends none must
  // not be answered with the digest of another session's.
  timestamp_.clear();
  requestResult_ = 0;
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
  StartSequence(pop3Open, StepBit(stepConnect) | StepBit(stepUser) | StepBit(stepPass));
}

void TCustomPop3Client::User() {
  if (protocolState_ > pop3WaitingUser) RefuseWithText("-ERR USER command invalid now");
  SendCommand(pop3User, stepUser, "USER " + std::string(TrimText(userName_)), pop3WaitingPass,
              AfterStatus::nothing);
}

void TCustomPop3Client::Pass() {
  if (protocolState_ > pop3WaitingPass) RefuseWithText("-ERR PASS command invalid now");
  SendCommand(pop3Pass, stepPass, "PASS " + std::string(TrimText(passWord_)), pop3Transaction,
              AfterStatus::nothing);
}

void TCustomPop3Client::RPop() {
  if (protocolState_ > pop3WaitingPass) RefuseWithText("-ERR RPOP command invalid now");
  SendCommand(pop3RPop, stepRPop, "RPOP " + std::string(TrimText(passWord_)), pop3Transaction,
              AfterStatus::nothing);
}

void TCustomPop3Client::APop() {
  if (protocolState_ != pop3WaitingUser) RefuseWithText("-ERR APOP command invalid now");
  if (timestamp_.empty()) RefuseWithText("-ERR Server do not support APOP (no timestamp)");
  SendCommand(pop3APop, stepAPop,
              "APOP " + std::string(TrimText(userName_)) + " " + Md5Hex(timestamp_ + passWord_),
              pop3Transaction, AfterStatus::nothing);
}

void TCustomPop3Client::Quit() {
  CheckReady();
  if (connected_) {
    SendCommand(pop3Quit, stepQuit, "QUIT", pop3Disconnected, AfterStatus::nothing);
    return;
  }
  currentStep_ = stepQuit;
  if (!sequenceRunning_) requestType_ = pop3Quit;
  requestDoneReported_ = false;
  CompleteRequest(0);
}

void TCustomPop3Client::Stat() {
  SendTransactionCommand("STAT", pop3Stat, stepStat, "STAT", AfterStatus::statNumbers);
}

void TCustomPop3Client::List() {
  const bool one = msgNum_ > 0;
  SendTransactionCommand("LIST", pop3List, stepList,
                         one ? "LIST " + std::to_string(msgNum_) : "LIST",
                         one ? AfterStatus::listNumbers : AfterStatus::listListing);
}

void TCustomPop3Client::Uidl() {
  const bool one = msgNum_ > 0;
  SendTransactionCommand("UIDL", pop3Uidl, stepUidl,
                         one ? "UIDL " + std::to_string(msgNum_) : "UIDL",
                         one ? AfterStatus::uidlEntry : AfterStatus::uidlListing);
}

void TCustomPop3Client::Retr() {
  SendTransactionCommand("RETR", pop3Retr, stepRetr, "RETR " + std::to_string(msgNum_),
                         AfterStatus::message);
}

void TCustomPop3Client::Top() {
  if (msgLines_ < 0) throw Pop3Exception("Invalid MsgLines for TOP command");
  SendTransactionCommand("TOP", pop3Top, stepTop,
                         "TOP " + std::to_string(msgNum_) + " " + std::to_string(msgLines_),
                         AfterStatus::message);
}

void TCustomPop3Client::Dele() {
  SendTransactionCommand("DELE", pop3Dele, stepDele, "DELE " + std::to_string(msgNum_),
                         AfterStatus::nothing);
}

void TCustomPop3Client::Noop() {
  SendTransactionCommand("NOOP", pop3Noop, stepNoop, "NOOP", AfterStatus::nothing);
}

void TCustomPop3Client::Last() {
  SendTransactionCommand("LAST", pop3Last, stepLast, "LAST", AfterStatus::lastNumbers);
}

void TCustomPop3Client::RSet() {
  SendTransactionCommand("RSET", pop3RSet, stepRSet, "RSET", AfterStatus::nothing);
}

void TCustomPop3Client::Abort() {
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
    return;
  }
  connected_ = false;
  FailWithResponse(SocketErrorResponse(error), error);
  EndSession(&TAsyncSocket::Close);
  SetState(pop3Ready);
}

void TCustomPop3Client::HandleSessionClosed(uint16_t error) {
  connected_ = false;
  ++sessionGeneration_;
  if (OnSessionClosed) OnSessionClosed(*this, error);
  if (quitFoldArmed_) {
    quitFoldArmed_ = false;
    FinishRequest(0);
  } else {
    // The request the close cut short failed, so a sequence stops here
    // instead of sending its next step into a closed session. An abort is
    // told apart by the sequence itself.
    if (!requestDoneReported_ && requestResult_ == 0 && state_ != pop3Abort) {
      requestResult_ = kSessionClosed;
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

// Hands out every complete line held, in order. Lines go by State:
//   pop3WaitingBanner    the greeting             HandleGreeting
//   pop3WaitingResponse  a status or data line    the pending-line handler
//   any other            unsolicited              shown on OnDisplay only
// A handler that ends the session (negative greeting, Abort from an event)
// ends the dispatch too: what is left belonged to that session.
void TCustomPop3Client::DispatchLines(uint16_t error) {
  struct DispatchScope {
    bool& flag;
    explicit DispatchScope(bool& f) : flag(f) { flag = true; }
    ~DispatchScope() { flag = false; }
  } scope(dispatching_);
  const uint32_t generation = sessionGeneration_;
  while (const std::optional<std::string_view> line = lineBuffer_.NextLine()) {
    lastResponse_.assign(*line);
    if (OnResponse) OnResponse(*this, lastResponse_);
    switch (state_) {
      case pop3WaitingBanner:
        HandleGreeting(error);
        break;
      case pop3WaitingResponse:
        switch (pendingLine_) {
          case LineHandler::statusLine:
            HandleStatusLine();
            break;
          case LineHandler::dataLine:
            HandleDataLine();
            break;
          case LineHandler::none:
            throw Pop3Exception("Program error: FNext is nil");
        }
        break;
      default:
        DisplayWithPrefix("< ", lastResponse_);
        break;
    }
    if (sessionGeneration_ != generation) return;
  }
  if (lineBuffer_.HoldsOverlongLine()) FailOverlongLine();
}

bool TCustomPop3Client::EvaluateStatus() {
  statusCode_ = !lastResponse_.empty() && lastResponse_.front() == '+' ? 0 : kNegativeReply;
  return statusCode_ == 0;
}

void TCustomPop3Client::HandleGreeting(uint16_t error) {
  DisplayWithPrefix("< ", lastResponse_);
  if (!EvaluateStatus()) {
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
    requestResult_ = statusCode_;
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

// ProtocolState moves only here (+OK: the command's next state; USER gives
// pop3WaitingPass, PASS/RPOP/APOP and the transaction commands
// pop3Transaction, QUIT pop3Disconnected), in HandleGreeting (+OK:
// pop3WaitingUser) and in HandleSessionClosed (pop3Disconnected). A negative
// line leaves it alone.
void TCustomPop3Client::HandleStatusLine() {
  DisplayWithPrefix("< ", lastResponse_);
  if (!EvaluateStatus()) {
    requestResult_ = statusCode_;
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
    CompleteRequest(statusCode_);
    return;
  }
  requestResult_ = 0;
  protocolState_ = nextProtocolState_;
  HandleAfterStatus();
}

void TCustomPop3Client::HandleAfterStatus() {
  switch (afterStatus_) {
    case AfterStatus::nothing:
      break;
    case AfterStatus::statNumbers: {
      const TwoNumbers numbers = ParseTwoNumbers(lastResponse_);
      msgCount_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case AfterStatus::listNumbers: {
      const TwoNumbers numbers = ParseTwoNumbers(lastResponse_);
      msgNum_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case AfterStatus::uidlEntry: {
      UidlEntry entry = ParseUidlLine(lastResponse_);
      msgNum_ = entry.number;
      msgUidl_ = std::move(entry.id);
      break;
    }
    case AfterStatus::lastNumbers: {
      const TwoNumbers numbers = ParseLastReply(lastResponse_);
      msgNum_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case AfterStatus::listListing:
      BeginMultiLine(LineParser::listing, &TCustomPop3Client::OnListLine,
                     &TCustomPop3Client::OnListEnd, OnListBegin);
      return;
    case AfterStatus::uidlListing:
      BeginMultiLine(LineParser::uidl, &TCustomPop3Client::OnUidlLine,
                     &TCustomPop3Client::OnUidlEnd, OnUidlBegin);
      return;
    case AfterStatus::message:
      BeginMultiLine(LineParser::none, &TCustomPop3Client::OnMessageLine,
                     &TCustomPop3Client::OnMessageEnd, OnMessageBegin);
      return;
  }
  CompleteRequest(requestResult_);
}

void TCustomPop3Client::BeginMultiLine(LineParser parser, EventMember lineEvent,
                                       EventMember endEvent, const TNotifyEvent& beginEvent) {
  lineParser_ = parser;
  lineEvent_ = lineEvent;
  endEvent_ = endEvent;
  Fire(beginEvent);
  pendingLine_ = LineHandler::dataLine;
}

void TCustomPop3Client::HandleDataLine() {
  if (!connected_) {
    errorMessage_ = "-ERR Disconneced unexpectedly";
    requestResult_ = kNegativeReply;
    Display(errorMessage_);
    CompleteRequest(kNegativeReply);
    return;
  }
  if (lastResponse_ == ".") {
    Fire(this->*endEvent_);
    lastResponse_.clear();
    pendingLine_ = LineHandler::none;
    CompleteRequest(0);
    return;
  }
  if (lastResponse_.size() >= 2 && lastResponse_[0] == '.' && lastResponse_[1] == '.') {
    lastResponse_.erase(0, 1);
  }
  switch (lineParser_) {
    case LineParser::none:
      break;
    case LineParser::listing: {
      const TwoNumbers numbers = ParseTwoNumbers(lastResponse_);
      msgNum_ = numbers.first;
      msgSize_ = numbers.second;
      break;
    }
    case LineParser::uidl: {
      UidlEntry entry = ParseUidlLine(lastResponse_);
      msgNum_ = entry.number;
      msgUidl_ = std::move(entry.id);
      break;
    }
  }
  Fire(this->*lineEvent_);
}

// A reply line that outgrows the receive buffer's cap cannot be handed out
// whole, and the stream cannot be resynchronised after it: the request fails
// and the session goes.
void TCustomPop3Client::FailOverlongLine() {
  errorMessage_ = "-ERR Line too long";
  requestResult_ = kNegativeReply;
  Display(errorMessage_);
  CompleteRequest(kNegativeReply);
  EndSession(&TAsyncSocket::Abort);
}

void TCustomPop3Client::FailWithResponse(std::string response, int error) {
  lastResponse_ = std::move(response);
  statusCode_ = kNegativeReply;
  requestResult_ = error;
  if (errorMessage_.empty()) errorMessage_ = lastResponse_;
  CompleteRequest(error);
}

// ---- Completion ----

// Completion of the current request. The QUIT fold: QUIT's +OK is not the
// end of the request, the server's close that follows it is; so the +OK only
// arms the fold and HandleSessionClosed reports the request, with 0.
void TCustomPop3Client::CompleteRequest(int error) {
  if (quitFoldArmed_) return;
  if (requestType_ == pop3Quit && error == 0 && connected_) {
    quitFoldArmed_ = true;
    return;
  }
  FinishRequest(error);
}

void TCustomPop3Client::FinishRequest(int error) {
  if (requestDoneReported_) return;
  requestDoneReported_ = true;
  if (sequenceContinues_) {
    if (state_ != pop3Abort) SetState(pop3InternalReady);
    RunNextStep();
    return;
  }
  SetState(pop3Ready);
  sequenceRunning_ = false;
  std::weak_ptr<TCustomPop3Client*> target = requestDoneTarget_;
  loop_.Post([target, error] {
    if (const std::shared_ptr<TCustomPop3Client*> client = target.lock()) {
      (*client)->DeliverRequestDone(error);
    }
  });
}

void TCustomPop3Client::DeliverRequestDone(int error) {
  if (OnRequestDone) OnRequestDone(*this, requestType_, static_cast<uint16_t>(error));
}

// ---- Request sequences ----

void TCustomPop3Client::StartSequence(TPop3Request request, uint16_t steps) {
  if ((steps & StepBit(stepConnect)) != 0 && connected_) {
    throw Pop3Exception("pop3 component already connected");
  }
  CheckReady();
  requestType_ = request;
  requestResult_ = 0;
  stepsToRun_ = steps;
  currentStep_ = stepNone;
  sequenceResult_ = 0;
  sequenceRunning_ = true;
  lastResponse_.clear();
  errorMessage_.clear();
  RunNextStep();
}

// Runs after each step's completion (and once at the start): a failed step
// ends the sequence, leaving only a QUIT to send when the sequence has one.
void TCustomPop3Client::RunNextStep() {
  static constexpr Step kStepOrder[] = {stepConnect, stepUser, stepPass, stepRPop, stepDele,
                                        stepNoop,    stepList, stepRSet, stepAPop, stepRetr,
                                        stepTop,     stepStat, stepUidl, stepLast, stepQuit};
  if (state_ == pop3Abort) {
    stepsToRun_ = 0;
    sequenceResult_ = kSequenceAborted;
    errorMessage_ = "426 Operation aborted.";
  }
  sequenceContinues_ = true;
  if (requestResult_ != 0) {
    sequenceResult_ = requestResult_;
    const bool quitLeft = (stepsToRun_ & StepBit(stepQuit)) != 0 && currentStep_ != stepQuit;
    stepsToRun_ = quitLeft ? StepBit(stepQuit) : 0;
  }
  for (const Step step : kStepOrder) {
    if ((stepsToRun_ & StepBit(step)) == 0) continue;
    stepsToRun_ &= static_cast<uint16_t>(~StepBit(step));
    currentStep_ = step;
    try {
      StartStep(step);
    } catch (...) {
      // A step that cannot start leaves no request running to finish the
      // sequence, so the sequence is dropped and the error passes on.
      DropSequence();
      throw;
    }
    return;
  }
  sequenceContinues_ = false;
  requestDoneReported_ = false;
  CompleteRequest(sequenceResult_);
}

void TCustomPop3Client::StartStep(Step step) {
  switch (step) {
    case stepNone:
      break;
    case stepConnect:
      Connect();
      break;
    case stepUser:
      User();
      break;
    case stepPass:
      Pass();
      break;
    case stepRPop:
      RPop();
      break;
    case stepQuit:
      Quit();
      break;
    case stepAPop:
      APop();
      break;
    case stepStat:
      Stat();
      break;
    case stepList:
      List();
      break;
    case stepUidl:
      Uidl();
      break;
    case stepRetr:
      Retr();
      break;
    case stepTop:
      Top();
      break;
    case stepDele:
      Dele();
      break;
    case stepNoop:
      Noop();
      break;
    case stepRSet:
      RSet();
      break;
    case stepLast:
      Last();
      break;
  }
}

void TCustomPop3Client::DropSequence() {
  sequenceRunning_ = false;
  sequenceContinues_ = false;
  stepsToRun_ = 0;
  SetState(pop3Ready);
}

}  // namespace vexalo
