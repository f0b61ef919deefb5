#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FileSizeLimit.h"
#include "RunRecording.h"
#include "ScriptedPop3Peer.h"
#include "TempFolder.h"
#include "auth/OAuthGrant.h"
#include "auth/SecretStore.h"
#include "cipher/Base64.h"
#include "cipher/Md5.h"
#include "jconv/JisConv.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "run/ProcessingRun.h"
#include "run/TakenHeaders.h"
#include "settings/SettingsFields.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RowText.h"

namespace vexalo {
namespace {

using namespace script;
using testing::FileSizeLimit;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::RunErrorBox;
using testing::RunSummary;
using testing::TempFolder;
using testing::WriteBytes;
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
// Their headers, as TOP n 0 gives them.
constexpr char kPickedHeader[] =
    "Subject: order\r\n"
    "X-VEXALO: default\r\n"
    "\r\n";
constexpr char kUnpickedHeader[] =
    "Subject: hello\r\n"
    "\r\n";
constexpr char kTrigger[] = "X-VEXALO: default";

// A positive multi-line reply carrying `text`.
std::string Lines(const std::string& text) { return "+OK\r\n" + text + ".\r\n"; }

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
  std::string UnpickedPath() const { return folder.Path(kUnpickedFileName); }

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
                     DataFilePaths{AllDataPath(), FirstRowPath(), UnpickedPath()},
                     reporter,
                     [] { return std::string(kStamp); }};
};

// CAPA replies: a server that answers one command at a time, and one that
// pipelines.
constexpr char kLockStepCapa[] = "+OK\r\nTOP\r\nUIDL\r\n.\r\n";
constexpr char kPipeliningCapa[] = "+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n";

// A script that begins with the greeting, bob's login and CAPA answered with
// `capa`, then plays `rest`.
std::vector<ScriptedPop3Peer::Step> AfterLogin(std::vector<ScriptedPop3Peer::Step> rest,
                                               const std::string& capa = kLockStepCapa) {
  std::vector<ScriptedPop3Peer::Step> steps = {
      Send("+OK ready\r\n"), Expect("USER bob"), Send("+OK\r\n"), Expect("PASS secret"),
      Send("+OK\r\n"),       Expect("CAPA"),     Send(capa),
  };
  steps.insert(steps.end(), std::make_move_iterator(rest.begin()),
               std::make_move_iterator(rest.end()));
  return steps;
}

// The login, then a mailbox of one message whose listing gives `id`, then `rest`.
std::vector<ScriptedPop3Peer::Step> OneMessage(const std::string& id,
                                               std::vector<ScriptedPop3Peer::Step> rest) {
  std::vector<ScriptedPop3Peer::Step> steps = {
      Expect("STAT"),
      Send("+OK 1 300\r\n"),
      Expect("UIDL"),
      Send(Lines("1" + (id.empty() ? "" : " " + id) + "\r\n")),
  };
  steps.insert(steps.end(), std::make_move_iterator(rest.begin()),
               std::make_move_iterator(rest.end()));
  return AfterLogin(std::move(steps));
}

// STAT, UIDL and LIST answered for a mailbox of `messages` (id and size,
// message 1 first), then `rest`.
std::vector<ScriptedPop3Peer::Step> Listing(
    const std::vector<std::pair<std::string, int>>& messages,
    std::vector<ScriptedPop3Peer::Step> rest) {
  std::string ids;
  std::string sizes;
  int total = 0;
  for (size_t at = 0; at < messages.size(); ++at) {
    const std::string number = std::to_string(at + 1);
    ids += number + " " + messages[at].first + "\r\n";
    sizes += number + " " + std::to_string(messages[at].second) + "\r\n";
    total += messages[at].second;
  }
  std::vector<ScriptedPop3Peer::Step> steps = {
      Expect("STAT"),
      Send("+OK " + std::to_string(messages.size()) + " " + std::to_string(total) + "\r\n"),
      Expect("UIDL"),
      Send(Lines(ids)),
      Expect("LIST"),
      Send(Lines(sizes)),
  };
  steps.insert(steps.end(), std::make_move_iterator(rest.begin()),
               std::make_move_iterator(rest.end()));
  return steps;
}

// A LIST reply giving messages 1..count a size too large to be read whole
// before their header.
ScriptedPop3Peer::Step LargeSizes(int count) {
  std::string entries;
  for (int number = 1; number <= count; ++number) entries += std::to_string(number) + " 50000\r\n";
  return Send(Lines(entries));
}

// The same for one new message: the sizes asked for and given.
std::vector<ScriptedPop3Peer::Step> OneNewMessage(const std::string& id,
                                                  std::vector<ScriptedPop3Peer::Step> rest) {
  rest.insert(rest.begin(), {Expect("LIST"), LargeSizes(1)});
  return OneMessage(id, std::move(rest));
}

// The line of a row taken in an earlier run.
std::string EarlierLine(const std::string& id) { return "2024/06/30 8:00:00," + id + ",soy\r\n"; }

// One row taken in an earlier run, in AllData.csv and loaded as at start-up.
void AddEarlierRow(const std::string& allDataPath, TProcessingRun& run, const std::string& id) {
  WriteBytes(allDataPath, EarlierLine(id));
  run.LoadTable([](const std::exception& error) { FAIL() << error.what(); });
}

