#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "auth/BackgroundCall.h"
#include "auth/OAuthProvider.h"
#include "mail/MessageParser.h"
#include "pop3/Pop3Client.h"
#include "run/MailboxWalk.h"
#include "run/RunReporter.h"
#include "run/RunStamp.h"
#include "run/TableFiles.h"
#include "run/TakenHeaders.h"
#include "table/RunLock.h"

namespace vexalo {

class DataTable;
class SettingsFields;
class TJisConv;

// Where a run stands as a whole.
enum TRunPhase : uint8_t {
  runIdle = 0,       // no run started yet
  runActive = 1,     // from the start of Connect until QUIT completes or the run stops
  runCompleted = 2,  // the last run reached its summary
  runStopped = 3,    // the last run stopped: error box, or cancelled
};

const char* ToString(TRunPhase phase);

// ProcessState: the step of a run a POP3 request was sent for; a failure
// names the step whose reply failed.
enum TProcessState : int32_t {
  procConnect = 0,
  procUser = 1,
  procPass = 2,
  procStat = 3,
  procUidl = 4,  // UIDL n: the id of one message the listing left out
  procRetr = 5,
  procDele = 6,
  procQuit = 7,
  procUidlList = 8,    // UIDL without a number: every message's id at once
  procTop = 9,         // TOP n 0: the header of a message not yet judged
  procCapa = 10,       // CAPA after the login: whether the server pipelines
  procListSizes = 11,  // LIST without a number: every message's size at once
  procCheck = 12,      // UIDL n behind pipelined replies: whether they kept in step
  procProve = 13,      // TOP n 0 of a mail taken before: whether it is the one taken
  procToken = 14,      // OAuth 2.0: an access token, refreshed when due, before Connect
  procAuth = 15,       // AUTH XOAUTH2 in place of USER and PASS
};

// The enumerator's name, or "?" for a value outside it.
const char* ToString(TProcessState state);
// So that a failed check names the state rather than a number.
std::ostream& operator<<(std::ostream& out, TProcessState state);

// What the last run counted.
struct RunCounts {
  int32_t messages = 0;  // in the mailbox, as STAT gave it
  int32_t taken = 0;     // committed as rows
  int32_t deleted = 0;   // DELE requests sent, committed by the run's QUIT
  // Left on the server untouched: their id cannot stand for them (not
  // valid, or shared with another message), so they could be neither told
  // apart from a taken one nor deleted safely.
  int32_t untrustedIds = 0;
  // Picked, but without a text to read whole: no row, no DELE, remembered.
  int32_t unreadable = 0;
  // Listed under the id of a mail taken before, but with another header:
  // read as new mail, never deleted as the one taken.
  int32_t reusedIds = 0;
  // Messages the server refused to hand out (-ERR to their RETR), with its
  // text; tried again by the next run.
  struct Refused {
    int32_t number = 0;
    std::string text;
  };
  std::vector<Refused> undelivered;
  // Taken as rows although their body gave no value at all.
  int32_t valueless = 0;
};

// What a run takes from the settings when it starts: a change in the
// settings dialog while it runs reaches the next run, never this one.
struct RunSettings {
  Pop3Endpoint endpoint;
  std::string userName;
  std::string passWord;
  MessageRules rules;
  bool deleteAfterReading = false;
  bool columnsByName = false;  // COLUMNS: items under their name's column
  // AUTH=1: where the access token comes from; nothing: USER and PASS.
  std::optional<OAuthEndpoints> oauth;

