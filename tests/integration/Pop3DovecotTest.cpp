#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
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

class Pop3DovecotTest : public ::testing::Test {
 protected:
  Pop3DovecotTest() {
    client_.SetHost(server_.Host());
    client_.SetPort(std::to_string(server_.Port()));
    client_.SetUserName(server_.User());
    client_.SetPassWord(server_.Password());
    client_.OnRequestDone = [this](TCustomPop3Client&, TPop3Request, uint16_t error) {
      ++doneCount_;
      lastError_ = error;
    };
    client_.OnMessageLine = [this](TCustomPop3Client& c) { lines_.push_back(c.LastResponse()); };
  }

  // Starts a request, runs the loop until it is done and returns its error.
  uint16_t Run(const std::function<void()>& start) {
    const int before = doneCount_;
    start();
    EXPECT_TRUE(loop_.RunUntil([&] { return doneCount_ > before; }, kTimeoutMs))
        << server_.LogText();
    return lastError_;
  }

  // The POP3S port with TLS from the first byte, or the plain one with STLS.
  void UseSecurity(TPop3Security security) {
    client_.SetSecurity(security);
    client_.SetHost("localhost");
    client_.SetPort(std::to_string(security == secTls ? server_.TlsPort() : server_.Port()));
  }

  void LogIn() {
    ASSERT_EQ(Run([&] { client_.Connect(); }), 0) << client_.ErrorMessage();
    ASSERT_EQ(Run([&] { client_.User(); }), 0) << client_.ErrorMessage();
    ASSERT_EQ(Run([&] { client_.Pass(); }), 0) << client_.ErrorMessage();
  }

  std::vector<std::string> Retrieve(int32_t number) {
    lines_.clear();
    client_.SetMsgNum(number);
    EXPECT_EQ(Run([&] { client_.Retr(); }), 0) << client_.ErrorMessage();
    return std::move(lines_);
  }

  void QuitSession() {
    EXPECT_EQ(Run([&] { client_.Quit(); }), 0) << client_.ErrorMessage();
    EXPECT_FALSE(client_.Connected());
  }

  DovecotServer server_;
  PollEventLoop loop_;
  TPop3Client client_{loop_};
  std::vector<std::string> lines_;
  int doneCount_ = 0;
  uint16_t lastError_ = 0;
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
  EXPECT_EQ(Run([&] { client_.Stat(); }), 0);
  EXPECT_EQ(client_.MsgCount(), 3);
  EXPECT_EQ(client_.MsgSize(), totalSize);
  for (int32_t number = 1; number <= 3; ++number) {
    SCOPED_TRACE(names[number - 1]);
    client_.SetMsgNum(number);
    EXPECT_EQ(Run([&] { client_.Uidl(); }), 0);
    EXPECT_EQ(client_.MsgNum(), number);
    EXPECT_EQ(client_.MsgUidl(), "uid" + std::to_string(number));
    EXPECT_EQ(Retrieve(number), LinesOf(raws[number - 1]));
  }
  QuitSession();
  EXPECT_EQ(server_.MessagesOnServer(), (std::vector<std::string>{"uid1", "uid2", "uid3"}));
}

TEST_F(Pop3DovecotTest, ApopLogin) {
  server_.AddMessage("only", "Subject: x\n\nbody\n");
  ASSERT_EQ(Run([&] { client_.Connect(); }), 0);
  ASSERT_EQ(Run([&] { client_.APop(); }), 0) << client_.ErrorMessage();
  EXPECT_EQ(client_.ProtocolState(), pop3Transaction);
  EXPECT_EQ(Run([&] { client_.Stat(); }), 0);
  EXPECT_EQ(client_.MsgCount(), 1);
  QuitSession();
}

TEST_F(Pop3DovecotTest, WrongPasswordIsANegativeReply) {
  client_.SetPassWord("wrong");
  ASSERT_EQ(Run([&] { client_.Connect(); }), 0);
  ASSERT_EQ(Run([&] { client_.User(); }), 0);
  EXPECT_EQ(Run([&] { client_.Pass(); }), 500);
  EXPECT_EQ(client_.ErrorMessage().rfind("-ERR", 0), 0u) << client_.ErrorMessage();
  EXPECT_EQ(client_.ProtocolState(), pop3WaitingPass);
  QuitSession();
}

