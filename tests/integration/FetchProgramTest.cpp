// vexalo-fetch as cron would start it: its exit status, what it prints, what
// it leaves in its folder and on the server.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DovecotServer.h"
#include "FetchProcess.h"
#include "TempFolder.h"
#include "XlsxCells.h"
#include "auth/SecretStore.h"
#include "cipher/StringCipher.h"
#include "settings/IniUnit.h"
#include "settings/SettingsStore.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Runs vexalo-fetch with a terminal as its standard input, output and error,
// types `typed` once the "Password: " prompt shows and returns what the
// terminal showed.
ProgramResult RunFetchOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  const std::string deviceName = ptsname(terminal);
  std::vector<std::string> argvText = FetchCommand(args);
  const std::vector<char*> argv = ArgvPointers(argvText);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setsid();
    const int device = open(deviceName.c_str(), O_RDWR);
    dup2(device, STDIN_FILENO);
    dup2(device, STDOUT_FILENO);
    dup2(device, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }

  ProgramResult result;
  bool typedIn = false;
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (std::chrono::steady_clock::now() < deadline && result.out.size() < kOutputCap) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;  // the program has closed the terminal
    result.out.append(buffer, static_cast<size_t>(got));
    if (!typedIn && result.out.find("Password: ") != std::string::npos) {
      typedIn = write(terminal, typed.data(), typed.size()) == static_cast<ssize_t>(typed.size());
    }
  }
  close(terminal);
  // The terminal reports its end as the program exits; give the exit time to
  // be complete.
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  }
  return result;
}

// The line a completed run prints: its time, then `counts`, as a pattern.
std::string SummaryLine(const std::string& counts) {
  return R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )" + counts + "\n";
}

std::string RunFixture(const std::string& path) {
  return ReadBytes(std::string(VEXALO_RUN_FIXTURE_DIR) + "/" + path);
}

class FetchProgramTest : public ::testing::Test {
 protected:
  std::string Ini() const { return folder.Path("Vexalo.ini"); }

  // A settings file as an office would write it, with a line of its own.
  void WriteSettings(bool deleteAfterReading) {
    WriteBytes(Ini(), "[POP3]\r\nHOST=" + server.Host() + "\r\nPORT=" +
                          std::to_string(server.Port()) + "\r\nUSERNAME=" + server.User() +
                          "\r\n; the order mailbox\r\n[MAIL]\r\nDELETE=" +
                          (deleteAfterReading ? "1" : "0") + "\r\n");
  }

  DovecotServer server;
  TempFolder folder;
};

