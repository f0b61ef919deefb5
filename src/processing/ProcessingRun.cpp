#include "processing/ProcessingRun.h"

#include <exception>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "processing/DataFiles.h"
#include "processing/DataTable.h"
#include "processing/RowText.h"
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
  }
}

bool TProcessingRun::IsBusy() const { return phase_ == runActive || client_.Connected(); }

void TProcessingRun::TimerTimer() {
  if (!IsBusy()) MenuProcessClick();
}

void TProcessingRun::MenuProcessClick() {
  if (IsBusy()) {
    reporter_.ShowMessage(kBusyText);
    return;
  }
  if (fields_.HostText().empty()) {
    reporter_.ShowMessage(kNoHostText);
    reporter_.OpenSettings();
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
  state_.ProcessState = procConnect;
  state_.TakenCount = 0;
  state_.DeletedCount = 0;
  state_.RunStamp = clock_();
  state_.CellPos.X = DataTable::kFirstItemColumn;
  msgNum_ = 0;
  deleteSent_ = false;

  client_.OnRequestDone = [this](TCustomPop3Client&, TPop3Request rqType, uint16_t error) {
    ProcessRequestDone(rqType, error);
  };
  client_.OnMessageBegin = nullptr;
  client_.OnMessageEnd = nullptr;
  client_.OnMessageLine = [this](TCustomPop3Client& sender) {
    parser_.ProcessMessageLine(sender.LastResponse(), sender.MsgUidl(), state_.RunStamp);
  };

  phase_ = runActive;
  try {
    client_.Connect();
  } catch (const std::exception& error) {
    StopWithError(error.what());
  }
}

void TProcessingRun::ProcessRequestDone(TPop3Request /*RqType*/, uint16_t Error) {
  // A run that stopped has aborted its session; nothing that still comes in
  // for it may start another request or a second error box.
  if (phase_ != runActive) return;
  if (Error != 0) {
    if (client_.UntrustedCertificate()) {
      AskToTrustCertificate();
    } else {
      StopWithError(client_.ErrorMessage());
    }
    return;
  }
  try {
    AdvanceState();
  } catch (const std::exception& error) {
    StopWithError(error.what());
  }
}

// The request that just completed is the one of ProcessState; each step sets
// the new state before it starts the next request:
//
//   state  completed  next
//   0      Connect    1; User
//   1      User       2; Pass
//   2      Pass       3; Stat
//   3      Stat       MsgCount < 1: 7; Quit.  Otherwise message 1: 4; Uidl
//   4      Uidl       id already in column 1: NextMessage.  Otherwise 5; Retr
//   5      Retr       commit the message if picked; picked and deleting on:
//                     6; Dele.  Otherwise NextMessage
//   6      Dele       NextMessage
//   7      Quit       rewrite FirstRow.csv, show the summary; the run is over
//   other  -          "エラー: 無効な状態です。", the run stops
//
// NextMessage: another message: 4; Uidl.  After the last one: 7; Quit.
void TProcessingRun::AdvanceState() {
  switch (state_.ProcessState) {
    case procConnect:
      state_.ProcessState = procUser;
      client_.User();
      break;
    case procUser:
      state_.ProcessState = procPass;
      client_.Pass();
      break;
    case procPass:
      state_.ProcessState = procStat;
      client_.Stat();
      break;
    case procStat:
      if (client_.MsgCount() < 1) {
        state_.ProcessState = procQuit;
        client_.Quit();
      } else {
        msgNum_ = 1;
        StartUidl();
      }
      break;
    case procUidl:
      storedId_ = StoredId(client_.MsgUidl());
      if (table_.IsUidlTaken(storedId_)) {
        NextMessage();
      } else {
        state_.ProcessState = procRetr;
        client_.SetMsgNum(msgNum_);
        client_.Retr();
      }
      break;
    case procRetr:
      FinishRetrievedMessage();
      break;
    case procDele:
      NextMessage();
      break;
    case procQuit:
      SaveFirstRow(table_, files_.firstRow);
      ShowSummary();
      phase_ = runCompleted;
      break;
    default:
      StopAtInvalidState();
      break;
  }
}

void TProcessingRun::FinishRetrievedMessage() {
  reporter_.ShowStatus(std::to_string(msgNum_) + "/" + std::to_string(client_.MsgCount()) +
                       kProcessedText);
  parser_.FinishMessage(client_.MsgUidl(), state_.RunStamp);
  const bool picked = state_.Message.TriggerFound;
  if (picked) CommitMessage();
  if (picked && fields_.DeleteAfterReading()) {
    state_.ProcessState = procDele;
    client_.SetMsgNum(msgNum_);
    client_.Dele();
    deleteSent_ = true;
    ++state_.DeletedCount;
  } else {
    NextMessage();
  }
}

void TProcessingRun::CommitMessage() {
  const int32_t row = state_.CellPos.Y;
  ++state_.TakenCount;
  table_.SetCell(DataTable::kStampColumn, row, state_.RunStamp);
  table_.SetCell(DataTable::kIdColumn, row, storedId_);
  // A message without items has started no line; it still gets the stamp and
  // id its row holds, or after a restart its id would be unknown and every
  // later run would take it again.
  std::string& line = state_.Message.RowText;
  if (line.empty()) BeginRowText(line, state_.RunStamp, storedId_);
  // The row becomes visible, and so counts as taken, only once its line is in
  // AllData.csv: if the append raises, the message is neither kept nor
  // deleted, and the next run takes it again.
  AppendLine(files_.allData, line);
  table_.SetColCount(state_.CellPos.X);
  state_.CellPos = CellPoint{DataTable::kFirstItemColumn, row + 1};
  table_.SetRowCount(state_.CellPos.Y);
}

void TProcessingRun::NextMessage() {
  if (msgNum_ < client_.MsgCount()) {
    ++msgNum_;
    StartUidl();
    ResetMessageState();
  } else {
    state_.ProcessState = procQuit;
    // The server removes what this run marked for deletion when QUIT
    // succeeds; the rows of those messages must be on disk by then.
    if (deleteSent_) SyncFile(files_.allData);
    client_.Quit();
  }
}

void TProcessingRun::StartUidl() {
  state_.ProcessState = procUidl;
  client_.SetMsgNum(msgNum_);
  client_.Uidl();
}

void TProcessingRun::ResetMessageState() { parser_.ResetMessageState(); }

void TProcessingRun::ShowSummary() {
  reporter_.ShowStatus(kSummaryCountText + std::to_string(client_.MsgCount()) + kSummaryTakenText +
                       std::to_string(state_.TakenCount) + kSummaryRowsText +
                       std::to_string(table_.RowCount() - 1));
}

// The run stays busy while the user decides, so no timer tick starts another
// one behind the question. Trusted: the fingerprint is kept in the settings
// (saved with them) and the run starts over with it.
void TProcessingRun::AskToTrustCertificate() {
  const CertificateQuestion question{fields_.HostText(), WithoutErrMark(client_.ErrorMessage()),
                                     *client_.UntrustedCertificate()};
  if (!reporter_.TrustCertificate(question)) {
    StopWithError(client_.ErrorMessage());
    return;
  }
  fields_.SetTlsFingerprintText(question.facts.fingerprint);
  phase_ = runStopped;
  client_.Abort();
  MenuProcessClick();
}

void TProcessingRun::StopWithError(const std::string& detail) {
  phase_ = runStopped;
  reporter_.ShowMessage(std::string(kErrorHeadText) + detail + ")\r\n" + kErrorQuitText + "\r\n" +
                        kErrorCheckText);
  // Without QUIT the server commits none of this run's deletions, and the
  // connection no longer blocks the next fetch or timer tick.
  client_.Abort();
}

void TProcessingRun::StopAtInvalidState() {
  reporter_.ShowStatus(kInvalidStateText);
  // No request can follow from an unknown step; left connected, the session
  // would refuse every later fetch with the busy message.
  phase_ = runStopped;
  client_.Abort();
}

}  // namespace vexalo