TEST_F(Pop3DovecotTest, RetrievesA5MegabyteMessageWhole) {
  const std::string raw = BigMessage();
  server_.AddMessage("big", raw);
  LogIn();
  EXPECT_EQ(Run([&] { client_.Stat(); }), 0);
  EXPECT_EQ(client_.MsgSize(), OctetsOf(raw));
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
    ASSERT_EQ(Run([&] { client_.Connect(); }), 0) << client_.ErrorMessage();
    EXPECT_TRUE(client_.Encrypted());
    // After STLS the capabilities are asked again, over TLS: STLS is gone.
    EXPECT_EQ(client_.HasCapability("USER"), security == secStartTls);
    EXPECT_FALSE(client_.HasCapability("STLS"));
    const auto login = security == secTls ? &TCustomPop3Client::User : &TCustomPop3Client::APop;
    ASSERT_EQ(Run([&] { (client_.*login)(); }), 0) << client_.ErrorMessage();
    if (security == secTls) {
      ASSERT_EQ(Run([&] { client_.Pass(); }), 0);
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
    client_.SetHost(c.host);
    client_.SetTlsFingerprint(c.pin);
    const uint16_t error = Run([&] { client_.Connect(); });
    if (std::string(c.reason).empty()) {
      EXPECT_EQ(error, 0) << client_.ErrorMessage();
      EXPECT_FALSE(client_.UntrustedCertificate());
      QuitSession();
      continue;
    }
    EXPECT_EQ(error, 500);
    EXPECT_EQ(client_.ErrorMessage(), std::string("-ERR TLS certificate not trusted: ") + c.reason);
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
  client_.SetSecurity(secTls);
  client_.SetPort(std::to_string(other.TlsPort()));
  for (const auto& [host, reason] : {std::pair{"localhost", "hostname mismatch"},
                                     std::pair{"127.0.0.1", "IP address mismatch"}}) {
    client_.SetHost(host);
    EXPECT_EQ(Run([&] { client_.Connect(); }), 500);
    EXPECT_EQ(client_.ErrorMessage(), std::string("-ERR TLS certificate not trusted: ") + reason);
  }
}

TEST_F(Pop3DovecotTest, PlainAgainstTheTlsPortTimesOut) {
  client_.SetPort(std::to_string(server_.TlsPort()));
  client_.SetTimeout(1);
  EXPECT_EQ(Run([&] { client_.Connect(); }), 10060);
  EXPECT_EQ(client_.ErrorMessage(), "-ERR Connection timed out (Winsock error #10060)");
  EXPECT_FALSE(client_.Connected());
  // The next session is free to start.
  client_.SetPort(std::to_string(server_.Port()));
  LogIn();
  QuitSession();
}

TEST_F(Pop3DovecotTest, DeleteTakesEffectAtQuitAndRsetUndoesIt) {
  server_.AddMessage("a", "Subject: a\n\none\n");
  server_.AddMessage("b", "Subject: b\n\ntwo\n");
  server_.AddMessage("c", "Subject: c\n\nthree\n");

  LogIn();
  client_.SetMsgNum(1);
  EXPECT_EQ(Run([&] { client_.Dele(); }), 0);
  EXPECT_EQ(Run([&] { client_.RSet(); }), 0);
  client_.SetMsgNum(2);
  EXPECT_EQ(Run([&] { client_.Dele(); }), 0);
  EXPECT_EQ(Run([&] { client_.Retr(); }), 500);  // deleted in this session
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

  client_.SetMsgNum(1);
  client_.SetMsgLines(2);
  lines_.clear();
  EXPECT_EQ(Run([&] { client_.Top(); }), 0);
  EXPECT_EQ(lines_, (std::vector<std::string>{"Subject: a", "", "body 1", "body 2"}));

  client_.SetMsgNum(2);
  EXPECT_EQ(Run([&] { client_.List(); }), 0);
  EXPECT_EQ(client_.MsgNum(), 2);
  EXPECT_EQ(client_.MsgSize(), OctetsOf(second));

  std::vector<std::string> listing;
  client_.OnListLine = [&](TCustomPop3Client& c) {
    listing.push_back(std::to_string(c.MsgNum()) + " " + std::to_string(c.MsgSize()));
  };
  client_.SetMsgNum(0);
  EXPECT_EQ(Run([&] { client_.List(); }), 0);
  EXPECT_EQ(listing, (std::vector<std::string>{"1 " + std::to_string(OctetsOf(first)),
                                               "2 " + std::to_string(OctetsOf(second))}));
  QuitSession();
}

}  // namespace
}  // namespace vexalo
