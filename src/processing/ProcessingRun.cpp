#include "processing/ProcessingRun.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "processing/DataFiles.h"
#include "processing/DataTable.h"
#include "processing/InOutError.h"
#include "processing/RowText.h"
#include "processing/UnpickedIds.h"
#include "settings/IntegerText.h"
#include "settings/SettingsFields.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

// 接続中です。処理が終了するまで待ってください。もしいつまでたっても終了しない場合は、ソフトを再起動してみてください。
constexpr char kBusyText[] =
    "\x90\xDA\x91\xB1\x92\x86\x82\xC5\x82\xB7\x81\x42\x8F\x88\x97\x9D\x82\xAA\x8FI\x97\xB9\x82\xB7"
    "\x82\xE9\x82\xDC\x82\xC5\x91\xD2\x82\xC1\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\x82"
    "\xE0"
    "\x82\xB5\x82\xA2\x82\xC2\x82\xDC\x82\xC5\x82\xBD\x82\xC1\x82\xC4\x82\xE0\x8FI\x97\xB9\x82\xB5"
    "\x82\xC8\x82\xA2\x8F\xEA\x8D\x87\x82\xCD\x81\x41\x83\x5C\x83t\x83g\x82\xF0\x8D\xC4\x8BN\x93"
    "\xAE"
    "\x82\xB5\x82\xC4\x82\xDD\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42";
// メールサーバ(POP3)への接続設定を完了したのち、処理を行ってください。
constexpr char kNoHostText[] =
    "\x83\x81\x81[\x83\x8B\x83T\x81[\x83o(POP3)\x82\xD6\x82\xCC\x90\xDA\x91\xB1\x90\xDD\x92\xE8\x82"
    "\xF0\x8A\xAE\x97\xB9\x82\xB5\x82\xBD\x82\xCC\x82\xBF\x81\x41\x8F\x88\x97\x9D\x82\xF0\x8Ds\x82"
    "\xC1\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42";
// メール受信中
constexpr char kReceivingText[] = "\x83\x81\x81[\x83\x8B\x8E\xF3\x90M\x92\x86";
// エラー: 無効な状態です。
// 受信を中止しました。
constexpr char kCancelledText[] =
    "\x8E\xF3\x90M\x82\xF0\x92\x86\x8E\x7E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
constexpr char kInvalidStateText[] =
    "\x83G\x83\x89\x81[: \x96\xB3\x8C\xF8\x82\xC8\x8F\xF3\x91\xD4\x82\xC5\x82\xB7\x81\x42";
// 通処理しました。
constexpr char kProcessedText[] =
    "\x92\xCA\x8F\x88\x97\x9D\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
// 受信完了しました。総メール数：
constexpr char kSummaryCountText[] =
    "\x8E\xF3\x90M\x8A\xAE\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\x91\x8D\x83\x81\x81[\x83"
    "\x8B\x90\x94\x81\x46";
// 　受信対象新規メール数：
constexpr char kSummaryTakenText[] =
    "\x81@\x8E\xF3\x90M\x91\xCE\x8F\xDB\x90V\x8BK\x83\x81\x81[\x83\x8B\x90\x94\x81\x46";
// 　合計累積データ数：
constexpr char kSummaryRowsText[] =
    "\x81@\x8D\x87\x8Cv\x97\xDD\x90\xCF\x83\x66\x81[\x83^\x90\x94\x81\x46";
// メール受信処理中にエラーが発生しました。(内容：
constexpr char kErrorHeadText[] =
    "\x83\x81\x81[\x83\x8B\x8E\xF3\x90M\x8F\x88\x97\x9D\x92\x86\x82\xC9\x83G\x83\x89\x81["
    "\x82\xAA\x94"
    "\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42(\x93\xE0\x97\x65\x81\x46";
// 一旦ソフトを終了させ（必ず行ってください）、
constexpr char kErrorQuitText[] =
    "\x88\xEA\x92U\x83\x5C\x83t\x83g\x82\xF0\x8FI\x97\xB9\x82\xB3\x82\xB9\x81i\x95K\x82\xB8\x8Ds"
    "\x82"
    "\xC1\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81j\x81\x41";
