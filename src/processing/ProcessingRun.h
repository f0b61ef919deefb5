#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "pop3/Pop3Client.h"
#include "processing/MessageParser.h"
#include "processing/ProcessingState.h"
#include "processing/RunReporter.h"
#include "processing/RunStamp.h"

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
};

// The enumerator's name, or "?" for a value outside it.
const char* ToString(TProcessState state);
// So that a failed check names the state rather than a number.
std::ostream& operator<<(std::ostream& out, TProcessState state);

// The fields the run keeps between its handlers. The main window's loader of
// AllData.csv sets CellPos.Y at start-up; everything else is the run's.
struct RunState {
  TProcessState ProcessState = procConnect;  // the step whose POP3 request is outstanding
  int32_t TakenCount = 0;                    // messages committed as rows in this run
  int32_t DeletedCount = 0;                  // DELE requests of this run, committed by its QUIT
  std::string RunStamp;  // date-time text of this run, written into each taken row
  MessageState Message;  // what the parser found in the message being read
  CellPoint CellPos;     // X next column to fill, Y the working row
};

// One processing run at a time over the POP3 mailbox: connect, USER, PASS,
// STAT, then for each message number 1..MsgCount a UIDL, a RETR when the id is
// not in column 1 of the table yet, a DELE for a picked message when deleting
// is on, and finally QUIT, after which FirstRow.csv is rewritten and a summary
// shown. Every picked message becomes one row of the table and one line of
// AllData.csv as soon as its RETR completes; a picked message without items
// gives a line of the run stamp and its id alone.
//
// The run drives the client one request at a time from OnRequestDone, which it
// wires to itself at every start (OnMessageLine to its message parser), so it
// must be the only user of the client. All handlers run on the event loop's
// thread. The table, fields, client, converter and reporter must outlive it.
//
// Failures end the run with the run error box (RunReporter::ShowMessage) and
// then abort the POP3 session, so no QUIT is sent and the server commits no
// DELE of that run; the connection is gone and the next fetch may start. Rows
// committed before the failure stay in the table and in AllData.csv. A server
// certificate that is not trusted is put to the reporter first; when the user
// trusts it, its fingerprint goes into the settings and the run starts over.
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
  };

  TProcessingRun(DataTable& table, SettingsFields& fields, TPop3Client& client,
                 const TJisConv& jisConv, DataFilePaths files, RunReporter& reporter,
                 StampClock clock = RunStampNow);
  // Clears the client's OnRequestDone and OnMessageLine once a run has set
  // them; a run in progress is not waited for.
  ~TProcessingRun();
  TProcessingRun(const TProcessingRun&) = delete;
  TProcessingRun& operator=(const TProcessingRun&) = delete;

  // The fetch command. While a run is busy: shows the busy message and
  // changes nothing. With an empty host field: shows the settings message and
  // opens the settings. Otherwise starts a run (status "メール受信中") with the
  // client's Connect; a Connect that raises ends it with the run error box.
  void MenuProcessClick();
  // The polling timer's tick: starts a run as the fetch command does, but
  // only when none is busy, and then says nothing.
  void TimerTimer();
  // The client's OnRequestDone: a nonzero Error ends the run with the error
  // box (detail: the client's ErrorMessage); otherwise the next step of the
  // state table in the source. Completions while no run is active are ignored.
  void ProcessRequestDone(TPop3Request RqType, uint16_t Error);
  // Moves on to the next message number with UIDL, or after the last one to
  // QUIT (AllData.csv synced to disk first when this run sent a DELE).
  void NextMessage();
  // Per-message state back to "nothing seen yet".
  void ResetMessageState();

  // True from the start of a run until its QUIT completes or it stops, and
  // whenever the client still holds a connection.
  bool IsBusy() const;
  TRunPhase Phase() const { return phase_; }

  RunState& State() { return state_; }
  const RunState& State() const { return state_; }

 private:
  void AdvanceState();
  void FinishRetrievedMessage();
  void CommitMessage();
  void ShowSummary();
  void AskToTrustCertificate();
  void StopWithError(const std::string& detail);
  void StopAtInvalidState();
  void StartUidl();

  DataTable& table_;
  SettingsFields& fields_;
  TPop3Client& client_;
  DataFilePaths files_;
  RunReporter& reporter_;
  StampClock clock_;

  RunState state_;
  TMessageParser parser_;
  TRunPhase phase_ = runIdle;
  // The message number being walked. Kept here rather than read back from the
  // client, whose MsgNum a UIDL reply overwrites with whatever number the
  // server puts in it; a server that answered every UIDL with "1" would
  // otherwise keep the run going forever.
  int32_t msgNum_ = 0;
  bool deleteSent_ = false;
  std::string storedId_;  // the id of the message being walked, as column 1 holds it
};

}  // namespace vexalo