  // SECURITY "0" or absent plain, "1" TLS, "2" STARTTLS (full-width digits
  // too); any other value raises, naming the key. A TIMEOUT that is no
  // positive number means 60 s. An empty trigger line picks every message:
  // with deleting on it raises, since the run would empty the mailbox. AUTH
  // and the OAUTH_ keys raise as OAuthChosen and OAuthEndpointsFrom do.
  static RunSettings From(const SettingsFields& fields);
};

// One processing run at a time over the POP3 mailbox: connect, USER, PASS
// (with AUTH=1 instead: an access token first, refreshed off the loop when
// it has under a minute left, then connect and AUTH XOAUTH2; a grant that is
// gone ends the run before it connects), CAPA, STAT, one UIDL listing of every message's id (and,
// when one of them is new, one LIST listing of their sizes), then for each message number 1..count
// whose id is neither in column 1 of the table nor remembered as not picked: its header (TOP n 0),
// a RETR when the header holds the trigger line (a message of a few KB is read whole at once
// instead), a DELE for a picked message when deleting is on; finally QUIT, after which FirstRow.csv
// and Unpicked.txt are rewritten and a summary shown. A server that refuses
// the listing is asked UIDL n per message, one that refuses TOP gets RETR for
// every message not yet judged. Every picked message becomes one row of the
// table and one line of AllData.csv, in message order; a picked message
// without items gives a line of the run stamp and its id alone.
//
// When the server's CAPA lists PIPELINING, the requests of the walk go out as
// far ahead as the client's window allows; otherwise one at a time. Either
// way the rows, the deletions and the texts shown come in message order: a
// row waits (in the MailboxWalk) until every earlier message is finished, so
// at most about TPop3Client::kPipelineDepth rows wait at once, those whose
// requests went out before the RETR of the large message they wait for.
// A DELE goes out only once its message's row is in AllData.csv.
//
// A run holds the RunLock beside AllData.csv from its start to its end, and
// first loads the rows another program appended to AllData.csv meanwhile, so
// two programs on one folder never take a mail twice. With deleting on, a
// message already in the table is deleted too: its row is on disk, and a run
// stopped after it was taken but before the server removed it leaves it there.
// Before the QUIT of a run that sent a DELE, AllData.csv is synced and
// FirstRow.csv written, since the server removes the mails at that QUIT and
// they could not be read again for their titles.
//
// Failures abort the POP3 session and then end the run with the run error box
// (RunReporter::ShowRunError), so no QUIT is sent and the server commits no
// DELE of that run; once the box is closed the next fetch may start. Rows
// committed before the failure stay in the table and in AllData.csv.
// A server certificate that is not trusted is put to the reporter first; when
// the user trusts it, its fingerprint goes into the settings and the run
// starts over.
//
// The run must be the only user of the client. All handlers run on the event
// loop's thread. The table, fields, client, converter and reporter must
// outlive it.
class TProcessingRun {
 public:
  // Gives the run stamp text at the start of each run.
  using StampClock = std::function<std::string()>;

  TProcessingRun(DataTable& table, SettingsFields& fields, TPop3Client& client,
                 const TJisConv& jisConv, DataFilePaths files, RunReporter& reporter,
                 StampClock clock = RunStampNow);
  TProcessingRun(const TProcessingRun&) = delete;
  TProcessingRun& operator=(const TProcessingRun&) = delete;
  ~TProcessingRun();

  // Loads FirstRow.csv and then AllData.csv into the table, each on its own;
  // a file that cannot be read goes to `failed`, and loading goes on.
  void LoadTable(const std::function<void(const std::exception&)>& failed);

  // The fetch command. While a run is busy, here or in another program on
  // the same folder: shows the busy message and changes nothing. With an
  // empty host field: shows the settings message and opens the settings.
  // Otherwise starts a run (status "メール受信中") with the client's Connect;
  // a Connect that raises, or a data file or lock that fails, ends it with
  // the run error box.
  void MenuProcessClick();
  // The polling timer's tick: starts a run as the fetch command does, but
  // only when none is busy, and then says nothing.
  void TimerTimer();
  // The stop command: aborts the session of a busy run (no QUIT, so the
  // server commits none of its deletions), shows "受信を中止しました。" and
  // leaves the run stopped; the rows it took stay. Does nothing while idle.
  void Cancel();

  // True from the start of a run until its QUIT completes or it stops, while
  // its error box is open, and whenever the client still holds a connection.
  bool IsBusy() const;
  TRunPhase Phase() const { return phase_; }
  const RunCounts& Counts() const { return counts_; }
  // The rows AllData.csv holds, as the table has them.
  int32_t StoredRowCount() const { return tableFiles_.WorkingRow() - 1; }

 private:
  // Starts a run; `reportBusy` says whether a run busy elsewhere gets the
  // busy message or is passed over in silence.
  void StartRun(bool reportBusy);
  void Connect();
  void FetchAccessToken();
  void TakeAccessToken(std::string token, const std::exception_ptr& error);
  bool EnterRun();
  void LeaveRun();

  TPop3Client::Completion ReplyTo(TProcessState step, int32_t number = 0);
  void HandleReply(TProcessState step, int32_t number, Pop3Reply& reply);
  void Advance(TProcessState step, int32_t number, const Pop3Reply& reply);
  bool ContinueAfterRefusal(TProcessState step, int32_t number, const Pop3Reply& reply);

