#include "run/ProcessingRun.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "auth/AccessToken.h"
#include "cipher/SecureWipe.h"
#include "jconv/Cp932Codec.h"
#include "platform/InOutError.h"
#include "platform/UserTexts.h"
#include "pop3/Pop3ReplyParsers.h"
#include "run/UnpickedIds.h"
#include "settings/SettingsFields.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RowText.h"
#include "text/CommFuncs.h"
#include "text/IntegerText.h"

namespace vexalo {
namespace {

constexpr int32_t kDefaultTimeoutSeconds = 60;
constexpr uint16_t kNegativeReply = 500;

// A message of a few KB costs about as much as its header and saves the
// second command, so it is read whole at once.
constexpr int32_t kWholeMessageBytes = 4096;

// A refused reply to the user name or the password is a refused login; to
// the bearer token, a grant the server no longer takes.
RunFailure ReplyFailure(TProcessState step, const Pop3Reply& reply) {
  FailureKind kind = reply.kind;
  if (kind == FailureKind::kServerReply) {
    if (step == procUser || step == procPass) kind = FailureKind::kLoginRefused;
    if (step == procAuth) kind = FailureKind::kSignInNeeded;
  }
  return RunFailure{step, reply.error, kind, reply.text};
}

RunFailure ExceptionFailure(TProcessState step, const std::exception& error) {
  FailureKind kind = FailureKind::kOther;
  if (const auto* socketError = dynamic_cast<const ESocketException*>(&error)) {
    kind = socketError->Kind();
  } else if (const auto* fileError = dynamic_cast<const EInOutError*>(&error)) {
    kind = fileError->Kind();
  } else if (dynamic_cast<const OAuthSignInNeeded*>(&error) != nullptr) {
    kind = FailureKind::kSignInNeeded;
  }
  return RunFailure{step, 0, kind, error.what()};
}

// "0" (or nothing) plain, "1" TLS, "2" STARTTLS, typed with full-width digits
// too. Anything else is refused rather than read as plain: a hand-edited
// "SSL" or "true" must never send the password in the clear.
std::optional<TPop3Security> SecurityFromText(std::string_view text) {
  std::string_view value = TrimText(text);
  // The full-width digits ０-２ of CP932.
  if (value.size() == 2 && value[0] == '\x82' && value[1] >= '\x4F' && value[1] <= '\x51') {
    static constexpr char kDigits[] = "012";
    value = std::string_view(&kDigits[value[1] - '\x4F'], 1);
  }
  if (value.empty() || value == "0") return secPlain;
  if (value == "1") return secTls;
  if (value == "2") return secStartTls;
  return std::nullopt;
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
    case procCheck:
      return "procCheck";
    case procProve:
      return "procProve";
    case procToken:
      return "procToken";
    case procAuth:
      return "procAuth";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, TProcessState state) {
  return out << ToString(state) << " (" << static_cast<int32_t>(state) << ")";
}

RunSettings RunSettings::From(const SettingsFields& fields) {
  RunSettings settings;
  settings.endpoint.host = fields.HostText();
  settings.endpoint.port = fields.PortText();
  const std::optional<TPop3Security> security = SecurityFromText(fields.SecurityText());
  if (!security) {
    throw std::runtime_error(Cp932Text(UserText::kBadSecurity, {fields.SecurityText()}));
  }
  settings.endpoint.security = *security;
  settings.endpoint.tlsFingerprint = fields.TlsFingerprintText();
  settings.endpoint.timeoutSeconds = TimeoutFromText(fields.TimeoutText());
  settings.userName = fields.UserNameText();
  settings.passWord = fields.PassWordText();
  settings.rules = MessageRules{fields.HeaderTokenText(), fields.SplitTokenText()};
  settings.deleteAfterReading = fields.DeleteAfterReading();
  if (settings.deleteAfterReading && settings.rules.triggerLine.empty()) {
    throw std::runtime_error(Cp932Text(UserText::kDeleteWithoutTrigger));
  }
  settings.columnsByName = fields.ColumnsByName();
  if (OAuthChosen(fields)) settings.oauth = OAuthEndpointsFrom(fields);
  return settings;
}

TProcessingRun::TProcessingRun(DataTable& table, SettingsFields& fields, TPop3Client& client,
                               const TJisConv& jisConv, DataFilePaths files, RunReporter& reporter,
                               StampClock clock)
    : table_(table),
      fields_(fields),
      client_(client),
      reporter_(reporter),
      clock_(std::move(clock)),
      tableFiles_(table, std::move(files)),
      parser_(jisConv) {
  client_.OnReadHandled = [this] { WriteTakenRows(); };
}

TProcessingRun::~TProcessingRun() {
  client_.OnReadHandled = nullptr;
  if (tokenCall_) tokenCall_->Cancel();
  SecureWipe(accessToken_.data(), accessToken_.size());
}

void TProcessingRun::LoadTable(const std::function<void(const std::exception&)>& failed) {
  tableFiles_.Load(failed);
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
    if (reportBusy) reporter_.ShowMessage(Cp932Text(UserText::kBusy));
    return;
  }
  if (fields_.HostText().empty()) {
    reporter_.ShowMessage(Cp932Text(UserText::kNoHost));
    reporter_.OpenSettings();
    return;
  }
  ++generation_;
  try {
    settings_ = RunSettings::From(fields_);
    if (!EnterRun()) {
      if (reportBusy) reporter_.ShowMessage(Cp932Text(UserText::kBusy));
      return;
    }
  } catch (const std::exception& error) {
    phase_ = runActive;  // so that the stop is reported like any other
    StopWithError(ExceptionFailure(procConnect, error));
    return;
  }
  parser_.SetRules(settings_.rules);
  tableFiles_.SetColumnsByName(settings_.columnsByName);
  parser_.Finish();
  reporter_.ShowStatus(Cp932Text(UserText::kReceiving));
  counts_ = RunCounts();
  runStamp_ = clock_();
  walk_.Start(0);
  deletesDue_.clear();
  deletesAfterWrite_.clear();
  checkReplies_ = false;
  sizesAsked_ = false;
  unchecked_.clear();
  checkCovers_ = 0;
  topRefused_ = false;
  titlesSaved_ = false;
  rememberedUnpicked_ = LoadUnpickedIds(tableFiles_.Paths().unpicked, settings_.rules.triggerLine);
  takenHeaders_.reset();
  takenHeadersChanged_ = false;
  deletedIds_.clear();

