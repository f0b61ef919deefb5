#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DovecotServer.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"

namespace vexalo {
namespace {

constexpr int kTimeoutMs = 60000;

std::string ReadFixture(const std::string& name) {
  std::ifstream file(std::string(VEXALO_FIXTURE_DIR) + "/mail/" + name, std::ios::binary);
  EXPECT_TRUE(file) << name;
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The lines of a stored message as the server hands them out: split at LF,
// a CR before the LF dropped.
std::vector<std::string> LinesOf(const std::string& raw) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\n', start);
    if (end == std::string::npos) end = raw.size();
    std::string line = raw.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The size POP3 reports: every line with CR LF.
int32_t OctetsOf(const std::string& raw) {
  int32_t size = 0;
  for (const std::string& line : LinesOf(raw)) size += static_cast<int32_t>(line.size()) + 2;
  return size;
}

// About 5 MB of body: long runs of Shift-JIS text, lines that begin with
// dots (stuffed by the server, unstuffed by us) and empty lines.
std::string BigMessage() {
  std::string raw =
      "From: sender@example.com\nTo: vexalo@example.com\nSubject: big\n"
      "Content-Type: text/plain; charset=Shift_JIS\n\n";
  const std::string japanese = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8f\xcd";  // 日本語の文章
  for (int i = 0; raw.size() < size_t{5} * 1024 * 1024; ++i) {
    switch (i % 4) {
      case 0:
        raw += "." + std::to_string(i) + " line that begins with a dot\n";
        break;
      case 1:
        raw += "\n";
        break;
      default:
        for (int j = 0; j < 6; ++j) raw += japanese;
        raw += std::to_string(i) + "\n";
        break;
    }
  }
  return raw;
}

// Makes OpenSSL's default trust store the test authority of `server` while it
// lives (OpenSSL reads SSL_CERT_FILE whenever a session is set up).
class TrustedAuthority {
 public:
  explicit TrustedAuthority(const DovecotServer& server) {
    setenv("SSL_CERT_FILE", server.CaFile().c_str(), 1);
  }
  ~TrustedAuthority() { unsetenv("SSL_CERT_FILE"); }
  TrustedAuthority(const TrustedAuthority&) = delete;
  TrustedAuthority& operator=(const TrustedAuthority&) = delete;
};

using Start = std::function<void(TPop3Client::Completion)>;

class Pop3DovecotTest : public ::testing::Test {
 protected:
  Pop3DovecotTest() {
    endpoint_.host = server_.Host();
    endpoint_.port = std::to_string(server_.Port());
  }

  // Starts a request, runs the loop until its completion and returns the
  // reply.
  Pop3Reply Run(const Start& start) {
    std::optional<Pop3Reply> reply;
    start([&](Pop3Reply& done) { reply = done; });
    EXPECT_TRUE(loop_.RunUntil([&] { return reply.has_value(); }, kTimeoutMs)) << server_.LogText();
    return reply.value_or(Pop3Reply{});
  }
  Pop3Reply Connect() {
    return Run([&](auto done) { client_.Connect(endpoint_, std::move(done)); });
  }

  // The POP3S port with TLS from the first byte, or the plain one with STLS.
  void UseSecurity(TPop3Security security) {
    endpoint_.security = security;
    endpoint_.host = "localhost";
    endpoint_.port = std::to_string(security == secTls ? server_.TlsPort() : server_.Port());
  }

  void LogIn() {
    const Pop3Reply reply = Connect();
    ASSERT_TRUE(reply.Ok()) << reply.text;
    UserAndPass();
  }

  void UserAndPass() {
    Pop3Reply reply = Run([&](auto done) { client_.User(server_.User(), std::move(done)); });
    ASSERT_TRUE(reply.Ok()) << reply.text;
    reply = Run([&](auto done) { client_.Pass(server_.Password(), std::move(done)); });
    ASSERT_TRUE(reply.Ok()) << reply.text;
  }

  std::vector<std::string> Retrieve(int32_t number) {
    std::vector<std::string> lines;
    const Pop3Reply reply = Run([&](auto done) {
      client_.Retr(
          number, [&](std::string_view line) { lines.emplace_back(line); }, std::move(done));
    });
    EXPECT_TRUE(reply.Ok()) << reply.text;
    return lines;
  }

  void QuitSession() {
    const Pop3Reply reply = Run([&](auto done) { client_.Quit(std::move(done)); });
    EXPECT_TRUE(reply.Ok()) << reply.text;
    EXPECT_FALSE(client_.Connected());
  }

  DovecotServer server_;
  PollEventLoop loop_;
  TPop3Client client_{loop_};
  Pop3Endpoint endpoint_;
};

TEST_F(Pop3DovecotTest, WalksAMailboxOfJapaneseMailsLikeARun) {
  const std::vector<std::string> names = {"001-jpmobile-pc-mail-single.eml",
                                          "011-jpmobile-docomo-emoji-sjis.eml",
                                          "019-sisimai-ezweb-eucjp-labelled-jis.eml"};
  std::vector<std::string> raws;
  int32_t totalSize = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    raws.push_back(ReadFixture(names[i]));
    server_.AddMessage("uid" + std::to_string(i + 1), raws.back());
    totalSize += OctetsOf(raws.back());
  }

  LogIn();
  EXPECT_EQ(Run([&](auto done) { client_.Stat(std::move(done)); }).text,
            "+OK 3 " + std::to_string(totalSize));
  for (int32_t number = 1; number <= 3; ++number) {
    SCOPED_TRACE(names[number - 1]);
    const Pop3Reply uidl = Run([&](auto done) { client_.Uidl(number, std::move(done)); });
    EXPECT_EQ(uidl.number, number);
    EXPECT_EQ(uidl.text, "+OK " + std::to_string(number) + " uid" + std::to_string(number));
    EXPECT_EQ(Retrieve(number), LinesOf(raws[number - 1]));
  }
  QuitSession();
  EXPECT_EQ(server_.MessagesOnServer(), (std::vector<std::string>{"uid1", "uid2", "uid3"}));
}

TEST_F(Pop3DovecotTest, ApopLogin) {
  server_.AddMessage("only", "Subject: x\n\nbody\n");
  ASSERT_TRUE(Connect().Ok());
  const Pop3Reply apop =
      Run([&](auto done) { client_.APop(server_.User(), server_.Password(), std::move(done)); });
  ASSERT_TRUE(apop.Ok()) << apop.text;
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  EXPECT_EQ(Run([&](auto done) { client_.Stat(std::move(done)); }).text.rfind("+OK 1 ", 0), 0u);
  QuitSession();
}

TEST_F(Pop3DovecotTest, WrongPasswordIsANegativeReply) {
  ASSERT_TRUE(Connect().Ok());
  ASSERT_TRUE(Run([&](auto done) { client_.User(server_.User(), std::move(done)); }).Ok());
  const Pop3Reply pass = Run([&](auto done) { client_.Pass("wrong", std::move(done)); });
  EXPECT_EQ(pass.error, 500);
  EXPECT_EQ(pass.text.rfind("-ERR", 0), 0u) << pass.text;
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);
  QuitSession();
}

TEST_F(Pop3DovecotTest, RetrievesA5MegabyteMessageWhole) {
  const std::string raw = BigMessage();
  server_.AddMessage("big", raw);
  LogIn();
  EXPECT_EQ(Run([&](auto done) { client_.Stat(std::move(done)); }).text,
            "+OK 1 " + std::to_string(OctetsOf(raw)));
  const std::vector<std::string> lines = Retrieve(1);
  EXPECT_EQ(lines.size(), LinesOf(raw).size());
  EXPECT_TRUE(lines == LinesOf(raw)) << "the message's lines differ";
  QuitSession();
}

TEST_F(Pop3DovecotTest, TlsAndStartTlsCarryTheSameSessionAsPlain) {
  const std::string raw = BigMessage();
  server_.AddMessage("big", raw);
  const TrustedAuthority authority(server_);
  for (const TPop3Security security : {secTls, secStartTls}) {
    SCOPED_TRACE(security);
    UseSecurity(security);
    const Pop3Reply connect = Connect();
    ASSERT_TRUE(connect.Ok()) << connect.text;
    EXPECT_TRUE(client_.Encrypted());
    // After STLS the capabilities are asked again, over TLS: STLS is gone.
    EXPECT_EQ(client_.HasCapability("USER"), security == secStartTls);
    EXPECT_FALSE(client_.HasCapability("STLS"));
    if (security == secTls) {
      UserAndPass();
    } else {
      const Pop3Reply apop = Run(
          [&](auto done) { client_.APop(server_.User(), server_.Password(), std::move(done)); });
      ASSERT_TRUE(apop.Ok()) << apop.text;
    }
    EXPECT_TRUE(Retrieve(1) == LinesOf(raw)) << "the message's lines differ";
    QuitSession();
  }
}

// Whom a certificate is trusted by: the trust store and the host name, or a
// pinned fingerprint alone.
TEST_F(Pop3DovecotTest, CertificateTrust) {
  std::string lowerPin;
  for (const char c : server_.ServerFingerprint()) {
    if (c != ':') lowerPin += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string wrongPin = server_.ServerFingerprint();
  wrongPin[0] = wrongPin[0] == 'A' ? 'B' : 'A';
  const struct {
    const char* name;
    bool authorityTrusted;
    std::string host;
    std::string pin;
    const char* reason;  // empty: trusted
  } cases[] = {
      {"authority unknown", false, "localhost", "", "unable to get local issuer certificate"},
      {"authority trusted", true, "localhost", "", ""},
      {"address checked as an address", true, "127.0.0.1", "", ""},
      {"pinned, authority unknown", false, "localhost", lowerPin, ""},
      {"pinned, other name", false, "127.0.0.1", server_.ServerFingerprint(), ""},
      {"wrong pin, authority trusted", true, "localhost", wrongPin,
       "its fingerprint is not the one set"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TrustedAuthority> authority;
    if (c.authorityTrusted) authority = std::make_unique<TrustedAuthority>(server_);
    UseSecurity(secTls);
    endpoint_.host = c.host;
    endpoint_.tlsFingerprint = c.pin;
    const Pop3Reply connect = Connect();
    if (std::string(c.reason).empty()) {
      EXPECT_TRUE(connect.Ok()) << connect.text;
      EXPECT_FALSE(client_.UntrustedCertificate());
      QuitSession();
      continue;
    }
    EXPECT_EQ(connect.error, 500);
    EXPECT_EQ(connect.kind, FailureKind::kTlsTrust);
    EXPECT_EQ(connect.text, std::string("-ERR TLS certificate not trusted: ") + c.reason);
    EXPECT_FALSE(client_.Connected());
    ASSERT_TRUE(client_.UntrustedCertificate());
    EXPECT_EQ(client_.UntrustedCertificate()->fingerprint, server_.ServerFingerprint());
    EXPECT_EQ(client_.UntrustedCertificate()->subject, "CN=localhost,O=Vexalo Test");
    EXPECT_EQ(client_.UntrustedCertificate()->issuer, "CN=Vexalo Test CA");
  }
}

TEST_F(Pop3DovecotTest, CertificateForAnotherNameIsRefused) {
  const DovecotServer other({}, "DNS:mail.example.jp");
  const TrustedAuthority authority(other);
  endpoint_.security = secTls;
  endpoint_.port = std::to_string(other.TlsPort());
  for (const auto& [host, reason] : {std::pair{"localhost", "hostname mismatch"},
                                     std::pair{"127.0.0.1", "IP address mismatch"}}) {
    endpoint_.host = host;
    const Pop3Reply connect = Connect();
    EXPECT_EQ(connect.error, 500);
    EXPECT_EQ(connect.text, std::string("-ERR TLS certificate not trusted: ") + reason);
  }
}

TEST_F(Pop3DovecotTest, PlainAgainstTheTlsPortTimesOut) {
  endpoint_.port = std::to_string(server_.TlsPort());
  endpoint_.timeoutSeconds = 1;
  const Pop3Reply connect = Connect();
  EXPECT_EQ(connect.error, 10060);
  EXPECT_EQ(connect.text, "-ERR Connection timed out (Winsock error #10060)");
  EXPECT_FALSE(client_.Connected());
  // The next session is free to start.
  endpoint_.port = std::to_string(server_.Port());
  LogIn();
  QuitSession();
}

// The server commits a session's deletions at its QUIT only: a session that
// ends any other way deletes nothing.
TEST_F(Pop3DovecotTest, DeletionsTakeEffectOnlyAtQuit) {
  server_.AddMessage("a", "Subject: a\n\none\n");
  server_.AddMessage("b", "Subject: b\n\ntwo\n");
  server_.AddMessage("c", "Subject: c\n\nthree\n");

  LogIn();
  EXPECT_TRUE(Run([&](auto done) { client_.Dele(2, std::move(done)); }).Ok());
  const Pop3Reply deleted = Run([&](auto done) { client_.Retr(2, {}, std::move(done)); });
  EXPECT_EQ(deleted.error, 500);  // deleted in this session
  client_.Abort();
  ASSERT_TRUE(loop_.RunUntil([&] { return server_.MessagesOnServer().size() == 3; }, kTimeoutMs));

  LogIn();
  EXPECT_TRUE(Run([&](auto done) { client_.Dele(2, std::move(done)); }).Ok());
  EXPECT_EQ(server_.MessagesOnServer(), (std::vector<std::string>{"a", "b", "c"}));
  QuitSession();
  EXPECT_EQ(server_.MessagesOnServer(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(Pop3DovecotTest, TopAndList) {
  const std::string first = "Subject: a\n\nbody 1\nbody 2\nbody 3\n";
  const std::string second = "Subject: b\nX-Other: y\n\n..dot\n";
  server_.AddMessage("a", first);
  server_.AddMessage("b", second);
  LogIn();

  std::vector<std::string> lines;
  EXPECT_TRUE(Run([&](auto done) {
                client_.Top(
                    1, 2, [&](std::string_view line) { lines.emplace_back(line); },
                    std::move(done));
              }).Ok());
  EXPECT_EQ(lines, (std::vector<std::string>{"Subject: a", "", "body 1", "body 2"}));

  const Pop3Reply entry = Run([&](auto done) { client_.List(2, std::move(done)); });
  EXPECT_EQ(entry.number, 2);
  EXPECT_EQ(entry.text, "+OK 2 " + std::to_string(OctetsOf(second)));

  EXPECT_EQ(Run([&](auto done) { client_.List(std::move(done)); }).lines,
            (std::vector<std::string>{"1 " + std::to_string(OctetsOf(first)),
                                      "2 " + std::to_string(OctetsOf(second))}));
  QuitSession();
}

}  // namespace
}  // namespace vexalo
