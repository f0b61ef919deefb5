// Processing runs against a real Dovecot: the run, the client, the parser and
// the data files together, as the desktop program drives them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DovecotServer.h"
#include "RunRecording.h"
#include "TempFolder.h"
#include "jconv/JisConv.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "run/ProcessingRun.h"
#include "settings/SettingsFields.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::RecordingReporter;
using testing::RunErrorBox;
using testing::RunSummary;
using testing::TempFolder;
namespace fs = std::filesystem;

constexpr int kTimeoutMs = 30000;
constexpr char kStamp[] = "2024/07/01 9:05:00";

std::string MailFixture(const std::string& name) {
  return ReadBytes(std::string(VEXALO_RUN_FIXTURE_DIR) + "/mail/" + name);
}
std::string ExpectedFile(const std::string& name) {
  return ReadBytes(std::string(VEXALO_RUN_FIXTURE_DIR) + "/expected/" + name);
}

// The first `count` lines of the expected AllData.csv.
std::string ExpectedAllDataLines(int count) {
  const std::string all = ExpectedFile("AllData.csv");
  std::string::size_type end = 0;
  for (int line = 0; line < count; ++line) end = all.find('\n', end) + 1;
  return all.substr(0, end);
}

// What the desktop program holds from its start to its end: a table loaded
// from the data files in `folder`, a client and a run over them.
struct Program {
  Program(SettingsFields& fields, const TempFolder& folder)
      : run(table, fields, client, jisConv,
            DataFilePaths{folder.Path(kAllDataFileName), folder.Path(kFirstRowFileName),
                          folder.Path(kUnpickedFileName)},
            reporter, [] { return std::string(kStamp); }) {
    run.LoadTable([](const std::exception& error) { ADD_FAILURE() << error.what(); });
  }

  // One fetch command, run to its end.
  void Fetch() {
    run.MenuProcessClick();
    ASSERT_TRUE(loop.RunUntil([&] { return !run.IsBusy(); }, kTimeoutMs));
  }

  PollEventLoop loop;
  DataTable table;
  TPop3Client client{loop};
  TJisConv jisConv;
  RecordingReporter reporter;
  TProcessingRun run;
};

class RunEndToEndTest : public ::testing::Test {
 protected:
  RunEndToEndTest() {
    fields.host = server.Host();
    fields.port = std::to_string(server.Port());
    fields.userName = server.User();
    fields.passWord = server.Password();
    fields.headerToken = "X-VEXALO: default";
    fields.splitToken = ":";
  }

  // Three picked orders, one in each charset, among two mails that are not.
  void AddMixedMailbox() {
    server.AddMessage("order-a", MailFixture("order-iso2022jp.eml"));
    server.AddMessage("order-b-note", MailFixture("thunderbird-jis.eml"));
    server.AddMessage("order-c", MailFixture("order-eucjp.eml"));
    server.AddMessage("order-d-note", MailFixture("trigger-with-trailing-blank.eml"));
    server.AddMessage("order-e", MailFixture("order-shiftjis.eml"));
  }

  // The program as it is after a start in `folder`.
  std::unique_ptr<Program> Start() { return std::make_unique<Program>(fields, folder); }

  std::string AllData() const { return ReadBytes(folder.Path(kAllDataFileName)); }
  std::string FirstRow() const { return ReadBytes(folder.Path(kFirstRowFileName)); }

  DovecotServer server;
  TempFolder folder;
  PlainSettingsFields fields;
};

// Over POP3S and over STARTTLS a run takes the same rows as in the clear.
TEST_F(RunEndToEndTest, EncryptedRunsWriteTheSameFilesAsPlain) {
  AddMixedMailbox();
  setenv("SSL_CERT_FILE", server.CaFile().c_str(), 1);
  fields.host = "localhost";
  for (const auto& [security, port] :
       {std::pair{"1", server.TlsPort()}, std::pair{"2", server.Port()}}) {
    SCOPED_TRACE(security);
    fs::remove(folder.Path(kAllDataFileName));
    fs::remove(folder.Path(kFirstRowFileName));
    fields.security = security;
    fields.port = std::to_string(port);
    auto program = Start();
    program->Fetch();
    EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
    EXPECT_TRUE(program->reporter.messages.empty()) << program->reporter.messages.front();
    EXPECT_TRUE(program->client.Encrypted() || !program->client.Connected());
    EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));
    EXPECT_EQ(FirstRow(), ExpectedFile("FirstRow.csv"));
  }
  unsetenv("SSL_CERT_FILE");
}

