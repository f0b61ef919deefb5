#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "DovecotServer.h"
#include "LoopbackLineClient.h"
#include "ProcessList.h"

namespace vexalo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr auto kTimeout = std::chrono::seconds(20);
constexpr std::size_t kBodyCap = 1 << 20;

// An order mail as the program expects it: ISO-2022-JP body lines of
// "item:value" under the trigger line.
const std::string kOrderMail =
    "From: shop@example.jp\n"
    "Subject: order\n"
    "Content-Type: text/plain; charset=iso-2022-jp\n"
    "X-VEXALO: default\n"
    "\n"
    "\x1b$B>&IJL>\x1b(B:soy\n"
    "..dotted line\n";

std::size_t CrLfSize(const std::string& text) {
  return text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool GroupIsRunning(pid_t group) {
  const auto processes = ListProcesses();
  return std::any_of(processes.begin(), processes.end(), [group](const ProcessEntry& entry) {
    return entry.group == group && !entry.zombie;
  });
}

bool WaitUntilGroupEnds(pid_t group) {
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (GroupIsRunning(group)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A connection to the server with its greeting read; LogIn logs in with
// USER/PASS.
struct Session {
  explicit Session(const DovecotServer& server, int receiveBufferBytes = 0)
      : client(server.Port(), kTimeout, receiveBufferBytes), greeting(client.ReadLine()) {}

  void LogIn(const DovecotServer& server) {
    ASSERT_THAT(client.Command("USER " + server.User()), StartsWith("+OK"));
    ASSERT_THAT(client.Command("PASS " + server.Password()), StartsWith("+OK"));
  }

  LoopbackLineClient client;
  std::string greeting;
};

// RFC 1939's APOP digest, from coreutils' md5sum as an independent oracle.
std::string ApopDigest(const DovecotServer& server, const std::string& timestamp) {
  const auto input = server.WorkFolder() / "apop-input";
  std::ofstream(input, std::ios::binary) << timestamp << server.Password();
  FILE* pipe = ::popen(("md5sum " + input.string()).c_str(), "r");
  char hex[33] = {};
  const bool read = pipe != nullptr && std::fread(hex, 1, 32, pipe) == 32;
  if (pipe != nullptr) ::pclose(pipe);
  return read ? std::string(hex, 32) : std::string();
}

TEST(DovecotServerTest, ServesAddedMessagesOverUserPass) {
  DovecotServer server;
  // Numbered by id, not by the order they were added in.
  server.AddMessage("order-2", "X: y\n", DovecotServer::Folder::kCur);
  server.AddMessage("order-1", kOrderMail);
  EXPECT_EQ(server.Host(), "127.0.0.1");

  Session session(server);
  EXPECT_THAT(session.greeting, StartsWith("+OK "));
  session.LogIn(server);
  const std::string stat = session.client.Command("STAT");
  // Sizes count every LF as CR LF.
  EXPECT_EQ(stat, "+OK 2 " + std::to_string(CrLfSize(kOrderMail) + CrLfSize("X: y\n")))
      << server.LogText();

  ASSERT_THAT(session.client.Command("UIDL"), StartsWith("+OK"));
  EXPECT_THAT(session.client.ReadBody(kBodyCap), ElementsAre("1 order-1", "2 order-2"));

  ASSERT_THAT(session.client.Command("RETR 1"), StartsWith("+OK"));
  EXPECT_THAT(session.client.ReadBody(kBodyCap),
              ElementsAre("From: shop@example.jp", "Subject: order",
                          "Content-Type: text/plain; charset=iso-2022-jp", "X-VEXALO: default", "",
                          "\x1b$B>&IJL>\x1b(B:soy", "..dotted line"));
  EXPECT_THAT(session.client.Command("QUIT"), StartsWith("+OK"));
}

TEST(DovecotServerTest, GreetingCarriesApopTimestampThatLogsIn) {
  DovecotServer server;
  server.AddMessage("only", kOrderMail);

  Session session(server);
  std::smatch timestamp;
  ASSERT_TRUE(std::regex_search(session.greeting, timestamp, std::regex("<[^<>@ ]+@[^<> ]+>$")))
      << session.greeting;
  const std::string digest = ApopDigest(server, timestamp.str());
  ASSERT_EQ(digest.size(), 32u);
  EXPECT_THAT(session.client.Command("APOP " + server.User() + " " + digest), StartsWith("+OK"))
      << server.LogText();
  EXPECT_THAT(session.client.Command("STAT"), StartsWith("+OK 1 "));
}

// The client side of TLS is the program's own and is tested with it; here
// only that the fixture offers both ways in, under its own authority.
TEST(DovecotServerTest, OffersStlsInTheClearAndTlsOnItsOwnPort) {
  DovecotServer server;
  Session session(server);
  ASSERT_THAT(session.client.Command("CAPA"), StartsWith("+OK"));
  EXPECT_THAT(session.client.ReadBody(kBodyCap), Contains("STLS"));

  const std::string command = "echo QUIT | openssl s_client -quiet -verify_return_error -CAfile " +
                              server.CaFile().string() + " -verify_hostname localhost " +
                              "-connect 127.0.0.1:" + std::to_string(server.TlsPort()) +
                              " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char greeting[256] = {};
  const bool read = std::fgets(greeting, sizeof greeting, pipe) != nullptr;
  ::pclose(pipe);
  ASSERT_TRUE(read) << server.LogText();
  EXPECT_THAT(greeting, StartsWith("+OK Vexalo test server"));
  EXPECT_EQ(server.ServerFingerprint().size(), 95u);
}

TEST(DovecotServerTest, RefusesWrongSecretsAtOnce) {
  DovecotServer server;
  Session session(server);
  ASSERT_THAT(session.client.Command("USER " + server.User()), StartsWith("+OK"));
  EXPECT_THAT(session.client.Command("PASS wrong"), StartsWith("-ERR"));
  EXPECT_THAT(session.client.Command("APOP " + server.User() + " " + std::string(32, '0')),
              StartsWith("-ERR"));
  // A correct login still works after failures: no growing penalty.
  session.LogIn(server);
}

TEST(DovecotServerTest, DeletedMessageIsGoneAfterQuitOnly) {
  DovecotServer server;
  server.AddMessage("a", kOrderMail);
  server.AddMessage("b", kOrderMail, DovecotServer::Folder::kCur);
  server.AddMessage("c", kOrderMail);

  Session session(server);
  session.LogIn(server);
  ASSERT_THAT(session.client.Command("DELE 2"), StartsWith("+OK"));
  EXPECT_THAT(server.MessagesOnServer(), ElementsAre("a", "b", "c"));
  ASSERT_THAT(session.client.Command("QUIT"), StartsWith("+OK"));
  EXPECT_EQ(session.client.ReadUntilClosed(kBodyCap), "");
  EXPECT_THAT(server.MessagesOnServer(), ElementsAre("a", "c")) << server.LogText();
}

TEST(DovecotServerTest, RejectsBadOrDuplicateIds) {
  DovecotServer server;
  server.AddMessage("taken", kOrderMail);
  const std::vector<std::string> badIds = {"",         "has space", "a/b",
                                           "colon:2,", "taken",     std::string(201, 'x')};
  for (const auto& uidl : badIds) {
    EXPECT_THROW(server.AddMessage(uidl, kOrderMail), std::invalid_argument) << uidl;
  }
  EXPECT_THROW(server.MakeUnreadable("missing"), std::invalid_argument);
  EXPECT_THAT(server.MessagesOnServer(), ElementsAre("taken"));
}

TEST(DovecotServerTest, UnreadableMessageIsRefusedByRetr) {
  DovecotServer server;
  server.AddMessage("readable", kOrderMail);
  server.AddMessage("spoilt", kOrderMail);

  Session session(server);
  session.LogIn(server);
  ASSERT_THAT(session.client.Command("UIDL 2"), StartsWith("+OK 2 spoilt"));
  server.MakeUnreadable("spoilt");
  EXPECT_THAT(session.client.Command("RETR 2"), StartsWith("-ERR"));
  ASSERT_THAT(session.client.Command("RETR 1"), StartsWith("+OK"));
  EXPECT_EQ(session.client.ReadBody(kBodyCap).size(), 7u);
}

TEST(DovecotServerTest, DroppedSessionCutsRetrShort) {
  DovecotServer server;
  // More than the kernel and the server can hold in flight, so the cut
  // always falls inside the message.
  std::string big = "Subject: big\n\n";
  while (big.size() < std::size_t{16} * 1024 * 1024) big += std::string(70, 'x') + "\n";
  server.AddMessage("big", big);

  Session session(server, 64 * 1024);
  session.LogIn(server);
  ASSERT_THAT(session.client.Command("RETR 1"), StartsWith("+OK"));
  EXPECT_EQ(server.DropSessions(), 1);
  const std::string rest = session.client.ReadUntilClosed(2 * big.size());
  EXPECT_LT(rest.size(), big.size());
  EXPECT_FALSE(rest.ends_with("\r\n.\r\n"));
  EXPECT_THAT(server.MessagesOnServer(), ElementsAre("big"));
}

TEST(DovecotServerTest, ServersSideBySideKeepApart) {
  DovecotServer first;
  DovecotServer second;
  first.AddMessage("one", kOrderMail);
  EXPECT_NE(first.Port(), second.Port());

  Session session(second);
  session.LogIn(second);
  EXPECT_THAT(session.client.Command("STAT"), StartsWith("+OK 0 "));
}

TEST(DovecotServerTest, StopLeavesNothingBehind) {
  pid_t group = 0;
  std::filesystem::path folder;
  {
    DovecotServer server;
    group = server.ProcessId();
    folder = server.WorkFolder();
    Session session(server);
    session.LogIn(server);
    // Stopped with a session still logged in.
  }
  EXPECT_FALSE(GroupIsRunning(group));
  EXPECT_FALSE(std::filesystem::exists(folder));
}

// The process that owns the server ends without running the destructor, as
// in a crash.
TEST(DovecotServerTest, ServerEndsWithAProcessThatDies) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    try {
      const DovecotServer server;
      const std::string report =
          std::to_string(server.ProcessId()) + " " + server.WorkFolder().string();
      const bool written = ::write(pipeFds[1], report.data(), report.size()) > 0;
      ::_exit(written ? 0 : 2);  // gone with the server still up, as in a crash
    } catch (...) {
      ::_exit(1);
    }
  }
  ::close(pipeFds[1]);
  char buffer[512] = {};
  const ssize_t length = ::read(pipeFds[0], buffer, sizeof buffer - 1);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_GT(length, 0) << "the child could not start a server";

  const std::string report(buffer, static_cast<std::size_t>(length));
  const pid_t group = std::stoi(report);
  const std::filesystem::path folder = report.substr(report.find(' ') + 1);
  EXPECT_TRUE(WaitUntilGroupEnds(group));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vexalo