// インターネットへの接続や、メールサーバの設定を確認した後、再試行して下さい。
constexpr char kErrorCheckText[] =
    "\x83\x43\x83\x93\x83^\x81["
    "\x83l\x83\x62\x83g\x82\xD6\x82\xCC\x90\xDA\x91\xB1\x82\xE2\x81\x41\x83"
    "\x81\x81[\x83\x8B\x83T\x81["
    "\x83o\x82\xCC\x90\xDD\x92\xE8\x82\xF0\x8Am\x94\x46\x82\xB5\x82\xBD\x8C"
    "\xE3\x81\x41\x8D\xC4\x8E\x8E\x8Ds\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81\x42";

constexpr int32_t kDefaultTimeoutSeconds = 60;

// "1" and "2" ask for encryption; anything else, an absent key included,
// is the plain connection every file before them meant.
TPop3Security SecurityFromText(std::string_view text) {
  const std::string_view value = TrimText(text);
  if (value == "1") return secTls;
  if (value == "2") return secStartTls;
  return secPlain;
}

// A time-out that is no positive number would mean waiting for ever, which
// is what the setting is there to prevent.
int32_t TimeoutFromText(std::string_view text) {
  const std::optional<int32_t> seconds = TextToInteger(TrimText(text));
  return seconds && *seconds > 0 ? *seconds : kDefaultTimeoutSeconds;
}

// The client's text without its "-ERR " mark: the reason alone.
std::string WithoutErrMark(const std::string& text) {
  constexpr std::string_view kMark = "-ERR ";
  return text.starts_with(kMark) ? text.substr(kMark.size()) : text;
}

}  // namespace

const char* ToString(TRunPhase phase) {
  switch (phase) {
    case runIdle:
      return "runIdle";
    case runActive:
      return "runActive";
    case runCompleted:
      return "runCompleted";
    case runStopped:
      return "runStopped";
  }
  return "?";
}