  phase_ = runActive;
  if (settings_.oauth) {
    FetchAccessToken();
    return;
  }
  Connect();
}

void TProcessingRun::Connect() {
  try {
    client_.Connect(settings_.endpoint, ReplyTo(procConnect));
  } catch (const std::exception& error) {
    StopWithError(ExceptionFailure(procConnect, error));
  }
}

// The token comes before the connection: a refresh that fails (a withdrawn
// grant) then ends the run before the server has seen it, and no session
// waits idle on the token endpoint. The refresh blocks on HTTP and the
// keyring, so it runs off the loop; a rotated refresh token is stored
// before the token comes back.
void TProcessingRun::FetchAccessToken() {
  std::string folder = tableFiles_.Paths().allData;
  folder.erase(folder.find_last_of('/') + 1);
  if (folder.empty()) folder = "./";
  try {
    tokenCall_ = BackgroundCall::Start(
        client_.Loop(),
        [endpoints = *settings_.oauth, folder, timeout = settings_.endpoint.timeoutSeconds] {
          const auto store = OpenSecretStore(folder);
          return FreshAccessToken(endpoints, *store, timeout,
                                  std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                      .count());
        },
        [this, generation = generation_](std::string token, const std::exception_ptr& error) {
          if (generation == generation_) TakeAccessToken(std::move(token), error);
        });
  } catch (const std::exception& error) {
    StopWithError(ExceptionFailure(procToken, error));
  }
}

void TProcessingRun::TakeAccessToken(std::string token, const std::exception_ptr& error) {
  tokenCall_.reset();
  if (phase_ != runActive) return;
  try {
    if (error) std::rethrow_exception(error);
    accessToken_ = std::move(token);
  } catch (const std::exception& failure) {
    StopWithError(ExceptionFailure(procToken, failure));
    return;
  }
  Connect();
}

bool TProcessingRun::EnterRun() {
  const std::string& allData = tableFiles_.Paths().allData;
  if (!lock_.TryAcquire(allData + kRunLockSuffix, allData)) return false;
  try {
    tableFiles_.LoadAppended();
  } catch (...) {
    lock_.Release();
    throw;
  }
  return true;
}

void TProcessingRun::LeaveRun() {
  tableFiles_.DropRows();
  lock_.Release();
}

void TProcessingRun::Cancel() {
  if (phase_ != runActive && !client_.Connected()) return;
  phase_ = runStopped;
  if (tokenCall_) tokenCall_->Cancel();
  tokenCall_.reset();
  // Without QUIT the server commits none of this run's deletions; the rows
  // already taken stay, as they would after an error, with their proof.
  client_.Abort();
  KeepTakenRows();
  SaveTakenHeaders(false);
  LeaveRun();
  reporter_.ShowStatus(Cp932Text(UserText::kCancelled));
  reporter_.RunEnded(RunOutcome::cancelled);
}

// ---- Replies ----

// Every request names its step and message; the reply comes back with them.
TPop3Client::Completion TProcessingRun::ReplyTo(TProcessState step, int32_t number) {
  return [this, generation = generation_, step, number](Pop3Reply& reply) {
    if (generation == generation_) HandleReply(step, number, reply);
  };
}

void TProcessingRun::HandleReply(TProcessState step, int32_t number, Pop3Reply& reply) {
  // A run that stopped has aborted its session; nothing that still comes in
  // for it may start another request or a second error box.
  if (phase_ != runActive) return;
  try {
    if (reply.Ok()) {
      Advance(step, number, reply);
    } else if (client_.UntrustedCertificate()) {
      AskToTrustCertificate(step, reply);
    } else if (!ContinueAfterRefusal(step, number, reply)) {
      StopWithError(ReplyFailure(step, reply));
    }
  } catch (const std::exception& error) {
    StopWithError(ExceptionFailure(step, error));
  }
}

// The step whose reply came in, and what follows from it:
//
//   step          next
//   Token         Connect (OAuth 2.0: the token is fetched before it)
//   Connect       User; with OAuth 2.0 Auth
//   Auth          Capa
//   User          Pass
//   Pass          Capa
//   Capa          Stat (a refused CAPA too: the server does not pipeline);
//                 with a server that pipelines, UidlList with it, and
//                 ListSizes too when no id is known as judged
//   Stat          UidlList out: ListSizes, unless out, when the mailbox
//                 holds more messages than ids known as judged.  Otherwise no message:
//                 Quit, else UidlList
//   UidlList      ListSizes out: nothing (its reply goes on).  A listed
//                 message not judged yet: ListSizes.  Otherwise the walk
//                 from message 1
//   ListSizes     the walk from message 1
//   Uidl n        the message's id is known: as in the walk
//   Top           the header holds the trigger line: Retr.  Otherwise the
//                 message is finished, remembered as not picked
//   Retr          the message is finished, its row waiting its turn if picked
//   Dele          -
//   Quit          rewrite FirstRow.csv unless done before the QUIT, and
//                 Unpicked.txt; show the summary, give up the lock; the run
//                 is over
//
// After each step the walk goes on (Walk): the DELEs due first, then the next
// message. It skips every message whose listed id is judged already (taken,
// or remembered as not picked), but sends a DELE for a taken one while
// deleting is on; for a new one: its id listed: Top (Retr when the server
// refused TOP, or when the size listing gave at most kWholeMessageBytes).
// Not listed: Uidl n. Finished messages are handed back in message order: a
// picked one's row is taken then, its line written with the others of the
// same read once the read is handled (WriteTakenRows), and its DELE due after
// that write when deleting is on. After the last message, once no reply is
// due and every row is written: Quit, with AllData.csv synced and
// FirstRow.csv written first when a DELE went out.
//
// A refusal (-ERR) of CAPA, of a listing or of TOP, the session still up,
// is no failure: CAPA's gives no pipelining, the UIDL listing's Uidl n per
// message, the LIST listing's a Top for every message, TOP's a Retr.
void TProcessingRun::Advance(TProcessState step, int32_t number, const Pop3Reply& reply) {
  switch (step) {
    case procConnect:
      if (settings_.oauth) {
        // Never USER, PASS or APOP: the password is not the way in here.
        client_.XOAuth2(settings_.userName, accessToken_, ReplyTo(procAuth));
        SecureWipe(accessToken_.data(), accessToken_.size());
        accessToken_.clear();
      } else {
        client_.User(settings_.userName, ReplyTo(procUser));
      }
      break;
    case procUser:
      client_.Pass(settings_.passWord, ReplyTo(procPass));
      break;
    case procPass:
    case procAuth:
      client_.Capa(ReplyTo(procCapa));
      break;
    case procCapa:
      checkReplies_ = client_.HasCapability("PIPELINING");
      client_.Stat(ReplyTo(procStat));
      // A server that pipelines lists the ids while the count is read, and
      // the sizes too when no id is known as judged: every message is new.
      if (checkReplies_) {
        ListIds();
        if (NothingJudgedYet()) ListSizes();
      }
      break;
    case procStat:
      TakeMailboxSize(reply);
      break;
    case procUidlList:
      // Sizes asked for with the ids: their reply, next, starts the walk.
      if (!sizesAsked_) ListSizesOrWalk();
      break;
    case procListSizes:
      Walk();
      break;
    case procUidl: {
      // An entry for another message is no id of this one.
      const UidlEntry entry = ParseUidlLine(reply.text);
      walk_.SetId(number, entry.number == number ? entry.id : std::string());
      StartMessage(number);
      Walk();
      break;
    }
    case procTop:
    case procRetr:
      MessageRead(step, number, parser_.Finish());
      Walk();
      break;
    case procCheck:
      TakeCheck(number, reply);
      Walk();
      break;
    case procProve:
      ProveTaken(number, parser_.Finish());
      Walk();
      break;
    case procDele:
      Walk();
      break;
    case procQuit:
      Complete();
      break;
    case procToken:
      break;  // no POP3 request: TakeAccessToken goes on
  }
}

// Only a refusal the server answered, the session still up, is one to go on
// after.
bool TProcessingRun::ContinueAfterRefusal(TProcessState step, int32_t number,
                                          const Pop3Reply& reply) {
  if (reply.kind != FailureKind::kServerReply || !client_.Connected()) return false;
  switch (step) {
    case procCapa:
      client_.Stat(ReplyTo(procStat));
      return true;
    case procUidlList:
      walk_.ForgetIds();
      Walk();
      return true;
    case procListSizes:
      walk_.ForgetSizes();
      Walk();
      return true;
    case procTop:
      parser_.Finish();
      topRefused_ = true;
      StartRetr(number);
      Walk();
      return true;
    case procCheck:
      return false;
    case procProve:
      // Without its header nothing proves it: it is not deleted.
      parser_.Finish();
      walk_.Finish(number, false);
      ReleaseFinished();
      Walk();
      return true;
    case procRetr:
      // One mail the server cannot hand out must not keep the rest of the
      // mailbox from being taken, run after run.
      parser_.Finish();
      counts_.undelivered.push_back({number, reply.text});
      reporter_.MessageRefused(number, reply.text);
      walk_.Finish(number, true);
      ReleaseFinished();
      Walk();
      return true;
    default:
      return false;
  }
}

// ---- The mailbox ----

// The count is the server's word, and everything the walk keeps grows with
// it: a count past what any mailbox holds is refused rather than believed.
void TProcessingRun::TakeMailboxSize(const Pop3Reply& stat) {
  const int32_t count = ParseTwoNumbers(stat.text).first;
  counts_.messages = count;
  if (count > MailboxWalk::kMaxMessages) {
    StopWithError(RunFailure{procStat, kNegativeReply, FailureKind::kProtocol,
                             "-ERR The server reports " + std::to_string(count) +
                                 " messages, more than the " +
                                 std::to_string(MailboxWalk::kMaxMessages) + " one run can read"});
    return;
  }
  walk_.Start(count);
  if (checkReplies_) {
    // The ids were asked for with the count. More messages than ids known
    // as judged: some message is new, and its size will be asked for; the
    // server lists it too while the ids are read.
    if (!sizesAsked_ && count > KnownJudgedIds()) ListSizes();
    return;  // the listing's reply goes on, an empty mailbox's too
  }
  if (count < 1) {
    Quit();
    return;
  }
  ListIds();
}

void TProcessingRun::ListIds() {
  client_.Uidl(ReplyTo(procUidlList), [this](std::string_view line) { ListIdsLine(line); });
}

void TProcessingRun::ListSizes() {
  sizesAsked_ = true;
  client_.List(ReplyTo(procListSizes), [this](std::string_view line) { ListSizesLine(line); });
}

// The table as it starts (the titles' row and an empty one), nothing
// remembered as not picked.
bool TProcessingRun::NothingJudgedYet() const {
  return KnownJudgedIds() <= DataTable::kInitialRowCount &&
         table_.Cell(DataTable::kIdColumn, 1).empty();
}

// At most one id a stored row (IsTaken finds none in a row never written,
// the listings giving no empty id) and one a remembered unpicked mail.
int64_t TProcessingRun::KnownJudgedIds() const {
  return int64_t{table_.StoredRowCount()} +
         static_cast<int64_t>(rememberedUnpicked_ ? rememberedUnpicked_->size() : 0);
}

void TProcessingRun::ListIdsLine(std::string_view line) {
  const UidlEntry entry = ParseUidlLine(line);
  walk_.ListId(entry.number, entry.id);
}

void TProcessingRun::ListSizesLine(std::string_view line) {
  const TwoNumbers entry = ParseTwoNumbers(line);
  walk_.ListSize(entry.first, entry.second);
}

// The sizes tell which messages are small enough to be read whole at once
// (StartHeaderRead). They are asked for only when the listing holds a
// message to read, so a poll that finds nothing new costs no more.
void TProcessingRun::ListSizesOrWalk() {
  bool anyToRead = false;
  for (int32_t number = 1; number <= walk_.Count() && !anyToRead; ++number) {
    const std::optional<std::string>& id = walk_.Id(number);
    anyToRead = !id || (walk_.IdTrusted(number) && !IsTaken(*id) && !IsRememberedUnpicked(*id));
  }
  if (!anyToRead) {
    Walk();
    return;
  }
  ListSizes();
}

// A loop, not a request per message: a mailbox of ten thousand mails taken
// long ago costs no command at all.
void TProcessingRun::Walk() {
  while (phase_ == runActive && client_.ReadyForCommand()) {
    if (checkCovers_ == 0 && !unchecked_.empty()) {
      SendCheck();
      continue;
    }
    if (!deletesDue_.empty()) {
      SendDele(deletesDue_.front());
      deletesDue_.pop_front();
      continue;
    }
    if (walk_.AllLookedAt()) break;
    const int32_t number = walk_.NextToLookAt();
    if (walk_.Id(number)) {
      StartMessage(number);
    } else {
      client_.Uidl(number, ReplyTo(procUidl, number));
    }
  }
  if (phase_ != runActive || !deletesDue_.empty() || !unchecked_.empty() || !walk_.AllLookedAt() ||
      client_.RequestsOut() > 0) {
    return;
  }
  // The last rows' lines go in before their DELEs, and those before the QUIT.
  if (tableFiles_.RowsWaiting()) {
    WriteTakenRows();
    return;
  }
  // The server removes what this run marked for deletion when QUIT
  // succeeds; the rows of those messages, and their titles, must be on disk
  // by then.
  tableFiles_.CloseRows();
  if (counts_.deleted > 0) {
    tableFiles_.SyncRows();
    SaveTitles();
  }
  Quit();
}

// The message's id is known: a new one gets its header read; one judged
// already is passed over, with its DELE again when it is taken and deleting
// is on.
void TProcessingRun::StartMessage(int32_t number) {
  if (!walk_.IdTrusted(number)) {
    ++counts_.untrustedIds;
    walk_.Finish(number, false);
    ReleaseFinished();
    return;
  }
  const std::string& id = *walk_.Id(number);
  if (!IsJudgedAlready(number, id)) {
    StartHeaderRead(number);
    return;
  }
  if (IsTakenToDeleteAgain(id)) {
    ReadHeader(number, procProve);
    return;
  }
  walk_.Finish(number, false);
  ReleaseFinished();
}

// The header of a mail listed under a taken id: the one taken is deleted
// again; another is new mail, read as such, and its id no longer proves
// anything of the old one.
void TProcessingRun::ProveTaken(int32_t number, ParsedMessage header) {
  const std::string& id = *walk_.Id(number);
  TakenHeaders& digests = Digests();
  const auto taken = digests.find(id);
  if (taken != digests.end() && taken->second == header.headerDigest) {
    deletesDue_.push_back(number);
    walk_.Finish(number, false);
    ReleaseFinished();
    return;
  }
  ++counts_.reusedIds;
  if (taken != digests.end()) {
    digests.erase(taken);
    takenHeadersChanged_ = true;
  }
  MessageRead(procTop, number, std::move(header));
}

// A large message, an ordinary mail with attachments perhaps, has its header
// read first.
void TProcessingRun::StartHeaderRead(int32_t number) {
  const int32_t size = walk_.Size(number);
  if (topRefused_ || (size != MailboxWalk::kSizeUnknown && size <= kWholeMessageBytes)) {
    StartRetr(number);
    return;
  }
  ReadHeader(number, procTop);
}

// Body lines a server sends with TOP anyway are no items: only the header is
// read.
void TProcessingRun::ReadHeader(int32_t number, TProcessState step) {
  client_.Top(
      number, 0,
      [this](std::string_view line) {
        if (parser_.InHeader()) parser_.Line(line);
      },
      ReplyTo(step, number));
}

void TProcessingRun::StartRetr(int32_t number) {
  client_.Retr(
      number, [this](std::string_view line) { parser_.Line(line); }, ReplyTo(procRetr, number));
}

// A header that picks its message has the message read at once: that
// judgement commits nothing, and a RETR read out of step is caught like any
// other reply. What a message finally gave waits, while pipelining, for the
// check behind it.
void TProcessingRun::MessageRead(TProcessState step, int32_t number, ParsedMessage message) {
  if (step == procTop && message.picked) {
    StartRetr(number);
    return;
  }
  if (checkReplies_) {
    unchecked_.push_back({step, number, std::move(message)});
    return;
  }
  FinishMessage(number, step == procRetr, std::move(message));
}

// The check asks for the id of the last message read: its reply comes behind
// every reply before it.
void TProcessingRun::SendCheck() {
  const int32_t number = unchecked_.back().number;
  checkCovers_ = unchecked_.size();
  client_.Uidl(number, ReplyTo(procCheck, number));
}

// "+OK n id" for the message asked, its id as listed, or the replies are not
// the ones their requests think: nothing of the session is committed.
void TProcessingRun::TakeCheck(int32_t number, const Pop3Reply& reply) {
  const UidlEntry entry = ParseUidlLine(reply.text);
  const std::optional<std::string>& id = walk_.Id(number);
  if (entry.number != number || !id || entry.id != *id) {
    StopWithError(
        RunFailure{procCheck, kNegativeReply, FailureKind::kProtocol,
                   "-ERR The server's replies went out of step (found at the check of message " +
                       std::to_string(number) + "); nothing of this session was committed"});
    return;
  }
  for (; checkCovers_ > 0; --checkCovers_) {
    ReadResult read = std::move(unchecked_.front());
    unchecked_.pop_front();
    FinishMessage(read.number, read.step == procRetr, std::move(read.message));
  }
}

// The reply of message `number` is in (`readWhole`: its RETR, otherwise a
// header that did not pick it); what it gave waits for the messages before it.
void TProcessingRun::FinishMessage(int32_t number, bool readWhole, ParsedMessage message) {
  if (readWhole && message.picked && !message.readable) {
    // Stored, its row would not say what the mail says, and deleted, the
    // order would be lost: it stays on the server, remembered as judged.
    ++counts_.unreadable;
    walk_.NoteUnpicked(number);
    walk_.Finish(number, true);
  } else if (readWhole && message.picked) {
    walk_.Finish(number, true, std::make_unique<ParsedMessage>(std::move(message)));
  } else {
    walk_.NoteUnpicked(number);
    walk_.Finish(number, true);
  }
  ReleaseFinished();
}

void TProcessingRun::ReleaseFinished() {
  while (std::optional<MailboxWalk::Released> done = walk_.NextReleased()) {
    if (done->row) TakeRow(done->number, *done->row);
    if (done->counted) {
      reporter_.ShowStatus(std::to_string(done->number) + "/" + std::to_string(counts_.messages) +
                           Cp932Text(UserText::kProcessed));
    }
    if (done->row && settings_.deleteAfterReading) deletesAfterWrite_.push_back(done->number);
  }
}

void TProcessingRun::TakeRow(int32_t number, const ParsedMessage& row) {
  ++counts_.taken;
  // Kept as a row all the same, but named in the summary: an order whose
  // lines none split (another separator typed) must not pass unseen.
  if (std::ranges::all_of(row.values, [](const std::string& value) { return value.empty(); })) {
    ++counts_.valueless;
  }
  const std::optional<std::string>& id = walk_.Id(number);
  if (tableFiles_.TakeRow(runStamp_, StoredId(id ? *id : std::string()), row)) {
    titlesSaved_ = true;
  }
  if (id) {
    Digests()[*id] = row.headerDigest;
    takenHeadersChanged_ = true;
  }
  reporter_.TableChanged();
}

// The rows the replies of one read gave go into AllData.csv together: a
// write and its checks per read instead of per row. Until then they are not
// taken, and their DELEs wait: a server that deleted at the DELE, against the
// rules, must still find every row written first. Then the walk goes on.
void TProcessingRun::WriteTakenRows() {
  if (phase_ != runActive || !tableFiles_.RowsWaiting()) return;
  std::vector<int32_t> deletes;
  try {
    deletes = WriteRowsWithProofs();
  } catch (const std::exception& error) {
    StopWithError(ExceptionFailure(procRetr, error));
    return;
  }
  deletesDue_.insert(deletesDue_.end(), deletes.begin(), deletes.end());
  Walk();
}

// A run that ends early keeps the rows it read whole, as far as the files
// let it; what they refuse is read again by the next run.
void TProcessingRun::KeepTakenRows() {
  try {
    WriteRowsWithProofs();
  } catch (const std::exception&) {
    // The run ends with its own report; these rows are simply not taken.
  }
}

// Writes the rows waiting, their proofs first; gives the messages whose DELE
// the write let go, or raises what AllData.csv raises (none of them then).
std::vector<int32_t> TProcessingRun::WriteRowsWithProofs() {
  AppendProofs();
  std::vector<int32_t> deletes = std::exchange(deletesAfterWrite_, {});
  tableFiles_.WriteRows();
  return deletes;
}

// The proofs of the rows about to be written, when they are to be deleted, go
// to TakenHeaders.txt first: a run killed before its QUIT leaves those mails
// on the server, and only a proof lets the next run delete them, while a
// proof of a mail never taken proves nothing. One that cannot be written only
// leaves its mail on the server should the run not reach its end, where the
// whole file is written again.
void TProcessingRun::AppendProofs() {
  if (deletesAfterWrite_.empty()) return;
  std::vector<std::string> ids;
  ids.reserve(deletesAfterWrite_.size());
  for (const int32_t number : deletesAfterWrite_) ids.push_back(*walk_.Id(number));
  try {
    AppendTakenHeaders(TakenHeadersPath(tableFiles_.Paths()), Digests(), ids);
  } catch (const EInOutError&) {
  }
}

void TProcessingRun::SendDele(int32_t number) {
  client_.Dele(number, ReplyTo(procDele, number));
  deletedIds_.insert(*walk_.Id(number));
  ++counts_.deleted;
}

void TProcessingRun::Quit() { client_.Quit(ReplyTo(procQuit)); }

void TProcessingRun::Complete() {
  if (!titlesSaved_) SaveTitles();
  SaveUnpicked();
  SaveTakenHeaders(true);
  ShowSummary();
  phase_ = runCompleted;
  LeaveRun();
  reporter_.RunEnded(RunOutcome::completed);
}

// ---- What is known of a message ----

// A message whose row is on disk already while deleting is on: the DELE of
// the run that took it may have been lost with that run. Only one whose
// header digest was kept can prove it is that mail (ProveTaken); without it
// the mail stays on the server. An id the title row holds names no row of
// ours.
bool TProcessingRun::IsTakenToDeleteAgain(const std::string& msgUidl) {
  const std::string storedId = StoredId(msgUidl);
  return settings_.deleteAfterReading && Digests().contains(msgUidl) &&
         table_.Cell(DataTable::kIdColumn, 0) != storedId && table_.IsUidlTaken(storedId);
}

// Whether the message with `msgUidl` needs no more commands: taken into the
// table already, or remembered as not picked under the current trigger line
// (and so kept remembered).
bool TProcessingRun::IsJudgedAlready(int32_t number, const std::string& msgUidl) {
  if (IsTaken(msgUidl)) return true;
  if (!IsRememberedUnpicked(msgUidl)) return false;
  walk_.NoteUnpicked(number);
  return true;
}

bool TProcessingRun::IsTaken(const std::string& msgUidl) const {
  return table_.IsUidlTaken(StoredId(msgUidl));
}

bool TProcessingRun::IsRememberedUnpicked(const std::string& msgUidl) const {
  return rememberedUnpicked_ && rememberedUnpicked_->contains(msgUidl);
}

// ---- Files and texts ----

void TProcessingRun::SaveTitles() {
  tableFiles_.SaveTitles();
  titlesSaved_ = true;
}

// A file that cannot be written only costs the next run a header read per
// remembered message; it is no reason to spoil a run that took its mail. An
// unchanged one is left alone: polls every few minutes would otherwise sync
// the disk for nothing.
void TProcessingRun::SaveUnpicked() {
  const std::vector<std::string> unpicked = walk_.UnpickedIds();
  if (rememberedUnpicked_ &&
      *rememberedUnpicked_ == std::unordered_set<std::string>(unpicked.begin(), unpicked.end())) {
    return;
  }
  try {
    SaveUnpickedIds(tableFiles_.Paths().unpicked, settings_.rules.triggerLine, unpicked);
  } catch (const EInOutError&) {
  }
}

// The counts of mails left on the server follow only when there are any, so
// an ordinary run's summary reads as it always has.
// After a completed run only the mails still on the server need their proof
// (`keepOnlyThisMailbox`); a stopped run keeps every digest it had. A file
// that cannot be written costs only a later DELE (nothing is deleted without
// proof), so it spoils no run.
// Loaded when first needed: a poll that finds nothing new with deleting off
// never reads or writes the file.
TakenHeaders& TProcessingRun::Digests() {
  if (!takenHeaders_) takenHeaders_ = LoadTakenHeaders(TakenHeadersPath(tableFiles_.Paths()));
  return *takenHeaders_;
}

void TProcessingRun::SaveTakenHeaders(bool keepOnlyThisMailbox) {
  if (!takenHeaders_) return;
  if (keepOnlyThisMailbox) {
    const auto gone = [this](const TakenHeaders::value_type& taken) {
      const int32_t number = walk_.NumberWithId(taken.first);
      return number == 0 || !walk_.IdTrusted(number) || deletedIds_.contains(taken.first);
    };
    if (std::erase_if(*takenHeaders_, gone) > 0) takenHeadersChanged_ = true;
  }
  if (!takenHeadersChanged_) return;
  try {
    vexalo::SaveTakenHeaders(TakenHeadersPath(tableFiles_.Paths()), *takenHeaders_);
    takenHeadersChanged_ = false;
  } catch (const EInOutError&) {
  }
}

void TProcessingRun::ShowSummary() {
  std::string text = Cp932Text(UserText::kSummaryMessages) + std::to_string(counts_.messages) +
                     Cp932Text(UserText::kSummaryTaken) + std::to_string(counts_.taken) +
                     Cp932Text(UserText::kSummaryRows) + std::to_string(table_.RowCount() - 1);
  const auto appendCount = [&text](UserText label, size_t count) {
    if (count == 0) return false;
    text += Cp932Text(label) + std::to_string(count) + Cp932Text(UserText::kCountUnit);
    return true;
  };
  appendCount(UserText::kSummaryUntrustedIds, static_cast<size_t>(counts_.untrustedIds));
  appendCount(UserText::kSummaryReusedIds, static_cast<size_t>(counts_.reusedIds));
  appendCount(UserText::kSummaryUnreadable, static_cast<size_t>(counts_.unreadable));
  if (appendCount(UserText::kSummaryUndelivered, counts_.undelivered.size())) {
    constexpr size_t kNamedAtMost = 3;  // a status line, not a log
    text += Cp932Text(UserText::kListOpen);
    for (size_t i = 0; i < std::min(counts_.undelivered.size(), kNamedAtMost); ++i) {
      if (i > 0) text += Cp932Text(UserText::kListSeparator);
      text += std::to_string(counts_.undelivered[i].number) +
              Cp932Text(UserText::kMessageNumberMark) + counts_.undelivered[i].text;
    }
    if (counts_.undelivered.size() > kNamedAtMost) text += Cp932Text(UserText::kListCut);
    text += Cp932Text(UserText::kListClose);
  }
  appendCount(UserText::kSummaryValueless, static_cast<size_t>(counts_.valueless));
  reporter_.ShowStatus(text);
}

// The run stays busy while the user decides, so no timer tick starts another
// one behind the question. Trusted: the fingerprint is kept in the settings
// (saved with them) and the run starts over with it.
void TProcessingRun::AskToTrustCertificate(TProcessState step, const Pop3Reply& reply) {
  const CertificateQuestion question{settings_.endpoint.host, WithoutErrMark(reply.text),
                                     *client_.UntrustedCertificate()};
  if (!reporter_.TrustCertificate(question)) {
    StopWithError(ReplyFailure(step, reply));
    return;
  }
  fields_.SetTlsFingerprintText(question.facts.fingerprint);
  phase_ = runStopped;
  client_.Abort();
  LeaveRun();
  MenuProcessClick();
}

void TProcessingRun::StopWithError(const RunFailure& failure) {
  phase_ = runStopped;
  KeepTakenRows();
  SaveTakenHeaders(false);
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
  reporter_.ShowRunError(Cp932Text(UserText::kRunErrorHead) + failure.detail + ")\r\n" +
                             Cp932Text(UserText::kRunErrorQuit) + "\r\n" +
                             Cp932Text(UserText::kRunErrorCheck),
                         failure);
  reporter_.RunEnded(RunOutcome::failed);
}

}  // namespace vexalo