TEST_F(FetchProgramTest, StoredPasswordThenOneRunPrintsTheTextsAndTakesThePickedMails) {
  server.AddMessage("order-a", RunFixture("mail/order-iso2022jp.eml"));
  server.AddMessage("order-b-note", RunFixture("mail/thunderbird-jis.eml"));
  server.AddMessage("order-c", RunFixture("mail/order-eucjp.eml"));
  server.AddMessage("order-d-note", RunFixture("mail/trigger-with-trailing-blank.eml"));
  server.AddMessage("order-e", RunFixture("mail/order-shiftjis.eml"));
  WriteSettings(true);
  const std::string settingsBefore = ReadBytes(Ini());

  const ProgramResult stored =
      RunFetch({"--dir", folder.Root().string(), "--set-password"}, server.Password() + "\n");
  ASSERT_EQ(stored.exitStatus, 0) << stored.err;
  EXPECT_EQ(stored.out, "");
  const std::string cipherText = ReadIniString(Ini(), "POP3", "PASSWORD", "");
  EXPECT_EQ(DecryptText(cipherText, SettingsPassPhrase()), server.Password());
  EXPECT_EQ(ReadBytes(Ini()), "[POP3]\r\nHOST=" + server.Host() +
                                  "\r\nPORT=" + std::to_string(server.Port()) +
                                  "\r\nUSERNAME=" + server.User() + "\r\nPASSWORD=" + cipherText +
                                  "\r\n; the order mailbox\r\n[MAIL]\r\nDELETE=1\r\n")
      << "was:\n"
      << settingsBefore;

  const ProgramResult run = RunFetch({"--verbose", "--dir", folder.Root().string()}, "");
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err << server.LogText();
  EXPECT_TRUE(std::regex_match(
      run.out,
      std::regex("メール受信中\n1/5通処理しました。\n2/5通処理しました。\n3/5通処理しました。\n"
                 "4/5通処理しました。\n5/5通処理しました。\n"
                 "受信完了しました。総メール数：5　受信対象新規メール数：3　合計累積データ数：3\n" +
                 SummaryLine("5 mails looked at, 3 rows taken, 3 deleted"))))
      << run.out;
  EXPECT_EQ(run.err, "");
  const std::string allData = ReadBytes(folder.Path("AllData.csv"));
  const std::string stamp = allData.substr(0, allData.find(','));
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}/\d\d/\d\d( \d{1,2}:\d\d:\d\d)?)")))
      << stamp;
  EXPECT_EQ(allData, std::regex_replace(RunFixture("expected/AllData.csv"),
                                        std::regex("2024/07/01 9:05:00"), stamp));
  EXPECT_EQ(ReadBytes(folder.Path("FirstRow.csv")), RunFixture("expected/FirstRow.csv"));
  EXPECT_EQ(server.MessagesOnServer(), (std::vector<std::string>{"order-b-note", "order-d-note"}));
  // A run rewrites nothing of the settings.
  EXPECT_EQ(ReadIniString(Ini(), "POP3", "PASSWORD", ""), cipherText);

  // What a timer's journal gets from each run.
  const ProgramResult again = RunFetch({"--dir", folder.Root().string()}, "");
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_TRUE(std::regex_match(
      again.out, std::regex(SummaryLine("2 mails looked at, 0 rows taken, 0 deleted"))))
      << again.out;
  const ProgramResult quiet = RunFetch({"--dir", folder.Root().string(), "--quiet"}, "");
  EXPECT_EQ(quiet.exitStatus, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST_F(FetchProgramTest, RunErrorBoxEndsWithStatusOne) {
  WriteSettings(false);
  WriteIniString(Ini(), "POP3", "PASSWORD", EncryptText("wrong", SettingsPassPhrase()));
  // --quiet keeps the errors.
  const ProgramResult run = RunFetch({"--dir", folder.Root().string(), "--quiet"}, "");

  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "メール受信処理中にエラーが発生しました。(内容：-ERR [AUTH] "
            "Authentication failed.)\n一旦ソフトを終了させ（必ず行ってください）、\n"
            "インターネットへの接続や、メールサーバの設定を確認した後、再試行して下さい。\n"
            "考えられる原因：ユーザーIDかパスワードが違います。設定の「接続設定」で確かめてく"
            "ださい。\n");
}

// SSL/TLS asked of a server that speaks POP3 in the clear: the run ends at
// the handshake, and the cause printed points at the encryption setting.
TEST_F(FetchProgramTest, TlsAskedOfAPlainServerPointsAtTheEncryptionSetting) {
  WriteSettings(false);
  WriteIniString(Ini(), "POP3", "SECURITY", "1");
  const ProgramResult run = RunFetch({"--dir", folder.Root().string(), "--quiet"}, "");

  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("(内容：-ERR TLS handshake failed: the server answered in plain text, "
                         "without TLS)\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(
      run.err.ends_with("\n考えられる原因：サーバーは暗号化なしで応答しました。設定の"
                        "「暗号化」を「なし」か「STARTTLS」にするか、ポート番号を確かめて"
                        "ください（SSL/TLSは通常995）。\n"))
      << run.err;
}

