// OAuth 2.0 from end to end: vexalo-fetch --sign-in against the project's own
// authorization server, then whole runs logging in to Dovecot with XOAUTH2,
// the tokens checked by the server's introspection.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "DovecotServer.h"
#include "FetchProcess.h"
#include "OAuthTestServer.h"
#include "TempFolder.h"
#include "auth/SecretStore.h"
#include "fetch/SignInCommand.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string OrderMail() {
  return ReadBytes(std::string(VEXALO_RUN_FIXTURE_DIR) + "/mail/order-iso2022jp.eml");
}

class OAuthTest : public ::testing::Test {
 public:
  explicit OAuthTest(const OAuthTestServer::Options& options = {})
      : auth(options), server(DovecotServer::OAuthIntrospection{auth.Url("/introspect")}) {
    // The grant goes to the file here, never to a keyring of whoever runs
    // the tests; the child processes inherit this.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }

  std::string Dir() const { return folder.Root().string() + "/"; }

  // A mailbox at the test server, the provider CUSTOM at the test
  // authorization server; with `device`, its device address too.
  void WriteSettings(bool device) {
    WriteBytes(folder.Path("Vexalo.ini"),
               "[POP3]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(server.Port()) +
                   "\r\nUSERNAME=" + server.User() +
                   "\r\nAUTH=1\r\nOAUTH_PROVIDER=CUSTOM\r\nOAUTH_CLIENT_ID=vexalo-test-client\r\n"
                   "OAUTH_AUTHORIZE_URL=" +
                   auth.Url("/authorize") + "\r\nOAUTH_TOKEN_URL=" + auth.Url("/token") +
                   "\r\nOAUTH_SCOPE=mail\r\n" +
                   (device ? "OAUTH_DEVICE_URL=" + auth.Url("/devicecode") + "\r\n" : "") +
                   "[MAIL]\r\nDELETE=1\r\n");
  }

  ProgramResult SignInOnDevice() {
    WriteSettings(true);
    return RunFetch({"--dir", folder.Root().string(), "--sign-in"}, "");
  }

  ProgramResult Run() { return RunFetch({"--verbose", "--dir", folder.Root().string()}, ""); }

  // Nothing of a token may show: they all start alike at the test server.
  static void ExpectNoTokenIn(const ProgramResult& result) {
    EXPECT_EQ(result.out.find("rt-"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find("rt-"), std::string::npos) << result.err;
  }

  OAuthTestServer auth;
  DovecotServer server;
  TempFolder folder;
};

// Access tokens that live under the minute a login needs: every run refreshes,
// and each refresh token is good once, so the second run works only if the
// first stored the rotated one.
class ShortTokenTest : public OAuthTest {
 protected:
  ShortTokenTest() : OAuthTest({.expiresIn = 30, .pending = 1, .slowDown = true}) {}
};

TEST_F(ShortTokenTest, DeviceSignInThenRunsThatRefreshAndKeepTheRotatedToken) {
  const ProgramResult signIn = SignInOnDevice();
  ASSERT_EQ(signIn.exitStatus, 0) << signIn.out << signIn.err;
  EXPECT_NE(signIn.out.find("enter the code VXLO-2024."), std::string::npos) << signIn.out;
  EXPECT_NE(signIn.out.find("Signed in for vexalo; the grant is kept in " + Dir() + kGrantFileName +
                            ".\n"),
            std::string::npos)
      << signIn.out;
  ExpectNoTokenIn(signIn);

  // Readable by its owner alone, and no token in clear.
  struct stat info {};
  ASSERT_EQ(stat(folder.Path(kGrantFileName).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadBytes(folder.Path(kGrantFileName)).find("rt-"), std::string::npos);

  server.AddMessage("order-1", OrderMail());
  const ProgramResult first = Run();
  EXPECT_EQ(first.exitStatus, 0) << first.out << first.err << server.LogText();
  EXPECT_NE(first.out.find("1 mails looked at, 1 rows taken, 1 deleted"), std::string::npos)
      << first.out;
  ExpectNoTokenIn(first);

  server.AddMessage("order-2", OrderMail());
  const ProgramResult second = Run();
  EXPECT_EQ(second.exitStatus, 0) << second.out << second.err << server.LogText();
  EXPECT_TRUE(server.MessagesOnServer().empty());

  const auto stats = auth.Stats();
  EXPECT_EQ(stats.at("slow_downs"), 1);
  EXPECT_EQ(stats.at("refreshes"), 2);
  EXPECT_EQ(stats.at("refused_refreshes"), 0);
  EXPECT_GE(stats.at("introspections"), 2);
}

// The browser's way: the address printed is the one a browser opens; the test
// follows it to the program's listener as a browser would, and is answered
// with the Japanese page. The PKCE verifier and the state must match for the
// code to be exchanged.
TEST_F(OAuthTest, LoopbackSignInPrintsTheAddressThenARunLogsIn) {
  WriteSettings(false);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  FILE* out = fdopen(pipeEnds[1], "w");
  FILE* errors = tmpfile();
  auto signIn = std::async(std::launch::async, [&] {
    const int status = SignInCommand(Dir(), out, errors);
    fclose(out);
    return status;
  });
  FILE* printed = fdopen(pipeEnds[0], "r");
  std::string shown;
  std::string address;
  char line[8192];
  while (address.empty() && fgets(line, sizeof line, printed) != nullptr) {
    shown += line;
    if (std::string(line).starts_with(auth.Url("/authorize?"))) {
      address = line;
      address.pop_back();
    }
  }
  ASSERT_FALSE(address.empty()) << shown;
  EXPECT_NE(address.find("code_challenge_method=S256"), std::string::npos);

  const GetAnswer authorize = HttpGet(address);
  ASSERT_EQ(authorize.status, 302);
  EXPECT_TRUE(authorize.location.starts_with("http://127.0.0.1:")) << authorize.location;
  const GetAnswer page = HttpGet(authorize.location);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("サインインしました。"), std::string::npos) << page.body;

  while (fgets(line, sizeof line, printed) != nullptr) shown += line;
  fclose(printed);
  EXPECT_EQ(signIn.get(), 0) << shown;
  fclose(errors);
  EXPECT_EQ(shown.find("rt-"), std::string::npos) << shown;
  EXPECT_EQ(auth.Stats().at("pkce_failures"), 0);

  server.AddMessage("order-1", OrderMail());
  const ProgramResult run = Run();
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err << server.LogText();
  EXPECT_TRUE(server.MessagesOnServer().empty());
}

// A grant the user withdrew: a run that has to refresh learns it from the
// token endpoint (invalid_grant), a run with an access token still in hand
// from the mail server refusing it. Either way the run fails with exit 1,
// says what to do, and takes and deletes nothing.
TEST(OAuthWithdrawnTest, AWithdrawnGrantEndsTheRunTakingNothing) {
  const struct {
    int expiresIn;
    const char* errorHolds;
  } cases[] = {
      {30, "vexalo-fetch --sign-in"},
      {3600, "-ERR [AUTH] Authentication failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expiresIn);
    struct Withdrawn : OAuthTest {
      explicit Withdrawn(int expiresIn) : OAuthTest({.expiresIn = expiresIn}) {}
      void TestBody() override {}
    } test(c.expiresIn);
    ASSERT_EQ(test.SignInOnDevice().exitStatus, 0);
    test.auth.Withdraw();
    test.server.AddMessage("order-1", OrderMail());
    const ProgramResult run = test.Run();
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_NE(run.err.find(c.errorHolds), std::string::npos) << run.err;
    EXPECT_EQ(test.server.MessagesOnServer(), std::vector<std::string>{"order-1"});
    EXPECT_FALSE(std::filesystem::exists(test.folder.Path("AllData.csv")));
  }
}

// Tokens of Exchange Online's size: too long for an initial response, so the
// login goes in two steps, which Dovecot takes as well.
class LongTokenTest : public OAuthTest {
 protected:
  LongTokenTest() : OAuthTest({.tokenBytes = 2000}) {}
};

TEST_F(LongTokenTest, AKilobyteTokenLogsInInTwoSteps) {
  ASSERT_EQ(SignInOnDevice().exitStatus, 0);
  server.AddMessage("order-1", OrderMail());
  const ProgramResult run = Run();
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err << server.LogText();
  EXPECT_TRUE(server.MessagesOnServer().empty());
}

// A sign-in that gets no grant stores nothing and says why.
class DeniedTest : public OAuthTest {
 protected:
  DeniedTest() : OAuthTest({.deny = true}) {}
};

TEST_F(DeniedTest, ADeclinedDeviceSignInExitsOneStoringNothing) {
  const ProgramResult signIn = SignInOnDevice();
  EXPECT_EQ(signIn.exitStatus, 1);
  EXPECT_EQ(signIn.err, "vexalo-fetch: sign-in failed: the sign-in was refused\n");
  EXPECT_FALSE(std::filesystem::exists(folder.Path(kGrantFileName)));
}

}  // namespace
}  // namespace vexalo