// A certificate nobody vouches for is put to the user: no leaves the run
// stopped with the error box, yes pins it in the settings and the run goes on.
TEST_F(RunEndToEndTest, UntrustedCertificateIsPutToTheUserAndPinnedWhenTrusted) {
  AddMixedMailbox();
  fields.security = "1";
  fields.port = std::to_string(server.TlsPort());
  auto program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runStopped);
  ASSERT_EQ(program->reporter.certificateQuestions.size(), 1u);
  const CertificateQuestion& question = program->reporter.certificateQuestions.front();
  EXPECT_EQ(question.host, server.Host());
  EXPECT_EQ(question.reason, "TLS certificate not trusted: unable to get local issuer certificate");
  EXPECT_EQ(question.facts.fingerprint, server.ServerFingerprint());
  EXPECT_EQ(program->reporter.messages,
            (std::vector<std::string>{RunErrorBox("-ERR " + question.reason)}));
  EXPECT_EQ(fields.tlsFingerprint, "");
  EXPECT_FALSE(fs::exists(folder.Path(kAllDataFileName)));

  program->reporter.trustCertificates = true;
  program->reporter.messages.clear();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(program->reporter.certificateQuestions.size(), 2u);
  EXPECT_TRUE(program->reporter.messages.empty());
  EXPECT_EQ(fields.tlsFingerprint, server.ServerFingerprint());
  EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));

  // From now on the pin alone decides: no question.
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted);
  EXPECT_EQ(program->reporter.certificateQuestions.size(), 2u);
}

// A silent server ends the run with the socket time-out after TIMEOUT
// seconds; the next fetch is free to start.
TEST_F(RunEndToEndTest, SilentServerEndsTheRunWithTheTimeOut) {
  AddMixedMailbox();
  fields.timeout = "1";
  fields.port = std::to_string(server.TlsPort());  // speaks TLS first: silent to plain POP3
  auto program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runStopped);
  EXPECT_EQ(
      program->reporter.messages,
      (std::vector<std::string>{RunErrorBox("-ERR Connection timed out (Winsock error #10060)")}));
  fields.port = std::to_string(server.Port());
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted);
  EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));
}

TEST_F(RunEndToEndTest, TakesEachPickedMailOnceAcrossRunsAndRestarts) {
  AddMixedMailbox();
  auto program = Start();
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_TRUE(program->reporter.messages.empty());
  EXPECT_EQ(program->reporter.statuses,
            (std::vector<std::string>{"メール受信中", "1/5通処理しました。", "2/5通処理しました。",
                                      "3/5通処理しました。", "4/5通処理しました。",
                                      "5/5通処理しました。", RunSummary(5, 3, 3)}));
  EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));
  EXPECT_EQ(FirstRow(), ExpectedFile("FirstRow.csv"));
  EXPECT_EQ(ReadBytes(folder.Path(kUnpickedFileName)),
            "X-VEXALO: default\r\norder-b-note\r\norder-d-note\r\n");

  // Again in the same session: the mails that are not orders are
  // remembered as such, so nothing is read and nothing taken.
  program->reporter.statuses.clear();
  program->Fetch();
  EXPECT_EQ(program->reporter.statuses,
            (std::vector<std::string>{"メール受信中", RunSummary(5, 0, 3)}));

  // After a restart the ids come back from AllData.csv and Unpicked.txt.
  program = Start();
  program->reporter.statuses.clear();
  program->Fetch();
  EXPECT_EQ(program->reporter.statuses,
            (std::vector<std::string>{"メール受信中", RunSummary(5, 0, 3)}));
  EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));
  EXPECT_EQ(FirstRow(), ExpectedFile("FirstRow.csv"));
  EXPECT_EQ(
      server.MessagesOnServer(),
      (std::vector<std::string>{"order-a", "order-b-note", "order-c", "order-d-note", "order-e"}));
}

