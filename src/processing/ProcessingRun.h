#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "pop3/Pop3Client.h"
#include "processing/MessageParser.h"
#include "processing/ProcessingState.h"
#include "processing/RunLock.h"
#include "processing/RunReporter.h"
#include "processing/RunStamp.h"
#include "processing/WalkProgress.h"

namespace vexalo {

class DataTable;
class SettingsFields;
class TJisConv;

// Where a run stands as a whole; ProcessState says which request of it is out.
enum TRunPhase : uint8_t {
  runIdle = 0,       // no run started yet
  runActive = 1,     // from the start of Connect until QUIT completes or the run stops
  runCompleted = 2,  // the last run reached its summary
  runStopped = 3,    // the last run stopped: error box, or an invalid state
};

const char* ToString(TRunPhase phase);

// ProcessState: the step of a run whose POP3 request is outstanding.
enum TProcessState : int32_t {
  procConnect = 0,
  procUser = 1,
  procPass = 2,
  procStat = 3,
  procUidl = 4,
  procRetr = 5,
  procDele = 6,
  procQuit = 7,
  procUidlList = 8,  // UIDL without a number: every message's id at once
  procTop = 9,       // TOP n 0: the header of a message not yet judged
  procCapa = 10,       // CAPA after the login: whether the server pipelines
  procListSizes = 11,  // LIST without a number: every message's size at once
};

// The enumerator's name, or "?" for a value outside it.
const char* ToString(TProcessState state);
// So that a failed check names the state rather than a number.
std::ostream& operator<<(std::ostream& out, TProcessState state);

// The fields the run keeps between its handlers. The main window's loader of
// AllData.csv sets CellPos.Y and AllDataEnd at start-up; everything else is
// the run's.
struct RunState {
  // The step whose reply is due next (while pipelining, the oldest request
  // out), or the one being handled.
  TProcessState ProcessState = procConnect;
  int32_t TakenCount = 0;                    // messages committed as rows in this run
  int32_t DeletedCount = 0;                  // DELE requests of this run, committed by its QUIT
  std::string RunStamp;  // date-time text of this run, written into each taken row
  MessageState Message;  // what the parser found in the message being read
  CellPoint CellPos;     // X next column to fill, Y the working row
  // How many bytes of AllData.csv the table holds: what the loader returned
  // at start-up, then the file's length after each line this program wrote.
  // What lies beyond was appended by another program.
  int64_t AllDataEnd = 0;
};

// One processing run at a time over the POP3 mailbox: connect, USER, PASS,
// CAPA, STAT, one UIDL listing of every message's id (and, when one of them
// is new, one LIST listing of their sizes), then for each message number
// 1..MsgCount whose id is neither in column 1 of the table nor remembered as
// not picked: its header (TOP n 0), a RETR when the header holds the trigger
// line (a message of a few KB is read whole at once instead), a DELE for a
// picked message when deleting is on; finally QUIT, after
// which FirstRow.csv and Unpicked.txt are rewritten and a summary shown. A
// server that refuses the listing is asked UIDL n per message, one that
// refuses TOP gets RETR for every message not yet judged. Every picked
// message becomes one row of the table and one line of AllData.csv as soon
// as its RETR completes; a picked message without items gives a line of the
// run stamp and its id alone.
//
// The run drives the client from OnRequestDone, which it wires to itself at
// every start (OnMessageLine to its message parser), so it must be the only
// user of the client. When the server's CAPA lists PIPELINING, the TOP, RETR,
// DELE and UIDL n requests of the walk go out as far ahead as the client's
// window allows; otherwise one at a time. Either way the replies are taken
// in order, so the rows, the deletions and the texts shown are the same. All handlers run on the event loop's
// thread. The table, fields, client, converter and reporter must outlive it.
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
// The connection's protection (SECURITY), pinned certificate and time-out
// come from the settings at every start: SECURITY "1" TLS, "2" STARTTLS,
// anything else plain; a TIMEOUT that is no positive number means 60 s.
class TProcessingRun {
 public:
  // Gives the RunStamp text at the start of each run.
  using StampClock = std::function<std::string()>;

  struct DataFilePaths {
    std::string allData;   // full path of AllData.csv
    std::string firstRow;  // full path of FirstRow.csv
    std::string unpicked;  // full path of Unpicked.txt
  };