const char* ToString(TProcessState state) {
  switch (state) {
    case procConnect:
      return "procConnect";
    case procUser:
      return "procUser";
    case procPass:
      return "procPass";
    case procStat:
      return "procStat";
    case procUidl:
      return "procUidl";
    case procRetr:
      return "procRetr";
    case procDele:
      return "procDele";
    case procQuit:
      return "procQuit";
    case procUidlList:
      return "procUidlList";
    case procTop:
      return "procTop";
    case procCapa:
      return "procCapa";
    case procListSizes:
      return "procListSizes";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, TProcessState state) {
  return out << ToString(state) << " (" << static_cast<int32_t>(state) << ")";
}

TProcessingRun::TProcessingRun(DataTable& table, SettingsFields& fields, TPop3Client& client,
                               const TJisConv& jisConv, DataFilePaths files, RunReporter& reporter,
                               StampClock clock)
    : table_(table),
      fields_(fields),
      client_(client),
      files_(std::move(files)),
      reporter_(reporter),
      clock_(std::move(clock)),
      parser_(table, fields, jisConv, state_.CellPos, state_.Message) {}

TProcessingRun::~TProcessingRun() {
  if (phase_ != runIdle) {
    client_.OnRequestDone = nullptr;
    client_.OnMessageLine = nullptr;
    client_.OnUidlLine = nullptr;
  }
}

bool TProcessingRun::IsBusy() const {
  return phase_ == runActive || errorBoxOpen_ || client_.Connected();
}

void TProcessingRun::TimerTimer() {
  if (!IsBusy()) StartRun(false);
}

void TProcessingRun::MenuProcessClick() { StartRun(true); }

void TProcessingRun::StartRun(bool reportBusy) {
  if (IsBusy()) {
    if (reportBusy) reporter_.ShowMessage(kBusyText);
    return;
  }
  if (fields_.HostText().empty()) {
    reporter_.ShowMessage(kNoHostText);
    reporter_.OpenSettings();
    return;
  }
  try {
    if (!EnterRun()) {
      if (reportBusy) reporter_.ShowMessage(kBusyText);
      return;
    }
  } catch (const std::exception& error) {
    phase_ = runActive;  // so that the stop is reported like any other
    StopWithError(error.what(), 0);
    return;
  }
  client_.SetHost(fields_.HostText());
  client_.SetPort(fields_.PortText());
  client_.SetUserName(fields_.UserNameText());
  client_.SetPassWord(fields_.PassWordText());
  client_.SetSecurity(SecurityFromText(fields_.SecurityText()));
  client_.SetTlsFingerprint(fields_.TlsFingerprintText());
  client_.SetTimeout(TimeoutFromText(fields_.TimeoutText()));
  ResetMessageState();
  reporter_.ShowStatus(kReceivingText);
  state_.TakenCount = 0;
  state_.DeletedCount = 0;
  state_.RunStamp = clock_();
  state_.CellPos.X = DataTable::kFirstItemColumn;
  sent_.clear();
  walkNum_ = 0;
  deleteSent_ = false;
  listedIds_.clear();
  topRefused_ = false;
  rememberedUnpicked_ = LoadUnpickedIds(files_.unpicked, fields_.HeaderTokenText());
  progress_.Start(0);
  titlesSaved_ = false;

  client_.OnRequestDone = [this](TCustomPop3Client&, TPop3Request rqType, uint16_t error) {
    ProcessRequestDone(rqType, error);
  };
  client_.OnMessageBegin = [this](TCustomPop3Client&) { BeginMessage(); };
  client_.OnMessageEnd = nullptr;
  client_.OnMessageLine = [this](TCustomPop3Client& sender) {
    parser_.ProcessMessageLine(sender.LastResponse(), msgUidl_, state_.RunStamp);
  };
  client_.OnUidlBegin = nullptr;
  client_.OnUidlEnd = nullptr;
  client_.OnUidlLine = [this](TCustomPop3Client& sender) {
    RecordListedId(sender.MsgNum(), sender.MsgUidl());
  };
  client_.OnListBegin = nullptr;
  client_.OnListEnd = nullptr;
  client_.OnListLine = [this](TCustomPop3Client& sender) {
    RecordListedSize(sender.MsgNum(), sender.MsgSize());
  };

  phase_ = runActive;
  try {
    Send(procConnect, 0, &TCustomPop3Client::Connect);
  } catch (const std::exception& error) {
    StopWithError(error.what(), 0);
  }
}

void TProcessingRun::Cancel() {
  if (phase_ != runActive && !client_.Connected()) return;
  phase_ = runStopped;
  // Without QUIT the server commits none of this run's deletions; the rows
  // already taken stay, as they would after an error.
  client_.Abort();
  LeaveRun();
  reporter_.ShowStatus(kCancelledText);
  reporter_.RunEnded(RunOutcome::cancelled);
}

void TProcessingRun::ProcessRequestDone(TPop3Request /*RqType*/, uint16_t Error) {
  // A run that stopped has aborted its session; nothing that still comes in
  // for it may start another request or a second error box.
  if (phase_ != runActive) return;
  if (sent_.empty()) {
    StopAtInvalidState();
    return;
  }
  // Replies come in the order the requests went. The step is read from
  // ProcessState, which names the request whose reply was due.
  const SentRequest answered{state_.ProcessState, sent_.front().number};
  sent_.pop_front();
  try {
    if (Error == 0) {
      AdvanceState(answered);
    } else if (client_.UntrustedCertificate()) {
      AskToTrustCertificate(Error);
    } else if (!ContinueAfterRefusal(answered, Error)) {
      StopWithError(client_.ErrorMessage(), Error);
    }
  } catch (const std::exception& error) {
    StopWithError(error.what(), 0);
  }
  if (phase_ == runActive && !sent_.empty()) state_.ProcessState = sent_.front().step;
}

// The request that just completed is `answered`; each step starts the
// requests that follow from it:
//
//   state  completed  next
//   0      Connect    1; User
//   1      User       2; Pass
//   2      Pass       10; Capa
//   10     Capa       3; Stat (a refused CAPA too: the server does not pipeline)
//   3      Stat       MsgCount < 1: 7; Quit.  Otherwise 8; Uidl (the listing)
//   8      Uidl       a listed message not judged yet: 11; List.  Otherwise
//                     the walk from message 1
//   11     List       the walk from message 1
//   4      Uidl n     id judged already: taken and deleting on: 6; Dele.
//                     Otherwise nothing.  A new id: 9; Top
//   9      Top        the header holds the trigger line: 5; Retr.  Otherwise
//                     remember the id as not picked
//   5      Retr       commit the message if picked; picked and deleting on:
//                     6; Dele
//   6      Dele       -
//   7      Quit       rewrite FirstRow.csv unless done before the QUIT, and
//                     Unpicked.txt; show the summary, give up the lock; the
//                     run is over
//   other  -          "エラー: 無効な状態です。", the run stops
//
// After each step of a message the walk goes on (NextMessage). It skips every
// message whose listed id is judged already (taken, or remembered as not
// picked), but sends a DELE for a taken one while deleting is on; for a new
// one: its id listed: 9; Top.  Not listed: 4; Uidl n.  A step for TOP goes
// straight to 5; Retr once the server has refused TOP, and for a message the
// LIST listing gave at most kWholeMessageBytes. While the server
// pipelines, the walk sends as far ahead as the client's window allows, and
// the replies are taken in order, so rows are taken in message order as
// without pipelining. After the last message, once no reply is due: 7; Quit,
// with AllData.csv synced and FirstRow.csv written first when a DELE went out.
//
// A refusal (-ERR) of CAPA, of a listing or of TOP, the session still up,
// is no failure: CAPA's gives no pipelining, the UIDL listing's 4; Uidl n per
// message, the LIST listing's a TOP for every message, TOP's a RETR.
void TProcessingRun::AdvanceState(const SentRequest& answered) {
  switch (answered.step) {
    case procConnect:
      Send(procUser, 0, &TCustomPop3Client::User);
      break;
    case procUser:
      Send(procPass, 0, &TCustomPop3Client::Pass);
      break;
    case procPass:
      Send(procCapa, 0, &TCustomPop3Client::Capa);
      break;
    case procCapa:
      Send(procStat, 0, &TCustomPop3Client::Stat);
      break;
    case procStat:
      if (client_.MsgCount() < 1) {
        Send(procQuit, 0, &TCustomPop3Client::Quit);
      } else {
        StartUidlList();
      }
      break;
    case procUidlList:
      ListSizesOrWalk();
      break;
    case procListSizes:
      NextMessage();
      break;
    case procUidl:
      listedIds_[static_cast<size_t>(answered.number)] = client_.MsgUidl();
      StartMessage(answered.number);
      NextMessage();
      break;
    case procTop:
      if (state_.Message.TriggerFound) {
        StartRetr(answered.number);
      } else {
        progress_.NoteUnpicked(answered.number, msgUidl_);
        FinishMessage(answered.number, true);
      }
      NextMessage();
      break;
    case procRetr:
      FinishRetrievedMessage(answered.number);
      NextMessage();
      break;
    case procDele:
      NextMessage();
      break;
    case procQuit:
      if (!titlesSaved_) SaveTitles();
      SaveUnpicked();
      ShowSummary();
      phase_ = runCompleted;
      LeaveRun();
      reporter_.RunEnded(RunOutcome::completed);
      break;
    default:
      StopAtInvalidState();
      break;
  }
}

// Only a refusal the server answered, the session still up, is one to go on
// after; the error text it left is not this run's failure.
bool TProcessingRun::ContinueAfterRefusal(const SentRequest& answered, uint16_t error) {
  constexpr uint16_t kNegativeReply = 500;
  const bool refusal = error == kNegativeReply && client_.Connected();
  if (!refusal) return false;
  switch (answered.step) {
    case procCapa:
      client_.ClearErrorMessage();
      Send(procStat, 0, &TCustomPop3Client::Stat);
      return true;
    case procUidlList:
      client_.ClearErrorMessage();
      std::fill(listedIds_.begin(), listedIds_.end(), std::nullopt);
      NextMessage();
      return true;
    case procListSizes:
      client_.ClearErrorMessage();
      std::fill(listedSizes_.begin(), listedSizes_.end(), kSizeUnknown);
      NextMessage();
      return true;
    case procTop:
      client_.ClearErrorMessage();
      topRefused_ = true;
      StartRetr(answered.number);
      NextMessage();
      return true;
    default:
      return false;
  }
}

// Noted before the client sends it: the client lets the loop run before a
// command goes out, and whatever comes back must find it out already.
void TProcessingRun::Send(TProcessState step, int32_t number, Pop3Operation operation) {
  // Nothing else out: this is the request whose reply comes next.
  if (sent_.empty()) state_.ProcessState = step;
  sent_.push_back(SentRequest{step, number});
  client_.SetMsgNum(number);
  try {
    (client_.*operation)();
  } catch (...) {
    sent_.pop_back();
    throw;
  }
}

// A TOP or RETR reply begins: its lines are those of the message whose
// request was sent first of those still out.
void TProcessingRun::BeginMessage() {
  ResetMessageState();
  if (sent_.empty()) return;
  msgUidl_ = listedIds_[static_cast<size_t>(sent_.front().number)].value_or(std::string());
  storedId_ = StoredId(msgUidl_);
}

// `counted`: the message was read, and its "n/m" text is shown once every
// earlier message is through.
void TProcessingRun::FinishMessage(int32_t number, bool counted) {
  for (const int32_t due : progress_.Finish(number, counted)) {
    reporter_.ShowStatus(std::to_string(due) + "/" + std::to_string(client_.MsgCount()) +
                         kProcessedText);
  }
}

void TProcessingRun::FinishRetrievedMessage(int32_t number) {
  parser_.FinishMessage(msgUidl_, state_.RunStamp);
  const bool picked = state_.Message.TriggerFound;
  if (picked) {
    CommitMessage();
  } else {
    progress_.NoteUnpicked(number, msgUidl_);
  }
  FinishMessage(number, true);
  if (picked && fields_.DeleteAfterReading()) StartDele(number);
}

void TProcessingRun::StartDele(int32_t number) {
  Send(procDele, number, &TCustomPop3Client::Dele);
  deleteSent_ = true;
  ++state_.DeletedCount;
}

void TProcessingRun::CommitMessage() {
  const int32_t row = state_.CellPos.Y;
  ++state_.TakenCount;
  table_.SetCell(DataTable::kStampColumn, row, state_.RunStamp);
  table_.SetCell(DataTable::kIdColumn, row, storedId_);
  const bool titlesChanged = parser_.WriteItems();
  // A message without items has started no line; it still gets the stamp and
  // id its row holds, or after a restart its id would be unknown and every
  // later run would take it again.
  std::string& line = state_.Message.RowText;
  if (line.empty()) BeginRowText(line, state_.RunStamp, storedId_);
  // A narrower message must not hide the titles and cells of wider rows
  // from FirstRow.csv and from a select-all export.
  table_.SetColCount(std::max(table_.ColCount(), state_.CellPos.X));
  // The titles of a row reach the disk before the row: a mail once taken is
  // never read again, so a run that stops after this row (a failure, a kill)
  // would otherwise leave its columns without titles for good.
  if (titlesChanged) SaveTitles();
  // The row becomes visible, and so counts as taken, only once its line is in
  // AllData.csv: if the append raises, the message is neither kept nor
  // deleted, and the next run takes it again.
  state_.AllDataEnd = AppendLine(files_.allData, line);
  state_.CellPos = CellPoint{DataTable::kFirstItemColumn, row + 1};
  table_.SetRowCount(state_.CellPos.Y);
  reporter_.TableChanged();
}

void TProcessingRun::NextMessage() {
  // A loop, not a request per message: a mailbox of ten thousand mails taken
  // long ago costs no command at all.
  while (walkNum_ < client_.MsgCount() && client_.ReadyForCommand()) {
    ++walkNum_;
    const std::optional<std::string>& listed = listedIds_[static_cast<size_t>(walkNum_)];
    if (listed) {
      StartMessage(walkNum_);
    } else {
      Send(procUidl, walkNum_, &TCustomPop3Client::Uidl);
    }
  }
  if (walkNum_ < client_.MsgCount() || !sent_.empty()) return;
  // The server removes what this run marked for deletion when QUIT
  // succeeds; the rows of those messages, and their titles, must be on disk
  // by then.
  if (deleteSent_) {
    SyncFile(files_.allData);
    SaveTitles();
  }
  Send(procQuit, 0, &TCustomPop3Client::Quit);
}

// The message's id is known: a new one gets its header read; one judged
// already is passed over, with its DELE again when it is taken and deleting
// is on.
void TProcessingRun::StartMessage(int32_t number) {
  const std::string& id = *listedIds_[static_cast<size_t>(number)];
  if (!IsJudgedAlready(number, id)) {
    StartHeaderRead(number);
    return;
  }
  if (IsTakenToDeleteAgain(id)) StartDele(number);
  FinishMessage(number, false);
}

void TProcessingRun::StartUidlList() {
  listedIds_.assign(static_cast<size_t>(client_.MsgCount()) + 1, std::nullopt);
  listedSizes_.assign(listedIds_.size(), kSizeUnknown);
  progress_.Start(client_.MsgCount());
  Send(procUidlList, 0, &TCustomPop3Client::Uidl);
}

// The listing's numbers are the server's word: one outside the mailbox, or
// given twice, is not taken; the message is then asked for alone.
void TProcessingRun::RecordListedId(int32_t number, const std::string& msgUidl) {
  if (number < 1 || static_cast<size_t>(number) >= listedIds_.size()) return;
  std::optional<std::string>& entry = listedIds_[static_cast<size_t>(number)];
  if (!entry) entry = msgUidl;
}

// As with the ids; a message without a size has its header read first.
void TProcessingRun::RecordListedSize(int32_t number, int32_t size) {
  if (number < 1 || static_cast<size_t>(number) >= listedSizes_.size() || size < 0) return;
  int32_t& entry = listedSizes_[static_cast<size_t>(number)];
  if (entry == kSizeUnknown) entry = size;
}

// The sizes tell which messages are small enough to be read whole at once
// (StartHeaderRead). They are asked for only when the listing holds a
// message to read, so a poll that finds nothing new costs no more.
void TProcessingRun::ListSizesOrWalk() {
  const bool anyToRead =
      std::any_of(listedIds_.begin() + 1, listedIds_.end(),
                  [this](const std::optional<std::string>& id) {
                    return !id || (!IsTaken(*id) && !IsRememberedUnpicked(*id));
                  });
  if (anyToRead) {
    Send(procListSizes, 0, &TCustomPop3Client::List);
  } else {
    NextMessage();
  }
}

// A message whose row is on disk already while deleting is on: the DELE of
// the run that took it may have been lost with that run. An empty id, or one
// the title row holds, names no row of ours and is never deleted unread.
bool TProcessingRun::IsTakenToDeleteAgain(const std::string& msgUidl) const {
  const std::string storedId = StoredId(msgUidl);
  return fields_.DeleteAfterReading() && !storedId.empty() &&
         table_.Cell(DataTable::kIdColumn, 0) != storedId && table_.IsUidlTaken(storedId);
}

// Whether the message with `msgUidl` needs no more commands: taken into the
// table already, or remembered as not picked under the current trigger line
// (and so kept remembered).
bool TProcessingRun::IsJudgedAlready(int32_t number, const std::string& msgUidl) {
  if (IsTaken(msgUidl)) return true;
  if (!IsRememberedUnpicked(msgUidl)) return false;
  progress_.NoteUnpicked(number, msgUidl);
  return true;
}

bool TProcessingRun::IsTaken(const std::string& msgUidl) const {
  return table_.IsUidlTaken(StoredId(msgUidl));
}

bool TProcessingRun::IsRememberedUnpicked(const std::string& msgUidl) const {
  return rememberedUnpicked_ && rememberedUnpicked_->contains(msgUidl);
}

// A message of a few KB costs about as much as its header and saves the
// second command, so it is read whole at once; a large one, an ordinary mail
// with attachments perhaps, has its header read first.
void TProcessingRun::StartHeaderRead(int32_t number) {
  const int32_t size = listedSizes_[static_cast<size_t>(number)];
  if (topRefused_ || (size != kSizeUnknown && size <= kWholeMessageBytes)) {
    StartRetr(number);
    return;
  }
  client_.SetMsgLines(0);
  Send(procTop, number, &TCustomPop3Client::Top);
}

void TProcessingRun::StartRetr(int32_t number) { Send(procRetr, number, &TCustomPop3Client::Retr); }

// A file that cannot be written only costs the next run a header read per
// remembered message; it is no reason to spoil a run that took its mail. An
// unchanged one is left alone: polls every few minutes would otherwise sync
// the disk for nothing.
void TProcessingRun::SaveUnpicked() {
  const std::vector<std::string> unpicked = progress_.UnpickedIds();
  if (rememberedUnpicked_ &&
      *rememberedUnpicked_ == std::unordered_set<std::string>(unpicked.begin(), unpicked.end())) {
    return;
  }
  try {
    SaveUnpickedIds(files_.unpicked, fields_.HeaderTokenText(), unpicked);
  } catch (const EInOutError&) {
  }
}

void TProcessingRun::ResetMessageState() { parser_.ResetMessageState(); }

void TProcessingRun::ShowSummary() {
  reporter_.ShowStatus(kSummaryCountText + std::to_string(client_.MsgCount()) + kSummaryTakenText +
                       std::to_string(state_.TakenCount) + kSummaryRowsText +
                       std::to_string(table_.RowCount() - 1));
}

bool TProcessingRun::EnterRun() {
  if (!lock_.TryAcquire(files_.allData + kRunLockSuffix, files_.allData)) return false;
  try {
    state_.AllDataEnd = LoadAppendedRows(table_, files_.allData, state_.AllDataEnd, state_.CellPos);
  } catch (...) {
    lock_.Release();
    throw;
  }
  return true;
}

void TProcessingRun::LeaveRun() { lock_.Release(); }

void TProcessingRun::SaveTitles() {
  SaveFirstRow(table_, files_.firstRow);
  titlesSaved_ = true;
}

// The run stays busy while the user decides, so no timer tick starts another
// one behind the question. Trusted: the fingerprint is kept in the settings
// (saved with them) and the run starts over with it.
void TProcessingRun::AskToTrustCertificate(uint16_t code) {
  const CertificateQuestion question{fields_.HostText(), WithoutErrMark(client_.ErrorMessage()),
                                     *client_.UntrustedCertificate()};
  if (!reporter_.TrustCertificate(question)) {
    StopWithError(client_.ErrorMessage(), code);
    return;
  }
  fields_.SetTlsFingerprintText(question.facts.fingerprint);
  phase_ = runStopped;
  client_.Abort();
  MenuProcessClick();
}

void TProcessingRun::StopWithError(const std::string& detail, uint16_t code) {
  phase_ = runStopped;
  // Aborted before the box is shown: without QUIT the server commits none of
  // this run's deletions, and an abort that waited for the user would kill a
  // run started meanwhile. While the box is open the run still counts as
  // busy, so a timer tick cannot start a run (and a box) per interval.
  client_.Abort();
  // Another program may take the folder while the box waits for the user.
  LeaveRun();
  errorBoxOpen_ = true;
  struct BoxClosed {
    bool& open;
    ~BoxClosed() { open = false; }
  } boxClosed{errorBoxOpen_};
  reporter_.ShowRunError(std::string(kErrorHeadText) + detail + ")\r\n" + kErrorQuitText + "\r\n" +
                             kErrorCheckText,
                         RunFailure{state_.ProcessState, code, detail});
  reporter_.RunEnded(RunOutcome::failed);
}

void TProcessingRun::StopAtInvalidState() {
  reporter_.ShowStatus(kInvalidStateText);
  // No request can follow from an unknown step; left connected, the session
  // would refuse every later fetch with the busy message.
  phase_ = runStopped;
  client_.Abort();
  LeaveRun();
  reporter_.RunEnded(RunOutcome::failed);
}

}  // namespace vexalo