// A mail whose id was taken is deleted again only when its header is the
// one taken: the same id on another mail (a reused id, another mailbox with
// equal ids) is new mail and read as such; an id taken without a kept header
// proves nothing and its mail stays.
TEST_F(ProcessingRunTest, TakenIdsAreDeletedAgainOnlyWithProof) {
  WriteBytes(AllDataPath(), EarlierLine("id-a") + EarlierLine("id-b") + EarlierLine("id-c"));
  run.LoadTable([](const std::exception& error) { FAIL() << error.what(); });
  WriteBytes(folder.Path(kTakenHeadersFileName),
             "id-a " + Md5Hex(kPickedHeader) + "\r\nid-b " + Md5Hex(kUnpickedHeader) + "\r\n");
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 3 900\r\n"),
                                  Expect("UIDL"),
                                  Send(Lines("1 id-a\r\n2 id-b\r\n3 id-c\r\n")),
                                  Expect("TOP 1 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("DELE 1"),
                                  Send("+OK\r\n"),
                                  Expect("TOP 2 0"),
                                  Send(Lines(kPickedHeader)),  // not the header taken
                                  Expect("RETR 2"),
                                  Send(Lines(kPickedMessage)),
                                  Expect("DELE 2"),
                                  Send("+OK\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses.back(),
            RunSummary(3, 1, 4) + "　取り込み済みと同じIDの別のメール：1件");
  EXPECT_EQ(ReadBytes(AllDataPath()), EarlierLine("id-a") + EarlierLine("id-b") +
                                          EarlierLine("id-c") +
                                          "2024/07/01 9:05:00,id-b,miso,1\x81\x43"
                                          "500\r\n");
  EXPECT_EQ(run.Counts().deleted, 2);
  EXPECT_EQ(ReadBytes(folder.Path(kTakenHeadersFileName)), "");  // both deleted, id-c unproven
}

TEST_F(ProcessingRunTest, DeletesTakenIdsTakesAndDeletesPickedMessagesAndQuits) {
  AddEarlierRow(AllDataPath(), run, "id-1");
  WriteBytes(folder.Path(kTakenHeadersFileName), "id-1 " + Md5Hex(kPickedHeader) + "\r\n");
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 3 900\r\n"),
                                  Expect("UIDL"),
                                  Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n")),
                                  Expect("LIST"),
                                  LargeSizes(3),
                                  // taken by an earlier run whose DELE never took
                                  // effect: its header proves it is that mail
                                  Expect("TOP 1 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("DELE 1"),
                                  Send("+OK deleted\r\n"),
                                  Expect("TOP 2 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("RETR 2"),
                                  Send(Lines(kPickedMessage)),
                                  // its DELE once the row is written, at the
                                  // end of the read that gave it
                                  Expect("TOP 3 0"),
                                  Send(Lines(kUnpickedHeader)),
                                  Expect("DELE 2"),
                                  Send("+OK deleted\r\n"),
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
  EXPECT_EQ(ReadBytes(AllDataPath()), EarlierLine("id-1") +
                                          "2024/07/01 9:05:00,id-2,miso,1\x81\x43"
                                          "500\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-3\r\n");
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.ColCount(), 4);
  EXPECT_EQ(table.Cell(0, 2), kStamp);
  EXPECT_EQ(table.Cell(1, 2), "id-2");
  EXPECT_EQ(table.Cell(3, 2),
            "1\x81\x43"
            "500");
  EXPECT_EQ(run.StoredRowCount(), 2);
  EXPECT_EQ(run.Counts().taken, 1);
  EXPECT_EQ(run.Counts().deleted, 2);
  EXPECT_EQ(reporter.tableChanges, 1);
  EXPECT_EQ(reporter.outcomes, std::vector<RunOutcome>{RunOutcome::completed});
}

// An id that cannot stand for its mail (empty, with a blank or a byte outside
// printable ASCII, over 70 bytes, or shared by two mails) is never taken for a
// taken one and never deleted: such mails stay on the server, counted. Cut at
// the blank, "abc def" and "abc xyz" would both be the taken "abc".
TEST_F(ProcessingRunTest, IdsThatCannotStandForTheirMailAreNeverTrusted) {
  WriteBytes(AllDataPath(), EarlierLine("abc") + EarlierLine("dup") + EarlierLine(""));
  run.LoadTable([](const std::exception& error) { FAIL() << error.what(); });
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(
      loop, AfterLogin({
                Expect("STAT"),
                Send("+OK 7 2100\r\n"),
                Expect("UIDL"),
                Send(Lines("1\r\n2 abc def\r\n3 abc xyz\r\n4 dup\r\n5 dup\r\n6 id-6\r\n7 " +
                           std::string(71, 'x') + "\r\n")),
                Expect("LIST"),
                LargeSizes(7),
                Expect("TOP 6 0"),
                Send(Lines(kPickedHeader)),
                Expect("RETR 6"),
                Send(Lines(kPickedMessage)),
                Expect("DELE 6"),
                Send("+OK\r\n"),
                Expect("QUIT"),
                Send("+OK\r\n"),
                Close(),
            }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::string>{kReceiving, "6/7通処理しました。",
                                      RunSummary(7, 1, 4) + "　IDが不正で未処理のメール：6件"}));
  EXPECT_EQ(run.Counts().untrustedIds, 6);
  EXPECT_EQ(run.Counts().deleted, 1);
}

// Its line in AllData.csv holds what its row holds, the stamp and the id with
// its comma escaped, so the id is known again after a restart.
TEST_F(ProcessingRunTest, PickedMessageWithoutItemsLeavesItsStampAndIdAndHidesNoColumn) {
  ScriptedPop3Peer peer(
      loop,
      OneNewMessage("id,1", {
                                Expect("TOP 1 0"),
                                Send(Lines("X-VEXALO: default\r\n\r\n")),
                                Expect("RETR 1"),
                                Send("+OK\r\nX-VEXALO: default\r\n\r\n%:only a comment\r\n.\r\n"),
                                Expect("QUIT"),
                                Send("+OK\r\n"),
                                Close(),
                            }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses.back(), RunSummary(1, 1, 1) + "　値のない注文：1件");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id\x81\x43"
            "1\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,\r\n");
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.Cell(0, 1), kStamp);
  EXPECT_EQ(table.Cell(1, 1),
            "id\x81\x43"
            "1");
}

// Customers typing with a Japanese input method write "品名：りんご": with the
// separator ":" that line gives its value. A message none of whose lines
// splits (typed with "=") is still taken, and the summary counts it.
TEST_F(ProcessingRunTest, FullWidthSeparatorGivesValuesAndValuelessOrdersAreCounted) {
  ScriptedPop3Peer peer(
      loop,
      AfterLogin({
          Expect("STAT"),
          Send("+OK 3 900\r\n"),
          Expect("UIDL"),
          Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n")),
          Expect("LIST"),
          LargeSizes(3),
          Expect("TOP 1 0"),
          Send(Lines(kPickedHeader)),
          Expect("RETR 1"),
          Send(Lines(std::string(kPickedHeader) + "name\x81\x46miso\r\ncount \x81\x46 2\r\n")),
          Expect("TOP 2 0"),
          Send(Lines(kPickedHeader)),
          Expect("RETR 2"),
          Send(Lines(std::string(kPickedHeader) + "name=soy\r\ncount\x81\x81"
                                                  "3\r\n")),
          Expect("TOP 3 0"),
          Send(Lines(kPickedHeader)),
          Expect("RETR 3"),
          Send(Lines(kPickedMessage)),
          Expect("QUIT"),
          Send("+OK bye\r\n"),
          Close(),
      }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_EQ(reporter.statuses.back(), RunSummary(3, 3, 3) + "　値のない注文：1件");
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Cell(2, 1), "miso");
  EXPECT_EQ(table.Cell(3, 1), "2");
  EXPECT_EQ(table.Cell(1, 2), "id-2");
  EXPECT_EQ(table.Cell(2, 3), "miso");
}

// A server that pipelines gets the walk's requests before their replies are
// in: a small message is read whole, large ones by their header first. The
// rows, deletions, texts and files are those of a run one command at a time.
TEST_F(ProcessingRunTest, PipeliningServerGetsTheRequestsAheadAndTheRunReadsTheRepliesInOrder) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(
      loop,
      AfterLogin(
          Listing({{"id-1", 300}, {"id-2", 50000}, {"id-3", 50000}},
                  {
                      Expect("RETR 1"),
                      Expect("TOP 2 0"),
                      Expect("TOP 3 0"),
                      Send(Lines(kPickedMessage) + Lines(kUnpickedHeader) + Lines(kPickedHeader)),
                      // what the replies gave is used once a check behind them
                      // shows they kept in step
                      Expect("UIDL 1"),
                      Expect("RETR 3"),
                      Send("+OK 1 id-1\r\n"),
                      Expect("UIDL 2"),
                      Expect("DELE 1"),
                      Send(Lines(kPickedMessage) + "+OK 2 id-2\r\n+OK deleted\r\n"),
                      Expect("UIDL 3"),
                      Send("+OK 3 id-3\r\n"),
                      Expect("DELE 3"),
                      Send("+OK deleted\r\n"),
                      Expect("QUIT"),
                      Send("+OK bye\r\n"),
                      Close(),
                  }),
          kPipeliningCapa));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::string>{kReceiving, "1/3通処理しました。", "2/3通処理しました。",
                                      "3/3通処理しました。", RunSummary(3, 2, 2)}));
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n"
            "2024/07/01 9:05:00,id-3,miso,1\x81\x43"
            "500\r\n");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-2\r\n");
  EXPECT_EQ(run.Counts().deleted, 2);
}

