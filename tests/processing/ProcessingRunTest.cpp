#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RunRecording.h"
#include "ScriptedPop3Peer.h"
#include "TempFolder.h"
#include "jconv/JisConv.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "processing/DataFiles.h"
#include "processing/DataTable.h"
#include "processing/ProcessingRun.h"
#include "settings/SettingsFields.h"

namespace vexalo {
namespace {

using namespace script;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::RunErrorBox;
using testing::RunSummary;
using testing::TempFolder;
namespace fs = std::filesystem;

constexpr int kTimeoutMs = 10000;
constexpr char kStamp[] = "2024/07/01 9:05:00";

// The texts the run shows, as the user reads them.
constexpr char kReceiving[] = "メール受信中";
constexpr char kBusy[] =
    "接続中です。処理が終了するまで待ってください。もしいつまでたっても終了しない場合は、"
    "ソフトを再起動してみてください。";
constexpr char kNoHost[] = "メールサーバ(POP3)への接続設定を完了したのち、処理を行ってください。";

// A picked message with two items; its second value holds a comma.
constexpr char kPickedMessage[] =
    "Subject: order\r\n"
    "X-VEXALO: default\r\n"
    "\r\n"
    "name:miso\r\n"
    "count:1,500\r\n";
constexpr char kUnpickedMessage[] =
    "Subject: hello\r\n"
    "\r\n"
    "name:not an order\r\n";

class ProcessingRunTest : public ::testing::Test {
 protected:
  ProcessingRunTest() {
    fields.host = "127.0.0.1";
    fields.userName = "bob";
    fields.passWord = "secret";
    fields.headerToken = "X-VEXALO: default";
    fields.splitToken = ":";
  }

  std::string AllDataPath() const { return folder.Path(kAllDataFileName); }
  std::string FirstRowPath() const { return folder.Path(kFirstRowFileName); }

  // Starts a fetch against `peer` and runs the loop until the run is over.
  void FetchFrom(const ScriptedPop3Peer& peer) {
    fields.port = peer.PortText();
    run.MenuProcessClick();
    ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));
  }

  // Runs the loop until the peer has seen the client go.
  void WaitForClientClose(const ScriptedPop3Peer& peer) {
    ASSERT_TRUE(loop.RunUntil([&] { return peer.ClientClosed(); }, kTimeoutMs));
  }

  TempFolder folder;
  PollEventLoop loop;
  DataTable table;
  PlainSettingsFields fields;
  TPop3Client client{loop};
  TJisConv jisConv;
  RecordingReporter reporter;
  TProcessingRun run{table,
                     fields,
                     client,
                     jisConv,
                     TProcessingRun::DataFilePaths{AllDataPath(), FirstRowPath()},
                     reporter,
                     [] { return std::string(kStamp); }};
};

// A script that begins with the greeting and bob's login, then plays `rest`.
std::vector<ScriptedPop3Peer::Step> AfterLogin(std::vector<ScriptedPop3Peer::Step> rest) {
  std::vector<ScriptedPop3Peer::Step> steps = {
      Send("+OK ready\r\n"), Expect("USER bob"), Send("+OK\r\n"),
      Expect("PASS secret"), Send("+OK\r\n"),
  };
  steps.insert(steps.end(), std::make_move_iterator(rest.begin()),
               std::make_move_iterator(rest.end()));
  return steps;
}

// One row taken in an earlier run, as the loaders leave the table.
void AddEarlierRow(DataTable& table, TProcessingRun& run, const std::string& id) {
  table.SetRow(1, {"2024/06/30 8:00:00", id, "soy"});
  table.SetRowCount(2);
  run.State().CellPos.Y = 2;
}