// A picked mail whose body gives no item still leaves its stamp and id in
// AllData.csv, so no later start takes it again.
TEST_F(RunEndToEndTest, PickedMailsWithoutItemsAreTakenOnceAcrossRestarts) {
  server.AddMessage("blank", "Subject: no body\r\nX-VEXALO: default\r\n\r\n");
  server.AddMessage("comments,only",
                    "Subject: comments\r\nX-VEXALO: default\r\n\r\n%:a comment\r\n");
  server.AddMessage("order-a", MailFixture("order-iso2022jp.eml"));
  const std::string expected =
      "2024/07/01 9:05:00,blank\r\n"
      "2024/07/01 9:05:00,comments\x81\x43only\r\n" +
      ExpectedAllDataLines(1);
  auto program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(program->reporter.statuses.back(), RunSummary(3, 3, 3) + "　値のない注文：2件");
  EXPECT_EQ(AllData(), expected);

  for (int start = 0; start < 2; ++start) {
    program = Start();
    program->Fetch();
    EXPECT_EQ(program->reporter.statuses.back(), RunSummary(3, 0, 3));
    EXPECT_EQ(AllData(), expected);
  }
}

// COLUMNS=1: two forms that order their fields differently, one repeating a
// name and opening with a greeting, fill the same columns; after a restart
// the titles of FirstRow.csv are the map a third mail is placed by.
TEST_F(RunEndToEndTest, ColumnsByNameAcrossFormsAndRestarts) {
  fields.columnsByName = true;
  server.AddMessage("m1",
                    "Subject: a\r\nX-VEXALO: default\r\n\r\nHello,\r\n\r\n"
                    "name:pen\r\nqty:2\r\nname:ink\r\n%:note\r\n");
  server.AddMessage("m2",
                    "Subject: b\r\nX-VEXALO: default\r\n\r\nqty:5\r\nshop:east\r\n"
                    "name:pad\r\n");
  auto program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(FirstRow(), ",,name,qty,name,shop\r\n");
  EXPECT_EQ(AllData(),
            "2024/07/01 9:05:00,m1,pen,2,ink\r\n"
            "2024/07/01 9:05:00,m2,pad,5,,east\r\n");

  server.AddMessage("m3", "Subject: c\r\nX-VEXALO: default\r\n\r\nshop:west\r\nname:cup\r\n");
  program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(FirstRow(), ",,name,qty,name,shop\r\n");
  EXPECT_EQ(AllData(),
            "2024/07/01 9:05:00,m1,pen,2,ink\r\n"
            "2024/07/01 9:05:00,m2,pad,5,,east\r\n"
            "2024/07/01 9:05:00,m3,cup,,,west\r\n");
}

TEST_F(RunEndToEndTest, DeletingAfterReadingRemovesExactlyThePickedMails) {
  AddMixedMailbox();
  fields.deleteAfterReading = true;
  auto program = Start();
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(AllData(), ExpectedFile("AllData.csv"));
  EXPECT_EQ(server.MessagesOnServer(), (std::vector<std::string>{"order-b-note", "order-d-note"}));
}

TEST_F(RunEndToEndTest, EmptyMailboxQuitsAtOnceAndStillWritesTheTitles) {
  auto program = Start();
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(program->reporter.statuses,
            (std::vector<std::string>{"メール受信中", RunSummary(0, 0, 1)}));
  EXPECT_EQ(FirstRow(), ",,\r\n");
  EXPECT_FALSE(fs::exists(folder.Path(kAllDataFileName)));
}

TEST_F(RunEndToEndTest, WrongPasswordShowsTheServersWordsInTheErrorBox) {
  AddMixedMailbox();
  fields.passWord = "not-the-password";
  auto program = Start();
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runStopped);
  EXPECT_EQ(program->reporter.messages,
            std::vector<std::string>{RunErrorBox("-ERR [AUTH] Authentication failed.")});
  EXPECT_FALSE(fs::exists(folder.Path(kAllDataFileName)));
  EXPECT_FALSE(fs::exists(folder.Path(kFirstRowFileName)));
  EXPECT_FALSE(program->client.Connected());
}