// Started by cron while another run works on the same folder: no second
// session, the busy message and status 1.
TEST_F(FetchProgramTest, RunWhileAnotherHoldsTheFolderEndsBusyWithStatusOne) {
  server.AddMessage("order-a", RunFixture("mail/order-iso2022jp.eml"));
  WriteSettings(false);
  const int lock = ::open(folder.Path("AllData.csv.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const ProgramResult run = RunFetch({"--dir", folder.Root().string()}, "");
  ::close(lock);

  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err,
            "接続中です。処理が終了するまで待ってください。もしいつまでたっても終了しない場合は、"
            "ソフトを再起動してみてください。\n");
  EXPECT_FALSE(std::filesystem::exists(folder.Path("AllData.csv")));
}

// POP3S with the server's authority trusted; then the same server with its
// certificate unknown: the facts and the INI line that trusts it are printed,
// and with that line added the run goes through.
TEST_F(FetchProgramTest, TlsRunAndTheLineThatTrustsAnUnknownCertificate) {
  server.AddMessage("order-a", RunFixture("mail/order-iso2022jp.eml"));
  WriteBytes(Ini(), "[POP3]\r\nHOST=localhost\r\nPORT=" + std::to_string(server.TlsPort()) +
                        "\r\nUSERNAME=" + server.User() + "\r\nSECURITY=1\r\n");
  WriteIniString(Ini(), "POP3", "PASSWORD", EncryptText(server.Password(), SettingsPassPhrase()));
  setenv("SSL_CERT_FILE", server.CaFile().c_str(), 1);
  const ProgramResult trusted = RunFetch({"--verbose", "--dir", folder.Root().string()}, "");
  unsetenv("SSL_CERT_FILE");
  ASSERT_EQ(trusted.exitStatus, 0) << trusted.out << trusted.err << server.LogText();
  EXPECT_NE(trusted.out.find("1 mails looked at, 1 rows taken, 0 deleted\n"), std::string::npos)
      << trusted.out;

  std::filesystem::remove(folder.Path("AllData.csv"));
  const ProgramResult unknown = RunFetch({"--dir", folder.Root().string()}, "");
  EXPECT_EQ(unknown.exitStatus, 1);
  const std::string trustLine = "TLS_FINGERPRINT=" + server.ServerFingerprint();
  for (const std::string& fact :
       {std::string("サーバー：localhost\n"), std::string("発行先：CN=localhost,O=Vexalo Test\n"),
        std::string("発行者：CN=Vexalo Test CA\n"), "\n" + trustLine + "\n",
        std::string("(内容：-ERR TLS certificate not trusted: unable to get local issuer "
                    "certificate)\n")}) {
    EXPECT_NE(unknown.err.find(fact), std::string::npos) << fact << " in\n" << unknown.err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.Path("AllData.csv")));

  WriteIniString(Ini(), "POP3", "TLS_FINGERPRINT", server.ServerFingerprint());
  const ProgramResult pinned = RunFetch({"--dir", folder.Root().string()}, "");
  EXPECT_EQ(pinned.exitStatus, 0) << pinned.out << pinned.err;
  EXPECT_FALSE(ReadBytes(folder.Path("AllData.csv")).empty());
}

// Where a keyring answers (ctest runs this under with_keyring.sh), the
// stored password lives there, the file keeps none, and a run logs in with it.
TEST_F(FetchProgramTest, UnderAKeyringTheStoredPasswordLivesThereAndTheRunLogsInWithIt) {
  const auto keyring = MakeKeyringSecretStore(folder.Root().string() + "/", SecretKind::kPassword);
  if (!keyring) {
    if (getenv("VEXALO_EXPECT_KEYRING") != nullptr) FAIL() << "no Secret Service answered";
    GTEST_SKIP() << "no Secret Service on this session bus";
  }
  server.AddMessage("order-a", RunFixture("mail/order-iso2022jp.eml"));
  WriteSettings(false);

  const ProgramResult stored =
      RunFetch({"--dir", folder.Root().string(), "--set-password"}, server.Password() + "\n");
  ASSERT_EQ(stored.exitStatus, 0) << stored.err;
  EXPECT_EQ(ReadIniString(Ini(), "POP3", "PASSWORD", ""), "");
  EXPECT_EQ(keyring->Load(), server.Password());

  const ProgramResult run = RunFetch({"--verbose", "--dir", folder.Root().string()}, "");
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err << server.LogText();
  EXPECT_EQ((run.out + run.err).find(server.Password()), std::string::npos);
  EXPECT_FALSE(ReadBytes(folder.Path("AllData.csv")).empty());
  keyring->Erase();
}