// A server that pipelines lists the ids while the count is read, and the
// sizes too when the count shows mail that cannot all be known: each Expect
// below comes before the reply the lock-step walk would have waited for.
// Where every message may be known already (a re-poll) no sizes are asked
// for, and an empty mailbox still ends in one QUIT.
TEST_F(ProcessingRunTest, APipeliningServerIsAskedForTheListingsWithoutWaits) {
  const struct {
    const char* what;
    bool earlierRow;
    std::vector<ScriptedPop3Peer::Step> steps;
    const char* allData;
  } cases[] = {
      {"nothing known yet: the sizes go with the count",
       false,
       {Expect("STAT"), Expect("UIDL"), Expect("LIST"),
        Send("+OK 2 600\r\n" + Lines("1 id-1\r\n2 id-2\r\n") + Lines("1 300\r\n2 300\r\n")),
        Expect("RETR 1"), Expect("RETR 2"), Send(Lines(kPickedMessage) + Lines(kPickedMessage)),
        Expect("UIDL 1"), Send("+OK 1 id-1\r\n"), Expect("UIDL 2"), Send("+OK 2 id-2\r\n"),
        Expect("QUIT"), Send("+OK\r\n"), Close()},
       "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
       "500\r\n"
       "2024/07/01 9:05:00,id-2,miso,1\x81\x43"
       "500\r\n"},
      {"more messages than rows: the sizes go before the ids come",
       true,
       {Expect("STAT"), Expect("UIDL"), Send("+OK 3 900\r\n"), Expect("LIST"),
        Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n") + Lines("1 300\r\n2 300\r\n3 300\r\n")),
        Expect("RETR 2"), Expect("RETR 3"), Send(Lines(kPickedMessage) + Lines(kPickedMessage)),
        Expect("UIDL 2"), Send("+OK 2 id-2\r\n"), Expect("UIDL 3"), Send("+OK 3 id-3\r\n"),
        Expect("QUIT"), Send("+OK\r\n"), Close()},
       nullptr},
      {"the one message taken before: no sizes",
       true,
       {Expect("STAT"), Expect("UIDL"), Send("+OK 1 300\r\n" + Lines("1 id-1\r\n")), Expect("QUIT"),
        Send("+OK\r\n"), Close()},
       nullptr},
      {"an empty mailbox",
       false,
       {Expect("STAT"), Expect("UIDL"), Expect("LIST"), Send("+OK 0 0\r\n" + Lines("") + Lines("")),
        Expect("QUIT"), Send("+OK\r\n"), Close()},
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder caseFolder;
    DataTable caseTable;
    TProcessingRun caseRun(
        caseTable, fields, client, jisConv,
        DataFilePaths{caseFolder.Path(kAllDataFileName), caseFolder.Path(kFirstRowFileName),
                      caseFolder.Path(kUnpickedFileName)},
        reporter, [] { return std::string(kStamp); });
    const std::string allData = caseFolder.Path(kAllDataFileName);
    if (c.earlierRow) AddEarlierRow(allData, caseRun, "id-1");
    ScriptedPop3Peer peer(loop, AfterLogin(c.steps, kPipeliningCapa));
    fields.port = peer.PortText();
    caseRun.MenuProcessClick();
    ASSERT_TRUE(loop.RunUntil([&] { return !caseRun.IsBusy(); }, kTimeoutMs)) << peer.Problems();
    WaitForClientClose(peer);
    EXPECT_EQ(peer.Problems(), "");
    EXPECT_EQ(caseRun.Phase(), runCompleted);
    if (c.allData != nullptr) {
      EXPECT_EQ(ReadBytes(allData), c.allData);
    }
  }
}

// A mail the server refuses to hand out is skipped, named in the summary, and
// tried again by the next run; the rest of the mailbox is taken. Before, one
// such mail stopped every run at it, for good.
TEST_F(ProcessingRunTest, RefusedMessageInAPipelinedWindowIsSkippedAndTheRestTaken) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(
      loop,
      AfterLogin(
          {
              Expect("STAT"),
              Send("+OK 3 900\r\n"),
              Expect("UIDL"),
              Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n")),
              Expect("LIST"),
              Send(Lines("1 300\r\n2 300\r\n3 300\r\n")),
              Expect("RETR 1"),
              Expect("RETR 2"),
              Expect("RETR 3"),
              Send(Lines(kPickedMessage) + "-ERR Message is deleted.\r\n" + Lines(kPickedMessage)),
              Expect("UIDL 1"),
              Send("+OK 1 id-1\r\n"),
              Expect("UIDL 3"),
              Expect("DELE 1"),
              Send("+OK 3 id-3\r\n+OK\r\n"),
              Expect("DELE 3"),
              Send("+OK\r\n"),
              Expect("QUIT"),
              Send("+OK\r\n"),
              Close(),
          },
          kPipeliningCapa));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses.back(),
            RunSummary(3, 2, 2) +
                "　サーバから受信できなかったメール：1件（2番：-ERR Message is deleted.）");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n"
            "2024/07/01 9:05:00,id-3,miso,1\x81\x43"
            "500\r\n");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\n");  // not remembered
}

// A server without the listing is asked message by message, one without TOP
// gets RETR from its first refusal on; neither refusal is an error. A UIDL
// reply that names another message gives no id for this one: the message is
// left alone, and the walk goes on its course.
TEST_F(ProcessingRunTest, RefusedListingAndTopFallBackToUidlPerMessageAndRetr) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),    Send("+OK 3 900\r\n"),
                                  Expect("UIDL"),    Send("-ERR no listing\r\n"),
                                  Expect("UIDL 1"),  Send("+OK 7 id-a\r\n"),
                                  Expect("UIDL 2"),  Send("+OK 2 id-b\r\n"),
                                  Expect("TOP 2 0"), Send("-ERR no TOP\r\n"),
                                  Expect("RETR 2"),  Send(Lines(kPickedMessage)),
                                  Expect("UIDL 3"),  Send("+OK 3 id-c\r\n"),
                                  Expect("RETR 3"),  Send(Lines(kUnpickedMessage)),
                                  Expect("QUIT"),    Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses,
            (std::vector<std::string>{kReceiving, "2/3通処理しました。", "3/3通処理しました。",
                                      RunSummary(3, 1, 1) + "　IDが不正で未処理のメール：1件"}));
  EXPECT_EQ(table.Cell(1, 1), "id-b");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-c\r\n");
}