// The connection breaks while a large order is coming in, after an earlier
// picked mail was taken and marked for deletion.
TEST_F(RunEndToEndTest, ServerGoneInTheMiddleOfRetrKeepsTheTakenRowAndDeletesNothing) {
  server.AddMessage("order-a", MailFixture("order-iso2022jp.eml"));
  std::string large = "Subject: large\nX-VEXALO: default\n\n";
  while (large.size() < (8u << 20)) large += "A line of a large order without items.\n";
  server.AddMessage("zz-large", large);
  fields.deleteAfterReading = true;
  auto program = Start();
  bool dropped = false;
  bool largeAskedFor = false;
  program->client.OnTrace = [&](std::string_view line) {
    if (line == "> RETR 2") largeAskedFor = true;
    if (!dropped && largeAskedFor && program->run.Counts().taken == 1 && line.starts_with("< ")) {
      dropped = server.DropSessions() > 0;
    }
  };
  program->Fetch();

  ASSERT_TRUE(dropped);
  EXPECT_EQ(program->run.Phase(), runStopped);
  // Dovecot pipelines: a DELE it had not read yet when it went turns its
  // close into a reset.
  EXPECT_THAT(program->reporter.messages,
              ::testing::ElementsAre(::testing::AnyOf(
                  RunErrorBox("-ERR Connection closed by server"),
                  RunErrorBox("-ERR Connection reset by peer (Winsock error #10054)"))));
  EXPECT_EQ(AllData(), ExpectedAllDataLines(1));
  // The titles of the row taken went to disk before it: the mail is never
  // read again to find them.
  const std::string titles = FirstRow();
  const std::string row = AllData();
  EXPECT_EQ(std::count(titles.begin(), titles.end(), ','), std::count(row.begin(), row.end(), ','));
  EXPECT_EQ(server.MessagesOnServer(), (std::vector<std::string>{"order-a", "zz-large"}));
}

TEST_F(RunEndToEndTest, UnwritableAllDataStopsTheRunAndTheMailIsTakenAfterARestart) {
  server.AddMessage("order-a", MailFixture("order-iso2022jp.eml"));
  server.AddMessage("order-c", MailFixture("order-eucjp.eml"));
  fields.deleteAfterReading = true;
  auto program = Start();
  fs::create_directory(folder.Path(kAllDataFileName));  // no file can be appended there
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runStopped);
  EXPECT_EQ(program->reporter.messages,
            std::vector<std::string>{RunErrorBox("ファイルへのアクセスが拒否されました (" +
                                                 folder.Path(kAllDataFileName) + ")")});
  EXPECT_EQ(server.MessagesOnServer(), (std::vector<std::string>{"order-a", "order-c"}));

  fs::remove(folder.Path(kAllDataFileName));
  program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  EXPECT_EQ(program->reporter.statuses.back(), RunSummary(2, 2, 2));
  EXPECT_EQ(AllData(), ExpectedAllDataLines(2));
  EXPECT_TRUE(server.MessagesOnServer().empty());
}

// Whether `text` is CP932 throughout: single bytes 0x00-0x7F and 0xA1-0xDF,
// pairs of a lead byte and a trail byte.
bool IsValidCp932(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF)) continue;
    if (!((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC))) return false;
    if (++i == text.size()) return false;
    const auto trail = static_cast<unsigned char>(text[i]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
  }
  return true;
}

// Lines of a raw mail that are base64 text, as a part's body holds them.
void AddBase64Lines(const std::string& raw, std::set<std::string>& lines) {
  static const std::regex kBase64Line("[A-Za-z0-9+/]{40,}={0,2}");
  std::istringstream in(raw);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (std::regex_match(line, kBase64Line)) lines.insert(line);
  }
}