TEST(FetchProgramTerminalTest, PasswordTypedOnATerminalIsNotShownAndIsStored) {
  TempFolder folder;
  const ProgramResult typed =
      RunFetchOnTerminal({"--dir", folder.Root().string(), "--set-password"}, "s3cret-Pw\n");

  EXPECT_EQ(typed.exitStatus, 0) << typed.out;
  EXPECT_EQ(typed.out.find("s3cret"), std::string::npos) << typed.out;
  EXPECT_EQ(DecryptText(ReadIniString(folder.Path("Vexalo.ini"), "POP3", "PASSWORD", ""),
                        SettingsPassPhrase()),
            "s3cret-Pw");
}

// What a folder may hold that no run can work with ends the run at once with
// exit status 1 and a text naming the cause: never a wait, never a run on
// settings the user did not make.
TEST(FetchProgramFolderTest, FilesAndSettingsThatCannotBeUsedEndTheRunNamingThem) {
  struct Case {
    std::string what;
    std::function<void(const TempFolder&)> prepare;
    std::function<std::string(const TempFolder&)> errorHolds;
  };
  const std::string someServer = "[POP3]\r\nHOST=127.0.0.1\r\nPORT=110\r\nUSERNAME=u\r\n";
  const Case cases[] = {
      {"a FIFO as AllData.csv",
       [&](const TempFolder& folder) {
         WriteBytes(folder.Path("Vexalo.ini"), someServer);
         ASSERT_EQ(mkfifo(folder.Path("AllData.csv").c_str(), 0600), 0);
       },
       [](const TempFolder& folder) {
         return "通常のファイルではありません (" + folder.Path("AllData.csv") + ")";
       }},
      {"a settings file over 1 MB",
       [&](const TempFolder& folder) {
         WriteBytes(folder.Path("Vexalo.ini"), someServer + ";" + std::string(1 << 20, 'x'));
       },
       [](const TempFolder& folder) {
         return folder.Path("Vexalo.ini") + " は大きすぎて設定ファイルとして読めません";
       }},
      {"a port with a typing error",
       [&](const TempFolder& folder) {
         WriteBytes(folder.Path("Vexalo.ini"),
                    "[POP3]\r\nHOST=127.0.0.1\r\nPORT=110abc\r\nUSERNAME=u\r\n");
       },
       [](const TempFolder&) { return std::string("SocketResolvePort: Invalid Port."); }},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    c.prepare(folder);
    const ProgramResult result = RunFetch({"--dir", folder.Root().string()}, "");
    EXPECT_EQ(result.exitStatus, 1) << c.what << "\n" << result.err;
    EXPECT_NE(result.err.find(c.errorHolds(folder)), std::string::npos) << c.what << "\n"
                                                                        << result.err;
  }
}