// Without sizes every new message has its header read first; the refusal is
// no error, and the box of a later failure would not name it.
TEST_F(ProcessingRunTest, RefusedSizeListingLeavesEveryNewMessageToItsHeader) {
  ScriptedPop3Peer peer(loop, OneMessage("id-1", {
                                                     Expect("LIST"),
                                                     Send("-ERR no sizes\r\n"),
                                                     Expect("TOP 1 0"),
                                                     Send(Lines(kPickedHeader)),
                                                     Expect("RETR 1"),
                                                     Send(Lines(kPickedMessage)),
                                                     Expect("QUIT"),
                                                     Send("+OK\r\n"),
                                                     Close(),
                                                 }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(table.Cell(1, 1), "id-1");
}

// The last line of a base64 body often has no line end of its own; the run
// finishes the message before it commits the row, so that line is an item.
TEST_F(ProcessingRunTest, LastLineOfABase64BodyWithoutItsLineEndIsTaken) {
  ScriptedPop3Peer peer(
      loop, OneNewMessage("b64", {
                                     Expect("TOP 1 0"),
                                     Send(Lines("X-VEXALO: default\r\n"
                                                "Content-Transfer-Encoding: base64\r\n\r\n")),
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

// The listing's numbers are the server's word: one outside the mailbox is
// dropped and a number it left out is asked for alone.
TEST_F(ProcessingRunTest, MessageMissingFromTheListingIsAskedForAlone) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 2 600\r\n"),
                                  Expect("UIDL"),
                                  Send(Lines("2 id-b\r\n9 id-x\r\n0 id-y\r\n")),
                                  Expect("LIST"),
                                  Send(Lines("1 50000\r\n2 50000\r\n")),
                                  Expect("UIDL 1"),
                                  Send("+OK 1 id-a\r\n"),
                                  Expect("TOP 1 0"),
                                  Send(Lines(kUnpickedHeader)),
                                  Expect("TOP 2 0"),
                                  Send(Lines(kUnpickedHeader)),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(reporter.statuses.back(), RunSummary(2, 0, 1));
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-a\r\nid-b\r\n");
}

// Someone else removed the message between the listing and its reading: its
// refusal is named in the summary, nothing is taken or remembered for it.
TEST_F(ProcessingRunTest, MessageGoneBeforeItsReadingIsNamedAndTriedAgainNextRun) {
  ScriptedPop3Peer peer(loop, OneNewMessage("id-1", {
                                                        Expect("TOP 1 0"),
                                                        Send("-ERR Message is deleted.\r\n"),
                                                        Expect("RETR 1"),
                                                        Send("-ERR Message is deleted.\r\n"),
                                                        Expect("QUIT"),
                                                        Send("+OK\r\n"),
                                                        Close(),
                                                    }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses.back(),
            RunSummary(1, 0, 1) +
                "　サーバから受信できなかったメール：1件（1番：-ERR Message is deleted.）");
  EXPECT_FALSE(fs::exists(AllDataPath()));
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\n");
}

// A rejected UIDL ends the run with the error box and no QUIT, and the
// dropped session leaves the next fetch free to start. The box names this
// refusal, not the listing's refusal the run went on after.
TEST_F(ProcessingRunTest, RejectedUidlStopsWithTheErrorBoxAbortsAndLetsTheNextFetchRun) {
  ScriptedPop3Peer refusing(loop, AfterLogin({
                                      Expect("STAT"),
                                      Send("+OK 2 600\r\n"),
                                      Expect("UIDL"),
                                      Send("-ERR no listing\r\n"),
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
  EXPECT_EQ(client.RequestsOut(), 0u);
  EXPECT_FALSE(run.IsBusy());
}

// The server removes what a run marked for deletion at its QUIT; if the rows
// of those messages cannot be made durable first, no QUIT may go out.
TEST_F(ProcessingRunTest, NoQuitAfterDeletionsWhenAllDataCannotBeSynced) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, OneNewMessage("id-1", {
                                                        Expect("TOP 1 0"),
                                                        Send(Lines(kPickedHeader)),
                                                        Expect("RETR 1"),
                                                        Send(Lines(kPickedMessage)),
                                                        Expect("DELE 1"),
                                                        Send("+OK deleted\r\n"),
                                                    }));
  // The file goes away between its append and the sync before QUIT.
  client.OnTrace = [&](std::string_view line) {
    if (line == "< +OK deleted") fs::remove(AllDataPath());
  };
  FetchFrom(peer);
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{RunErrorBox("ファイルが見つかりません")});
  // The titles went to disk before the row did.
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
}

// A second run on the same folder, from another program or another window,
// meets the first one's lock; once that is over, it first reads the rows the
// first one appended, so it takes nothing twice.
TEST_F(ProcessingRunTest, SecondRunOnTheFolderWaitsItsTurnAndTakesNothingTwice) {
  ScriptedPop3Peer first(
      loop, OneNewMessage("id-1", {
                                      Expect("TOP 1 0"),
                                      Send(Lines(kPickedHeader)),
                                      Expect("RETR 1"),
                                      Send(std::string("+OK\r\n") + kPickedMessage + ".\r\n"),
                                      Expect("QUIT"),
                                      Send("+OK\r\n"),
                                      Close(),
                                  }));
  DataTable otherTable;
  TPop3Client otherClient{loop};
  RecordingReporter otherReporter;
  TProcessingRun other{otherTable,
                       fields,
                       otherClient,
                       jisConv,
                       DataFilePaths{AllDataPath(), FirstRowPath(), UnpickedPath()},
                       otherReporter,
                       [] { return std::string(kStamp); }};
  fields.port = first.PortText();
  run.MenuProcessClick();
  other.MenuProcessClick();
  other.TimerTimer();  // a tick passes over a busy folder in silence
  EXPECT_EQ(otherReporter.messages, std::vector<std::string>{kBusy});
  EXPECT_EQ(other.Phase(), runIdle);
  EXPECT_EQ(otherClient.RequestsOut(), 0u);
  ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));
  EXPECT_EQ(first.Problems(), "");

  ScriptedPop3Peer second(loop, OneMessage("id-1", {
                                                       Expect("QUIT"),
                                                       Send("+OK\r\n"),
                                                       Close(),
                                                   }));
  fields.port = second.PortText();
  other.MenuProcessClick();
  ASSERT_TRUE(loop.RunUntil([&] { return !other.IsBusy(); }, kTimeoutMs));

  EXPECT_EQ(second.Problems(), "");
  EXPECT_EQ(other.Phase(), runCompleted);
  EXPECT_EQ(otherTable.Cell(1, 1), "id-1");
  EXPECT_EQ(otherReporter.statuses.back(), RunSummary(1, 0, 1));
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n");
}

// The server may commit the deletions at QUIT and then vanish, or the program
// may be killed right after: the titles of those mails must already be on
// disk, since the mails can never be read again for them.
TEST_F(ProcessingRunTest, TitlesAreOnDiskBeforeTheQuitThatDeletes) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(
      loop, OneNewMessage("id-1", {
                                      Expect("TOP 1 0"),
                                      Send(Lines(kPickedHeader)),
                                      Expect("RETR 1"),
                                      Send(std::string("+OK\r\n") + kPickedMessage + ".\r\n"),
                                      Expect("DELE 1"),
                                      Send("+OK deleted\r\n"),
                                      Expect("QUIT"),
                                      Close(),
                                  }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
}

// Only an id a data row holds marks a mail as ours to delete unread.
TEST_F(ProcessingRunTest, EmptyIdIsNeverDeletedUnread) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, OneMessage("", {
                                                 Expect("QUIT"),
                                                 Send("+OK\r\n"),
                                                 Close(),
                                             }));
  FetchFrom(peer);
  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
}

// A picked mail whose text cannot be taken whole (here more items than a line
// of AllData.csv loads back) is neither stored as a cut row nor deleted: it
// stays on the server, remembered, and counted; the next mail is taken.
TEST_F(ProcessingRunTest, MailWhoseTextCannotBeTakenWholeStaysOnTheServer) {
  fields.deleteAfterReading = true;
  std::string wide = "+OK\r\nX-VEXALO: default\r\n\r\n";
  for (int i = 0; i < 70000; ++i)
    wide += "n" + std::to_string(i) + ":v" + std::to_string(i) + "\r\n";
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 3 900\r\n"),
                                  Expect("UIDL"),
                                  Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n")),
                                  Expect("LIST"),
                                  LargeSizes(3),
                                  Expect("TOP 1 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("RETR 1"),
                                  Send(wide + ".\r\n"),
                                  Expect("TOP 2 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("RETR 2"),
                                  // an attachment and nothing else
                                  Send(Lines("X-VEXALO: default\r\n"
                                             "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                             "--b\r\nContent-Type: image/gif\r\n\r\nR0lG\r\n"
                                             "--b--\r\n")),
                                  Expect("TOP 3 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("RETR 3"),
                                  Send(Lines(kPickedMessage)),
                                  Expect("DELE 3"),
                                  Send("+OK\r\n"),
                                  Expect("QUIT"),
                                  Send("+OK\r\n"),
                                  Close(),
                              }));
  FetchFrom(peer);
  EXPECT_EQ(peer.Problems(), "");

  EXPECT_EQ(reporter.statuses.back(), RunSummary(3, 1, 1) + "　本文を読めず未処理の注文：2件");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-3,miso,1\x81\x43"
            "500\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-1\r\nid-2\r\n");
  EXPECT_EQ(run.Counts().deleted, 1);
}

// Each error box names the cause of its own run, not the first one ever seen.
TEST_F(ProcessingRunTest, ErrorBoxNamesTheCauseOfItsOwnRun) {
  ScriptedPop3Peer refusing(loop, {
                                      Send("+OK ready\r\n"),
                                      Expect("USER bob"),
                                      Send("+OK\r\n"),
                                      Expect("PASS secret"),
                                      Send("-ERR wrong password\r\n"),
                                  });
  FetchFrom(refusing);
  WaitForClientClose(refusing);
  std::string closedPort;
  {
    const ScriptedPop3Peer gone(loop, {});
    closedPort = gone.PortText();
  }
  fields.port = closedPort;
  run.MenuProcessClick();
  ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));

  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_EQ(reporter.messages[0], RunErrorBox("-ERR wrong password"));
  EXPECT_EQ(reporter.messages[1].find("wrong password"), std::string::npos) << reporter.messages[1];
}