  void TakeMailboxSize(const Pop3Reply& stat);
  void ListIds();
  void ListSizes();
  bool NothingJudgedYet() const;
  int64_t KnownJudgedIds() const;
  void ListIdsLine(std::string_view line);
  void ListSizesLine(std::string_view line);
  void ListSizesOrWalk();
  void Walk();
  void StartMessage(int32_t number);
  void StartHeaderRead(int32_t number);
  void ReadHeader(int32_t number, TProcessState step);
  void StartRetr(int32_t number);
  void ProveTaken(int32_t number, ParsedMessage header);
  void MessageRead(TProcessState step, int32_t number, ParsedMessage message);
  void SendCheck();
  void TakeCheck(int32_t number, const Pop3Reply& reply);
  void FinishMessage(int32_t number, bool readWhole, ParsedMessage message);
  void ReleaseFinished();
  void TakeRow(int32_t number, const ParsedMessage& row);
  void WriteTakenRows();
  void AppendProofs();
  void KeepTakenRows();
  std::vector<int32_t> WriteRowsWithProofs();
  void SendDele(int32_t number);
  void Quit();
  void Complete();

  bool IsJudgedAlready(int32_t number, const std::string& msgUidl);
  bool IsTaken(const std::string& msgUidl) const;
  bool IsRememberedUnpicked(const std::string& msgUidl) const;
  bool IsTakenToDeleteAgain(const std::string& msgUidl);
  TakenHeaders& Digests();
  void SaveTitles();
  void SaveUnpicked();
  void SaveTakenHeaders(bool keepOnlyThisMailbox);
  void ShowSummary();
  void AskToTrustCertificate(TProcessState step, const Pop3Reply& reply);
  void StopWithError(const RunFailure& failure);

  DataTable& table_;
  SettingsFields& fields_;
  TPop3Client& client_;
  RunReporter& reporter_;
  StampClock clock_;
  TableFiles tableFiles_;
  TMessageParser parser_;
  RunLock lock_;

  TRunPhase phase_ = runIdle;
  // Counts the runs: a completion posted for a run that has stopped since is
  // not taken for one of the run started after it.
  uint32_t generation_ = 0;
  bool errorBoxOpen_ = false;

  // The state of the run in progress, set afresh when it starts.
  RunSettings settings_;
  // OAuth 2.0: the refresh under way, and the token for this run's login
  // (wiped once sent).
  std::shared_ptr<BackgroundCall> tokenCall_;
  std::string accessToken_;
  std::string runStamp_;  // date-time text of this run, written into each taken row
  RunCounts counts_;
  MailboxWalk walk_;
  // Picked messages whose rows are in AllData.csv, in order, waiting for room
  // in the client's window for their DELE.
  std::deque<int32_t> deletesDue_;
  // Picked messages taken while deleting, their rows' lines not written yet.
  std::vector<int32_t> deletesAfterWrite_;
  // While pipelining: what the replies of TOP and RETR gave, waiting for a
  // check (UIDL n) sent after them to show the replies kept in step. A reply
  // doubled, dropped or left unterminated by the server shifts every reply
  // behind it, so the check's reply would be another's.
  struct ReadResult {
    TProcessState step;
    int32_t number;
    ParsedMessage message;
  };
  bool checkReplies_ = false;
  bool sizesAsked_ = false;  // the LIST listing went out
  std::deque<ReadResult> unchecked_;
  size_t checkCovers_ = 0;  // how many of unchecked_ the check out covers; 0: none out
  bool topRefused_ = false;
  bool titlesSaved_ = false;  // FirstRow.csv holds the table's titles of this run already
  // Ids Unpicked.txt held for the current trigger line at the start of the
  // run (nothing: no usable file). The ids of this run's mailbox found or
  // remembered as not picked replace them when the run completes.
  std::optional<std::unordered_set<std::string>> rememberedUnpicked_;
  // The header digests of the mails taken, by id (TakenHeaders.txt), and the
  // ids this run sent a DELE for.
  std::optional<TakenHeaders> takenHeaders_;  // nothing: not loaded yet
  bool takenHeadersChanged_ = false;
  std::unordered_set<std::string> deletedIds_;
};

}  // namespace vexalo