TEST_F(ProcessingRunTest, SkipsTakenIdsTakesAndDeletesPickedMessagesAndQuits) {
  AddEarlierRow(table, run, "id-1");
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 3 900\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 1 id-1\r\n"),
                                  Expect("UIDL 2"),
                                  Send("+OK 2 id-2\r\n"),
                                  Expect("RETR 2"),
                                  Send(std::string("+OK\r\n") + kPickedMessage + ".\r\n"),
                                  Expect("DELE 2"),
                                  Send("+OK deleted\r\n"),
                                  Expect("UIDL 3"),
                                  Send("+OK 3 id-3\r\n"),
                                  Expect("RETR 3"),
                                  Send(std::string("+OK\r\n") + kUnpickedMessage + ".\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK bye\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_TRUE(peer.Finished());
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::string>{kReceiving, "2/3通処理しました。", "3/3通処理しました。",
                                      RunSummary(3, 1, 2)}));
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-2,miso,1\x81\x43"
            "500\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.ColCount(), 4);
  EXPECT_EQ(table.Cell(0, 2), kStamp);
  EXPECT_EQ(table.Cell(1, 2), "id-2");
  EXPECT_EQ(table.Cell(3, 2),
            "1\x81\x43"
            "500");
  EXPECT_EQ(run.State().CellPos.X, 2);
  EXPECT_EQ(run.State().CellPos.Y, 3);
  EXPECT_EQ(run.State().TakenCount, 1);
}

TEST_F(ProcessingRunTest, EmptyIdCountsAsTakenWhileTheTitleOfColumnOneIsEmpty) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 1 300\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 1\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses, (std::vector<std::string>{kReceiving, RunSummary(1, 0, 1)}));
  EXPECT_FALSE(fs::exists(AllDataPath()));
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,\r\n");
}

// Its line in AllData.csv holds what its row holds, the stamp and the id with
// its comma escaped, so the id is known again after a restart.
TEST_F(ProcessingRunTest, PickedMessageWithoutItemsLeavesItsStampAndIdAndTwoColumns) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 1 300\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 1 id,1\r\n"),
                                  Expect("RETR 1"),
                                  Send("+OK\r\nX-VEXALO: default\r\n\r\n%:only a comment\r\n.\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses.back(), RunSummary(1, 1, 1));
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id\x81\x43"
            "1\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",\r\n");
  EXPECT_EQ(table.ColCount(), 2);
  EXPECT_EQ(table.Cell(0, 1), kStamp);
  EXPECT_EQ(table.Cell(1, 1),
            "id\x81\x43"
            "1");
}

// The last line of a base64 body often has no line end of its own; the run
// finishes the message before it commits the row, so that line is an item.
TEST_F(ProcessingRunTest, LastLineOfABase64BodyWithoutItsLineEndIsTaken) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 1 300\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 1 b64\r\n"),
                                  Expect("RETR 1"),
                                  // "a:1\r\nb:2"
                                  Send("+OK\r\nX-VEXALO: default\r\n"
                                       "Content-Transfer-Encoding: base64\r\n\r\n"
                                       "YToxDQpiOjI=\r\n.\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(ReadBytes(AllDataPath()), "2024/07/01 9:05:00,b64,1,2\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,a,b\r\n");
}

// The UIDL reply's number overwrites the client's MsgNum; a server that puts
// the wrong number there must not send the walk back or off its course.
TEST_F(ProcessingRunTest, WalksEveryMessageNumberWhateverNumberTheUidlReplyCarries) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 2 600\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 7 id-a\r\n"),
                                  Expect("RETR 1"),
                                  Send(std::string("+OK\r\n") + kUnpickedMessage + ".\r\n"),
                                  Expect("UIDL 2"),
                                  Send("+OK 1 id-b\r\n"),
                                  Expect("RETR 2"),
                                  Send(std::string("+OK\r\n") + kUnpickedMessage + ".\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::string>{kReceiving, "1/2通処理しました。", "2/2通処理しました。",
                                      RunSummary(2, 0, 1)}));
}

// A rejected UIDL ends the run with the error box and no QUIT, and the
// dropped session leaves the next fetch free to start.
TEST_F(ProcessingRunTest, RejectedUidlStopsWithTheErrorBoxAbortsAndLetsTheNextFetchRun) {
  ScriptedPop3Peer refusing(loop, AfterLogin({
                                      Expect("STAT"),
                                      Send("+OK 2 600\r\n"),
                                      Expect("UIDL 1"),
                                      Send("-ERR unknown command\r\n"),
                                  }));
  FetchFrom(refusing);
  WaitForClientClose(refusing);

  EXPECT_EQ(refusing.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{RunErrorBox("-ERR unknown command")});
  EXPECT_EQ(reporter.statuses, std::vector<std::string>{kReceiving});
  EXPECT_FALSE(fs::exists(FirstRowPath()));

  ScriptedPop3Peer empty(loop, AfterLogin({
                                   Expect("STAT"),
                                   Send("+OK 0 0\r\n"),
                                   Expect("QUIT"),
                                   Send("+OK\r\n"),
                                   Close(),
                               }));
  FetchFrom(empty);

  EXPECT_EQ(empty.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.statuses.back(), RunSummary(0, 0, 1));
}