// A server that goes away in the middle of a request leaves a cause to show.
TEST_F(ProcessingRunTest, ServerClosingDuringARequestIsNamedInTheErrorBox) {
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Close(),
                              }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages,
            std::vector<std::string>{RunErrorBox("-ERR Connection closed by server")});
}

// The box of a run that failed is modal, and the loop goes on while the user
// reads it: ticks must not start a run (and a box) each, and the session must
// already be gone, or closing the box would abort a run started meanwhile.
TEST_F(ProcessingRunTest, WhileTheErrorBoxIsOpenTheSessionIsGoneAndTicksStartNothing) {
  ScriptedPop3Peer peer(loop,
                        {Send("+OK ready\r\n"), Expect("USER bob"), Send("-ERR no such user\r\n")});
  bool connectedInBox = true;
  bool busyInBox = false;
  reporter.whileNextMessageOpen = [&] {
    connectedInBox = client.Connected();
    busyInBox = run.IsBusy();
    run.TimerTimer();
    run.MenuProcessClick();
  };
  FetchFrom(peer);
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_FALSE(connectedInBox);
  EXPECT_TRUE(busyInBox);
  EXPECT_EQ(reporter.messages, (std::vector<std::string>{RunErrorBox("-ERR no such user"), kBusy}));
  ASSERT_EQ(reporter.failures.size(), 1u);
  EXPECT_EQ(reporter.failures[0].step, 1);
  EXPECT_EQ(reporter.failures[0].code, 500);
  EXPECT_EQ(reporter.failures[0].kind, FailureKind::kLoginRefused);
  EXPECT_EQ(reporter.failures[0].detail, "-ERR no such user");
  EXPECT_EQ(reporter.outcomes, std::vector<RunOutcome>{RunOutcome::failed});
  EXPECT_EQ(reporter.statuses, std::vector<std::string>{kReceiving});
  EXPECT_FALSE(run.IsBusy());
}