// The boundaries a raw mail declares anywhere in it.
std::vector<std::string> Boundaries(const std::string& raw) {
  static const std::regex kBoundary(R"(boundary\s*=\s*"?([^"\s;]+))", std::regex::icase);
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(raw.begin(), raw.end(), kBoundary);
       it != std::sregex_iterator(); ++it) {
    found.push_back("--" + (*it)[1].str());
  }
  return found;
}

// A data folder that took mailbox A and is then pointed at mailbox B whose
// ids are the same (servers give ids this way) must read B's orders, never
// delete them unread as the ones it took from A.
TEST_F(RunEndToEndTest, AnotherMailboxWithEqualIdsIsReadNotDeletedUnread) {
  server.AddMessage("order-a", MailFixture("order-iso2022jp.eml"));
  server.AddMessage("order-c", MailFixture("order-eucjp.eml"));
  Start()->Fetch();
  const std::string takenFromA = AllData();

  DovecotServer other;
  other.AddMessage("order-a", MailFixture("order-shiftjis.eml"));
  other.AddMessage("order-c", MailFixture("order-eucjp.eml"));  // the same mail in both
  fields.port = std::to_string(other.Port());
  fields.userName = other.User();
  fields.passWord = other.Password();
  fields.deleteAfterReading = true;
  auto program = Start();
  program->Fetch();

  EXPECT_EQ(program->run.Phase(), runCompleted) << other.LogText();
  EXPECT_EQ(program->run.Counts().reusedIds, 1);
  EXPECT_EQ(program->run.Counts().taken, 1);
  // B's own order is read and taken before it is deleted; the mail taken
  // from A already, proven by its header, is deleted without a second row.
  EXPECT_EQ(AllData().substr(0, takenFromA.size()), takenFromA);
  EXPECT_NE(AllData().find(",order-a,", takenFromA.size()), std::string::npos);
  EXPECT_TRUE(other.MessagesOnServer().empty());
}

// Real Japanese mail from phones, mail programs and form services, each with
// the trigger line put first: every mail with a text is taken, and what it
// leaves in the data files is text, never MIME's machinery. Two of them carry
// nothing but an attachment: they are left on the server and counted.
TEST_F(RunEndToEndTest, RealMailLeavesOnlyTextInTheRows) {
  const fs::path corpus = fs::path(VEXALO_CORPUS_DIR);
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no mail corpus at " << corpus;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".eml") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  std::vector<std::string> boundaries;
  std::set<std::string> base64Lines;
  for (const fs::path& file : files) {
    const std::string raw = ReadBytes(file.string());
    AddBase64Lines(raw, base64Lines);
    for (std::string& boundary : Boundaries(raw)) boundaries.push_back(std::move(boundary));
    server.AddMessage(file.stem().string().substr(0, 3), "X-VEXALO: default\r\n" + raw);
  }

  auto program = Start();
  program->Fetch();
  EXPECT_EQ(program->run.Phase(), runCompleted) << server.LogText();
  const int count = static_cast<int>(files.size());
  constexpr int kWithoutText = 3;  // 047, 051 and 053
  // Most of these mails are no forms: they are taken without a value, and
  // the summary counts them after the ones left on the server.
  const std::string summary = RunSummary(count, count - kWithoutText, count - kWithoutText) +
                              "　本文を読めず未処理の注文：3件　値のない注文：";
  EXPECT_EQ(program->reporter.statuses.back().substr(0, summary.size()), summary);

  static const std::regex kQuotedPrintable("(=[0-9A-F]{2}){2}");
  const std::string allData = AllData();
  const std::string firstRow = FirstRow();
  EXPECT_TRUE(IsValidCp932(allData));
  EXPECT_TRUE(IsValidCp932(firstRow));
  size_t rows = 0;
  for (const std::string& text : {allData, firstRow}) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      ++rows;
      std::istringstream cells(line);
      for (std::string field; std::getline(cells, field, ',');) {
        for (const std::string& boundary : boundaries) {
          EXPECT_EQ(field.find(boundary), std::string::npos) << boundary << " in " << line;
        }
        EXPECT_EQ(base64Lines.count(field), 0u) << field;
        EXPECT_FALSE(std::regex_search(field, kQuotedPrintable)) << field;
      }
    }
  }
  EXPECT_EQ(rows, files.size() - kWithoutText + 1);
}

}  // namespace
}  // namespace vexalo