  TProcessingRun(DataTable& table, SettingsFields& fields, TPop3Client& client,
                 const TJisConv& jisConv, DataFilePaths files, RunReporter& reporter,
                 StampClock clock = RunStampNow);
  // Clears the client's OnRequestDone and OnMessageLine once a run has set
  // them; a run in progress is not waited for.
  ~TProcessingRun();
  TProcessingRun(const TProcessingRun&) = delete;
  TProcessingRun& operator=(const TProcessingRun&) = delete;

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
  // The client's OnRequestDone, for the oldest request out: a nonzero Error
  // ends the run with the error box (detail: the client's ErrorMessage);
  // otherwise the next step of the state table in the source. Completions
  // while no run is active are ignored.
  void ProcessRequestDone(TPop3Request RqType, uint16_t Error);
  // Per-message state back to "nothing seen yet".
  void ResetMessageState();

  // True from the start of a run until its QUIT completes or it stops, while
  // its error box is open, and whenever the client still holds a connection.
  bool IsBusy() const;
  TRunPhase Phase() const { return phase_; }

  RunState& State() { return state_; }
  const RunState& State() const { return state_; }

 private:
  // A request the run sent: its step and the message it is about (0: none).
  struct SentRequest {
    TProcessState step;
    int32_t number;
  };
  using Pop3Operation = void (TCustomPop3Client::*)();

  void AdvanceState(const SentRequest& answered);
  bool ContinueAfterRefusal(const SentRequest& answered, uint16_t error);
  void Send(TProcessState step, int32_t number, Pop3Operation operation);
  // Moves on to the next message numbers whose id is not known yet (UIDL n
  // when the listing left it out) or not yet judged (TOP), as far as the
  // client takes requests; after the last one, once no reply is due, to QUIT
  // (AllData.csv synced to disk first when this run sent a DELE).
  void NextMessage();
  void StartMessage(int32_t number);
  void BeginMessage();
  void FinishRetrievedMessage(int32_t number);
  void CommitMessage();
  void ShowSummary();
  void AskToTrustCertificate(uint16_t code);
  void StopWithError(const std::string& detail, uint16_t code);
  void StopAtInvalidState();
  void StartUidlList();
  void StartHeaderRead(int32_t number);
  void StartRetr(int32_t number);
  bool IsJudgedAlready(int32_t number, const std::string& msgUidl);
  bool IsTaken(const std::string& msgUidl) const;
  bool IsRememberedUnpicked(const std::string& msgUidl) const;
  void ListSizesOrWalk();
  void RecordListedSize(int32_t number, int32_t size);
  // Whether a message judged already is taken and gets its DELE again.
  bool IsTakenToDeleteAgain(const std::string& msgUidl) const;
  void RecordListedId(int32_t number, const std::string& msgUidl);
  void FinishMessage(int32_t number, bool counted);
  void SaveUnpicked();
  void StartDele(int32_t number);
  // Starts a run; `reportBusy` says whether a run busy elsewhere gets the
  // busy message or is passed over in silence.
  void StartRun(bool reportBusy);
  // Takes the lock and the rows other programs appended; false when another
  // run holds the lock.
  bool EnterRun();
  void LeaveRun();
  void SaveTitles();

  DataTable& table_;
  SettingsFields& fields_;
  TPop3Client& client_;
  DataFilePaths files_;
  RunReporter& reporter_;
  StampClock clock_;

  RunState state_;
  TMessageParser parser_;
  TRunPhase phase_ = runIdle;
  // Requests out, oldest first: the replies come in this order. Message
  // numbers are kept here rather than read back from the client, whose MsgNum
  // a UIDL reply overwrites with whatever number the server puts in it; a
  // server that answered every UIDL with "1" would otherwise keep the run
  // going forever.
  std::deque<SentRequest> sent_;
  int32_t walkNum_ = 0;  // the last message number the walk has looked at
  bool deleteSent_ = false;
  std::string storedId_;      // the id of the message being read, as column 1 holds it
  bool errorBoxOpen_ = false;
  std::string msgUidl_;   // the same id as the server gave it
  // Ids from the UIDL listing by message number; a number the listing left
  // out is asked for alone.
  std::vector<std::optional<std::string>> listedIds_;
  // Sizes from the LIST listing by message number, once the listing holds a
  // message to read; a message at most kWholeMessageBytes long is read whole
  // without its header first.
  static constexpr int32_t kSizeUnknown = -1;
  static constexpr int32_t kWholeMessageBytes = 4096;
  std::vector<int32_t> listedSizes_;
  bool topRefused_ = false;
  // Ids Unpicked.txt held for the current trigger line at the start of the
  // run (nothing: no usable file). The ids of this run's mailbox found or
  // remembered as not picked, kept in progress_, replace them when the run
  // completes.
  std::optional<std::unordered_set<std::string>> rememberedUnpicked_;
  WalkProgress progress_;
  bool titlesSaved_ = false;  // FirstRow.csv holds the table's titles of this run already
  RunLock lock_;
};

}  // namespace vexalo