// Stopping by hand is an abort like a failure: the DELE already sent is not
// committed, the row already taken stays, and the next fetch may start.
TEST_F(ProcessingRunTest, CancelAbortsWithoutQuitAndKeepsTheRowsTaken) {
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin({
                                  Expect("STAT"),
                                  Send("+OK 2 600\r\n"),
                                  Expect("UIDL"),
                                  Send(Lines("1 id-1\r\n2 id-2\r\n")),
                                  Expect("LIST"),
                                  LargeSizes(2),
                                  Expect("TOP 1 0"),
                                  Send(Lines(kPickedHeader)),
                                  Expect("RETR 1"),
                                  Send(Lines(kPickedMessage)),
                                  Expect("TOP 2 0"),
                                  Send(Lines(kUnpickedHeader)),
                                  Expect("DELE 1"),
                              }));
  fields.port = peer.PortText();
  run.Cancel();  // idle: nothing to stop
  EXPECT_TRUE(reporter.statuses.empty());
  run.MenuProcessClick();
  ASSERT_TRUE(loop.RunUntil([&] { return peer.Finished(); }, kTimeoutMs));
  // Before its DELE went, the mail's proof was on disk: a run killed here
  // leaves it on the server, and the next run deletes it with that proof.
  EXPECT_EQ(ReadBytes(folder.Path(kTakenHeadersFileName)),
            "id-1 " + Md5Hex(kPickedHeader) + "\r\n");
  run.Cancel();
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_FALSE(run.IsBusy());
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.statuses.back(), "受信を中止しました。");
  EXPECT_EQ(reporter.outcomes, std::vector<RunOutcome>{RunOutcome::cancelled});
  EXPECT_EQ(reporter.tableChanges, 1);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(table.Cell(1, 1), "id-1");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n");
}

// What Unpicked.txt holds before a run over a mailbox of a taken mail
// (id-1), an ordinary one (id-2) and a new order (id-3); `remembered` says
// whether the run may trust it to skip id-2.
struct UnpickedFileCase {
  const char* name;
  std::optional<std::string> bytes;  // nothing: no file
  bool remembered;
  bool rewritten = true;
};

// Identifies the file at `path` itself, not its name: a file renamed over
// another has a new one.
ino_t FileNumber(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

class UnpickedMemoryTest : public ProcessingRunTest,
                           public ::testing::WithParamInterface<UnpickedFileCase> {};

TEST_P(UnpickedMemoryTest, SkipsOnlyTrustedIdsAndLeavesTheMailboxsUnpickedIds) {
  if (GetParam().bytes) WriteBytes(UnpickedPath(), *GetParam().bytes);
  const ino_t fileBefore = FileNumber(UnpickedPath());
  AddEarlierRow(AllDataPath(), run, "id-1");
  std::vector<ScriptedPop3Peer::Step> steps = {
      Expect("STAT"), Send("+OK 3 900\r\n"),
      Expect("UIDL"), Send(Lines("1 id-1\r\n2 id-2\r\n3 id-3\r\n")),
      Expect("LIST"), LargeSizes(3),
  };
  if (!GetParam().remembered) {
    steps.insert(steps.end(), {Expect("TOP 2 0"), Send(Lines(kUnpickedHeader))});
  }
  steps.insert(steps.end(),
               {Expect("TOP 3 0"), Send(Lines(kPickedHeader)), Expect("RETR 3"),
                Send(Lines(kPickedMessage)), Expect("QUIT"), Send("+OK\r\n"), Close()});
  ScriptedPop3Peer peer(loop, AfterLogin(steps));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(table.Cell(1, 2), "id-3");
  EXPECT_EQ(ReadBytes(UnpickedPath()), "X-VEXALO: default\r\nid-2\r\n");
  EXPECT_EQ(FileNumber(UnpickedPath()) != fileBefore, GetParam().rewritten);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path("")), fs::directory_iterator()), 5)
      << "only AllData.csv, its lock file, FirstRow.csv, Unpicked.txt and TakenHeaders.txt: no "
         "temp file left";
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnpickedMemoryTest,
    ::testing::Values(
        UnpickedFileCase{"Missing", std::nullopt, false},
        UnpickedFileCase{"KeptAndPrunedOfIdsGoneFromTheServer",
                         "X-VEXALO: default\r\nid-2\r\nid-gone\r\n", true},
        UnpickedFileCase{"KeptUnchanged", "X-VEXALO: default\r\nid-2\r\n", true, false},
        UnpickedFileCase{"WrittenForAnotherTriggerLine", "X-OLD: other\r\nid-2\r\n", false},
        UnpickedFileCase{"TriggerLineDiffersInCase", "x-vexalo: default\r\nid-2\r\n", false},
        // A cut line could be the start of another mail's id.
        UnpickedFileCase{"LastLineCut", "X-VEXALO: default\r\nid-2\r\nid-3", false},
        UnpickedFileCase{"ByteNoIdHolds", "X-VEXALO: default\r\nid-2\r\nid\x81\x40\r\n", false},
        UnpickedFileCase{"EmptyLine", "X-VEXALO: default\r\nid-2\r\n\r\n", false},
        UnpickedFileCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<UnpickedFileCase>& testCase) { return testCase.param.name; });

// A file that cannot be read or replaced only costs header reads: the run
// completes without a word about it.
TEST_F(ProcessingRunTest, UnreadableUnpickedFileIsNoError) {
  fs::create_directory(UnpickedPath());
  ScriptedPop3Peer peer(loop, OneNewMessage("id-1", {
                                                        Expect("TOP 1 0"),
                                                        Send(Lines(kUnpickedHeader)),
                                                        Expect("QUIT"),
                                                        Send("+OK\r\n"),
                                                        Close(),
                                                    }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses.back(), RunSummary(1, 0, 1));
  EXPECT_TRUE(fs::is_directory(UnpickedPath()));
}

// A picked mail too large to be read whole has its header read first, so
// its RETR goes out after the small mails behind it were asked for. Its row
// still comes before theirs, whether the server pipelines or not, and each
// DELE follows its own row's write (at the end of the read that gave it).
TEST_F(ProcessingRunTest, RowsAreTakenInMessageOrderWhateverTheirSizes) {
  const auto order = [](const std::string& name) {
    return "Subject: order\r\nX-VEXALO: default\r\n\r\nname:" + name + "\r\n";
  };
  const struct {
    const char* server;
    std::string capa;
    std::string id;  // the ids of this mailbox: id1, id2, id3
    std::vector<ScriptedPop3Peer::Step> walk;
  } cases[] = {
      {"one command at a time",
       kLockStepCapa,
       "lock",
       {Expect("RETR 1"), Send(Lines(order("a"))), Expect("TOP 2 0"), Send(Lines(kPickedHeader)),
        Expect("RETR 2"), Send(Lines(order("b"))), Expect("DELE 1"), Send("+OK\r\n"),
        Expect("DELE 2"), Send("+OK\r\n"), Expect("RETR 3"), Send(Lines(order("c"))),
        Expect("DELE 3"), Send("+OK\r\n")}},
      {"pipelining",
       kPipeliningCapa,
       "pipe",
       {Expect("RETR 1"), Expect("TOP 2 0"), Expect("RETR 3"),
        Send(Lines(order("a")) + Lines(kPickedHeader) + Lines(order("c"))), Expect("UIDL 1"),
        Expect("RETR 2"), Send("+OK 1 pipe1\r\n"), Expect("UIDL 3"), Expect("DELE 1"),
        Send(Lines(order("b")) + "+OK 3 pipe3\r\n+OK\r\n"), Expect("UIDL 2"),
        Send("+OK 2 pipe2\r\n"), Expect("DELE 2"), Expect("DELE 3"), Send("+OK\r\n+OK\r\n")}},
  };
  fields.deleteAfterReading = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    const std::string& id = c.id;
    std::vector<ScriptedPop3Peer::Step> steps =
        Listing({{id + "1", 300}, {id + "2", 50000}, {id + "3", 300}}, c.walk);
    steps.insert(steps.end(), {Expect("QUIT"), Send("+OK\r\n"), Close()});
    ScriptedPop3Peer peer(loop, AfterLogin(steps, c.capa));
    WriteBytes(AllDataPath(), "");
    reporter.statuses.clear();
    FetchFrom(peer);

    EXPECT_EQ(peer.Problems(), "");
    EXPECT_EQ(run.Phase(), runCompleted);
    EXPECT_EQ(ReadBytes(AllDataPath()), "2024/07/01 9:05:00," + id + "1,a\r\n" +
                                            "2024/07/01 9:05:00," + id + "2,b\r\n" +
                                            "2024/07/01 9:05:00," + id + "3,c\r\n");
    EXPECT_EQ(
        reporter.statuses,
        (std::vector<std::string>{kReceiving, "1/3通処理しました。", "2/3通処理しました。",
                                  "3/3通処理しました。", RunSummary(3, 3, table.RowCount() - 1)}));
  }
}