TEST_F(ProcessingRunTest, FetchAndTimerDuringTheConnectAreTurnedAwayWithoutHarm) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 0 0\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  fields.port = peer.PortText();
  run.MenuProcessClick();
  ASSERT_FALSE(client.Connected());  // still connecting: the client alone would not refuse
  run.MenuProcessClick();
  run.TimerTimer();
  ASSERT_TRUE(loop.RunUntil([&] { return client.Connected(); }, kTimeoutMs));
  run.TimerTimer();
  run.MenuProcessClick();
  ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_EQ(reporter.messages, (std::vector<std::string>{kBusy, kBusy}));
  EXPECT_EQ(reporter.statuses, (std::vector<std::string>{kReceiving, RunSummary(0, 0, 1)}));
}

TEST_F(ProcessingRunTest, EmptyHostAsksForTheSettingsOnEveryStartAndLeavesTheClientAlone) {
  fields.host.clear();
  run.MenuProcessClick();
  run.TimerTimer();

  EXPECT_EQ(reporter.messages, (std::vector<std::string>{kNoHost, kNoHost}));
  EXPECT_EQ(reporter.settingsOpened, 2);
  EXPECT_TRUE(reporter.statuses.empty());
  EXPECT_EQ(client.State(), pop3Ready);
  EXPECT_EQ(client.Host(), "");
  EXPECT_FALSE(run.IsBusy());
}

TEST_F(ProcessingRunTest, UnknownStepShowsTheInvalidStateTextAndDropsTheSession) {
  ScriptedPop3Peer peer(loop, {Send("+OK ready\r\n")});
  fields.port = peer.PortText();
  run.MenuProcessClick();
  run.State().ProcessState = static_cast<TProcessState>(8);
  ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses, (std::vector<std::string>{kReceiving, "エラー: 無効な状態です。"}));
}

// The server removes what a run marked for deletion at its QUIT; if the rows
// of those messages cannot be made durable first, no QUIT may go out.
TEST_F(ProcessingRunTest, NoQuitAfterDeletionsWhenAllDataCannotBeSynced) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 1 300\r\n"),
                                  Expect("UIDL 1"),
                                  Send("+OK 1 id-1\r\n"),
                                  Expect("RETR 1"),
                                  Send(std::string("+OK\r\n") + kPickedMessage + ".\r\n"),
                                  Expect("DELE 1"),
                                  Send("+OK deleted\r\n"),
                              }));
  // The file goes away between its append and the sync before QUIT.
  client.OnResponse = [&](TCustomPop3Client&, const std::string& line) {
    if (line == "+OK deleted") fs::remove(AllDataPath());
  };
  FetchFrom(peer);
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{RunErrorBox("ファイルが見つかりません")});
  EXPECT_FALSE(fs::exists(FirstRowPath()));
}

// The connection settings reach the client at every start; what is no
// valid choice falls back to the plain connection and the 60 s time-out.
TEST_F(ProcessingRunTest, ConnectionSettingsAreReadAtEveryStart) {
  const struct {
    const char* security;
    const char* timeout;
    TPop3Security expectedSecurity;
    int32_t expectedTimeout;
  } cases[] = {
      {"0", "60", secPlain, 60}, {"1", "5", secTls, 5},      {" 2 ", "30", secStartTls, 30},
      {"", "", secPlain, 60},    {"ssl", "0", secPlain, 60}, {"3", "-5", secPlain, 60},
      {"1", "abc", secTls, 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.security) + "/" + c.timeout);
    ScriptedPop3Peer peer(loop, {Close()});
    fields.security = c.security;
    fields.timeout = c.timeout;
    fields.tlsFingerprint = "AB:CD";
    fields.port = peer.PortText();
    run.MenuProcessClick();
    EXPECT_EQ(client.Security(), c.expectedSecurity);
    EXPECT_EQ(client.Timeout(), c.expectedTimeout);
    EXPECT_EQ(client.TlsFingerprint(), "AB:CD");
    client.Abort();
    ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));
  }
}

}  // namespace
}  // namespace vexalo