TEST(FetchProgramCommandLineTest, ExitStatusAndOutputOfEachForm) {
  TempFolder folder;
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exitStatus;
    std::string outStart;  // standard output begins with this; empty: nothing is printed
    std::string errStart;  // the same for standard error
  };
  const std::string dir = folder.Root().string();
  const std::string seeHelp = " (see vexalo-fetch --help)\n";
  const Case cases[] = {
      {{"--help"}, "", 0, "Usage: vexalo-fetch [--dir DIR] [--quiet | --verbose]\n", ""},
      {{"--dir", dir, "--bogus"},
       "",
       2,
       "",
       "vexalo-fetch: unexpected argument: --bogus" + seeHelp},
      {{"--dir"}, "", 2, "", "vexalo-fetch: --dir needs a folder" + seeHelp},
      {{"--dir", folder.Path("missing")}, "", 2, "", "vexalo-fetch: no such folder: "},
      {{"--quiet", "--verbose"}, "", 2, "", "vexalo-fetch: unexpected argument: --verbose"},
      // No server set: the settings message, and no run.
      {{"--dir", dir}, "", 1, "", "メールサーバ(POP3)への接続設定を完了したのち"},
      // Nothing typed: nothing stored.
      {{"--dir", dir, "--set-password"}, "", 1, "", "vexalo-fetch: no password line"},
      {{"--export"}, "", 2, "", "vexalo-fetch: --export needs a file" + seeHelp},
      {{"--set-password", "--export", "x.csv"}, "", 2, "", "vexalo-fetch: unexpected argument"},
      {{"--dir", dir, "--export", folder.Path("missing/x.csv")}, "", 1, "", "vexalo-fetch: "},
      {{"--sign-in", "--set-password"}, "", 2, "", "vexalo-fetch: unexpected argument"},
      // No client registered: nothing to sign in to.
      {{"--dir", dir, "--sign-in"},
       "",
       1,
       "",
       "vexalo-fetch: sign-in failed: Vexalo.ini の OAUTH_CLIENT_ID の値「」は空です"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = RunFetch(c.args, c.input);
    EXPECT_EQ(result.exitStatus, c.exitStatus) << c.args.back() << "\n" << result.err;
    EXPECT_EQ(result.out.substr(0, c.outStart.size()), c.outStart) << c.args.back();
    EXPECT_EQ(result.out.empty(), c.outStart.empty()) << c.args.back() << ": " << result.out;
    EXPECT_EQ(result.err.substr(0, c.errStart.size()), c.errStart) << c.args.back();
    EXPECT_EQ(result.err.empty(), c.errStart.empty()) << c.args.back() << ": " << result.err;
  }
  // Help names the folder the files would be in, without making it.
  const ProgramResult help = RunFetch({"--help"}, "");
  EXPECT_NE(help.out.find("The data folder now: " + std::string(VEXALO_FETCH_PROGRAM_DIR) + "/\n"),
            std::string::npos)
      << help.out;
  EXPECT_FALSE(std::filesystem::exists(folder.Path("Vexalo.ini")));
}

// A nightly export: no server needed, the whole table in the file order,
// CSV with formulas made inert (CSV_GUARD absent) or a workbook.
TEST(FetchProgramExportTest, WritesTheWholeTableAsCsvOrWorkbookWithoutFetching) {
  TempFolder folder;
  const std::string dir = folder.Root().string();
  WriteBytes(folder.Path("FirstRow.csv"), "stamp,id,name,qty\r\n");
  WriteBytes(folder.Path("AllData.csv"), "s1,m1,@SUM(A1),3\r\ns2,m2,ink\r\n");

  const ProgramResult csv = RunFetch({"--dir", dir, "--export", folder.Path("out.csv")}, "");
  EXPECT_EQ(csv.exitStatus, 0) << csv.err;
  EXPECT_EQ(csv.out + csv.err, "");
  EXPECT_EQ(ReadBytes(folder.Path("out.csv")),
            "stamp,id,name,qty\r\ns1,m1,'@SUM(A1),3\r\ns2,m2,ink,\r\n");

  const ProgramResult xlsx = RunFetch({"--dir", dir, "--export", folder.Path("out.xlsx")}, "");
  EXPECT_EQ(xlsx.exitStatus, 0) << xlsx.err;
  const auto cells = testing::ReadBack(folder.Path("out.xlsx"));
  EXPECT_EQ(cells.at("C2"), "s \"@SUM(A1)\"");
  EXPECT_EQ(cells.at("D2"), "n 3");
  EXPECT_EQ(cells.at("C3"), "s \"ink\"");
  EXPECT_EQ(cells.at("freeze"), "A2");

  // Nothing of the run: no lock, no list of unpicked mail, no settings file.
  EXPECT_FALSE(std::filesystem::exists(folder.Path("Unpicked.txt")));
  EXPECT_FALSE(std::filesystem::exists(folder.Path("Vexalo.ini")));
}

}  // namespace
}  // namespace vexalo