// A pipelining server whose replies slip out of step (one doubled, one
// dropped, one left without its final ".") must not get a row stored under
// another mail's id, nor a QUIT that would commit its DELEs: what the
// replies gave is used only once a check sent behind them ("UIDL n") is
// answered for its own message. A doubled reply arriving with the others
// answers the check in the same read, so the check never goes out.
TEST_F(ProcessingRunTest, RepliesOutOfStepCommitNothing) {
  const auto mail = [](const std::string& name) {
    return "+OK\r\nSubject: order\r\nX-VEXALO: default\r\n\r\nname:" + name + "\r\n.\r\n";
  };
  const auto unterminated = [&](const std::string& name) {
    std::string reply = mail(name);
    return reply.substr(0, reply.size() - 3);
  };
  const struct {
    const char* fault;
    std::string replies;  // to RETR 1, 2 and 3
    const char* detail;
    bool checkSent;
  } cases[] = {
      {"doubled", mail("a") + mail("a") + mail("b") + mail("c"),
       "-ERR The server's replies went out of step (found at the check of message 1); nothing "
       "of this session was committed",
       false},
      {"dropped", mail("a") + mail("c"), "-ERR Connection timed out (Winsock error #10060)", true},
      {"unterminated", unterminated("a") + mail("b") + mail("c"),
       "-ERR Connection timed out (Winsock error #10060)", true},
  };
  fields.deleteAfterReading = true;
  fields.timeout = "1";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    reporter.messages.clear();
    std::vector<ScriptedPop3Peer::Step> steps =
        Listing({{"id-1", 300}, {"id-2", 300}, {"id-3", 300}},
                {Expect("RETR 1"), Expect("RETR 2"), Expect("RETR 3"), Send(c.replies)});
    if (c.checkSent) steps.insert(steps.end(), {Expect("UIDL 1"), Send("+OK 1 id-1\r\n")});
    ScriptedPop3Peer peer(loop, AfterLogin(std::move(steps), kPipeliningCapa));
    FetchFrom(peer);
    WaitForClientClose(peer);

    EXPECT_EQ(peer.Problems(), "");
    EXPECT_EQ(run.Phase(), runStopped);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{RunErrorBox(c.detail)});
    EXPECT_FALSE(fs::exists(AllDataPath()) && !ReadBytes(AllDataPath()).empty());
    EXPECT_EQ(run.Counts().deleted, 0);
  }
}

// The rows of one read go into AllData.csv together, and their DELEs only
// after them: when that write fails, no DELE and no QUIT goes out, and none of
// the mails counts as taken, so the next run reads them again.
TEST_F(ProcessingRunTest, RowsThatCannotBeWrittenAreNeitherTakenNorDeleted) {
  const std::string mail = "+OK\r\nX-VEXALO: default\r\n\r\nname:a\r\n.\r\n";
  const std::string before = EarlierLine("id-a") + EarlierLine("id-b");
  WriteBytes(AllDataPath(), before);
  fields.deleteAfterReading = true;
  ScriptedPop3Peer peer(loop, AfterLogin(Listing({{"id-1", 300}, {"id-2", 300}},
                                                 {
                                                     Expect("RETR 1"),
                                                     Expect("RETR 2"),
                                                     Send(mail + mail),
                                                     Expect("UIDL 1"),
                                                     Send("+OK 1 id-1\r\n"),
                                                 }),
                                         kPipeliningCapa));
  {
    // Room for the titles and the proofs, none for a row.
    const FileSizeLimit full(before.size() + 10);
    FetchFrom(peer);
    WaitForClientClose(peer);
  }

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(ReadBytes(AllDataPath()), before);
  EXPECT_EQ(run.Counts().deleted, 0);
  EXPECT_FALSE(table.IsUidlTaken(StoredId("id-1")));
}

// The mailbox size is the server's word: one no mailbox has ends the run with
// a clear text before anything is sized by it.
TEST_F(ProcessingRunTest, AMailboxSizeNoMailboxHasStopsTheRunWithoutQuit) {
  ScriptedPop3Peer peer(loop, AfterLogin({Expect("STAT"), Send("+OK 2147483647 0\r\n")}));
  FetchFrom(peer);
  WaitForClientClose(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(reporter.messages,
            std::vector<std::string>{RunErrorBox(
                "-ERR The server reports 2147483647 messages, more than the 1000000 one run can "
                "read")});
  ASSERT_EQ(reporter.failures.size(), 1u);
  EXPECT_EQ(reporter.failures[0].step, procStat);
}

// The settings are taken when the run starts: a separator changed in the
// dialog while mail is being read applies from the next run on.
TEST_F(ProcessingRunTest, SettingsChangedDuringARunReachOnlyTheNextOne) {
  ScriptedPop3Peer peer(loop, OneNewMessage("id-1", {
                                                        Expect("TOP 1 0"),
                                                        Send(Lines(kPickedHeader)),
                                                        Expect("RETR 1"),
                                                        Send(Lines(kPickedMessage)),
                                                        Expect("QUIT"),
                                                        Send("+OK\r\n"),
                                                        Close(),
                                                    }));
  client.OnTrace = [&](std::string_view line) {
    if (line == "> RETR 1") {
      fields.splitToken = "=";
      fields.headerToken = "X-OTHER: line";
    }
  };
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n");
  EXPECT_EQ(ReadBytes(UnpickedPath()).find("X-OTHER"), std::string::npos);
}

// With COLUMNS on, the run files each item under the title of its name, the
// titles of FirstRow.csv left as they are.
TEST_F(ProcessingRunTest, ColumnsByNameSettingPutsItemsUnderTheirTitles) {
  WriteBytes(FirstRowPath(), "stamp,id,count,name\r\n");
  run.LoadTable([](const std::exception& error) { FAIL() << error.what(); });
  fields.columnsByName = true;
  ScriptedPop3Peer peer(loop, OneNewMessage("id-1", {
                                                        Expect("TOP 1 0"),
                                                        Send(Lines(kPickedHeader)),
                                                        Expect("RETR 1"),
                                                        Send(Lines(kPickedMessage)),
                                                        Expect("QUIT"),
                                                        Send("+OK\r\n"),
                                                        Close(),
                                                    }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,1\x81\x43"
            "500,miso\r\n");
  EXPECT_EQ(ReadBytes(FirstRowPath()), "stamp,id,count,name\r\n");
}

// The connection settings are taken when a run starts: a time-out that is no
// positive number falls back to 60 s, and a SECURITY that is none of the
// three choices is refused, never read as the plain connection.
TEST(RunSettingsTest, SecurityFailsClosedAndTheTimeOutFallsBackToSixtySeconds) {
  const struct {
    const char* security;
    const char* timeout;
    std::optional<TPop3Security> expectedSecurity;  // nothing: refused
    int32_t expectedTimeout;
  } cases[] = {
      {"0", "60", secPlain, 60},
      {"1", "5", secTls, 5},
      {" 2 ", "30", secStartTls, 30},
      {"", "", secPlain, 60},
      {"\x82\x50", "0", secTls, 60},  // full-width 1
      {"1", "abc", secTls, 60},
      {"ssl", "60", std::nullopt, 0},
      {"3", "60", std::nullopt, 0},
      {"true", "60", std::nullopt, 0},
      {"STARTTLS", "60", std::nullopt, 0},
  };
  PlainSettingsFields fields;
  fields.tlsFingerprint = "AB:CD";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.security) + "/" + c.timeout);
    fields.security = c.security;
    fields.timeout = c.timeout;
    if (!c.expectedSecurity) {
      EXPECT_THROW(RunSettings::From(fields), std::runtime_error);
      continue;
    }
    const RunSettings settings = RunSettings::From(fields);
    EXPECT_EQ(settings.endpoint.security, *c.expectedSecurity);
    EXPECT_EQ(settings.endpoint.timeoutSeconds, c.expectedTimeout);
    EXPECT_EQ(settings.endpoint.tlsFingerprint, "AB:CD");
  }
}

// An empty trigger line picks every mail; with deleting on, a run would take
// and delete the whole mailbox, so it does not start.
TEST_F(ProcessingRunTest, EmptyTriggerLineWithDeletingOnRefusesToRun) {
  ScriptedPop3Peer peer(loop, {});
  fields.port = peer.PortText();
  fields.headerToken = "";
  fields.deleteAfterReading = true;
  run.MenuProcessClick();

  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(client.RequestsOut(), 0u);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_NE(reporter.messages[0].find("反応させたいヘッダが空のまま"), std::string::npos);
  fields.deleteAfterReading = false;
  EXPECT_NO_THROW(RunSettings::From(fields));
}

// A server that ignores "TOP n 0" sends body lines with the header: they are
// no items, and the row and titles come from the RETR alone.
TEST_F(ProcessingRunTest, BodyLinesInATopReplyAreNoItems) {
  ScriptedPop3Peer peer(
      loop,
      OneNewMessage("id-1", {
                                Expect("TOP 1 0"),
                                Send(Lines(std::string(kPickedHeader) + "x:1\r\ny:2\r\nz:3\r\n")),
                                Expect("RETR 1"),
                                Send(Lines(kPickedMessage)),
                                Expect("QUIT"),
                                Send("+OK\r\n"),
                                Close(),
                            }));
  FetchFrom(peer);

  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(ReadBytes(FirstRowPath()), ",,name,count\r\n");
  EXPECT_EQ(ReadBytes(AllDataPath()),
            "2024/07/01 9:05:00,id-1,miso,1\x81\x43"
            "500\r\n");
}

// A hand-edited SECURITY the program does not know stops the run before any
// byte goes to the server, with the key named in the box.
TEST_F(ProcessingRunTest, UnknownSecurityValueStopsBeforeConnecting) {
  ScriptedPop3Peer peer(loop, {});
  fields.port = peer.PortText();
  fields.security = "SSL";
  run.MenuProcessClick();

  EXPECT_EQ(run.Phase(), runStopped);
  EXPECT_EQ(client.RequestsOut(), 0u);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{RunErrorBox(
                                   "Vexalo.ini の SECURITY の値「SSL」は 0（暗号化なし）、"
                                   "1（SSL/TLS）、2（STARTTLS）のどれでもありません")});
  EXPECT_FALSE(run.IsBusy());
}

}  // namespace
}  // namespace vexalo

namespace vexalo {
namespace {

using namespace script;

// AUTH=1 against a token endpoint nobody answers: a grant with a token good
// for more than a minute logs in with XOAUTH2 alone (no USER, no PASS, no
// call to the endpoint); without a grant the run ends before it connects,
// asking to sign in.
class OAuthRunTest : public ProcessingRunTest {
 protected:
  OAuthRunTest() {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");  // the grant is in the folder's file
    fields.auth = "1";
    fields.oauthProvider = "CUSTOM";
    fields.oauthClientId = "client";
    fields.oauthTokenUrl = fields.oauthAuthorizeUrl = "http://127.0.0.1:1/";
    fields.oauthScope = "mail";
  }
};

TEST_F(OAuthRunTest, AStoredTokenLogsInWithXOAuth2AloneAndNoGrantEndsBeforeConnecting) {
  ScriptedPop3Peer unused(loop, {Send("+OK ready\r\n")});
  FetchFrom(unused);
  EXPECT_FALSE(unused.Finished()) << "the run connected";
  ASSERT_EQ(reporter.failures.size(), 1u);
  EXPECT_EQ(reporter.failures[0].step, procToken);
  EXPECT_NE(reporter.failures[0].detail.find("vexalo-fetch --sign-in"), std::string::npos);

  OAuthGrant grant;
  grant.refreshToken = "rt-1";
  grant.accessToken = "at-1";
  grant.accessExpiresAt = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count() +
                          3600;
  MakeFileSecretStore(folder.Path(kGrantFileName))->Save(SerializeGrant(grant));
  ScriptedPop3Peer peer(loop, {Send("+OK ready\r\n"),
                               Expect("AUTH XOAUTH2 " + Base64Encode("user=bob\x01"
                                                                     "auth=Bearer at-1\x01\x01")),
                               Send("+OK\r\n"), Expect("CAPA"), Send(kLockStepCapa), Expect("STAT"),
                               Send("+OK 0 0\r\n"), Expect("QUIT"), Send("+OK\r\n"), Close()});
  FetchFrom(peer);
  EXPECT_EQ(peer.Problems(), "");
  EXPECT_EQ(run.Phase(), runCompleted);
}

}  // namespace
}  // namespace vexalo
