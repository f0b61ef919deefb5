#include <gtest/gtest.h>

#include "jconv/Cp932Codec.h"
#include "pop3/Pop3Client.h"
#include "run/FailureCause.h"

namespace vexalo {
namespace {

TEST(FailureCauseTest, EachKnownFailureGetsItsLineAndOthersNone) {
  struct Case {
    RunFailure failure;
    const char* cause;  // what follows "考えられる原因：" at first; empty: no line
  };
  const Case cases[] = {
      {{2, 500, "-ERR [AUTH] Authentication failed."}, "ユーザーIDかパスワード"},
      {{1, 500, "-ERR no such user"}, "ユーザーIDかパスワード"},
      {{3, 500, "-ERR STAT failed"}, ""},  // a refusal after the login is no login problem
      {{0, 11001, "-ERR Host not found (Winsock error #11001)"}, "サーバーが見つかりません"},
      {{0, 10061, "-ERR Connection refused (Winsock error #10061)"}, "接続を断られました"},
      {{0, 10060, "-ERR Connection timed out (Winsock error #10060)"},
       "サーバーから応答がありません"},
      {{4, 500, "-ERR Connection timed out"}, "サーバーから応答がありません"},
      {{0, 0, "SocketResolvePort: Cannot convert port 'abc', Error #0"},
       "ポート番号が正しくありません"},
      {{0, 0, "SocketResolvePort: Invalid Port."}, "ポート番号が正しくありません"},
      {{0, 500, "-ERR certificate verify failed"}, "サーバーの証明書を信頼できません"},
      {{5, 10054, "-ERR Connection reset by peer (Winsock error #10054)"},
       "サーバーが接続を切りました"},
      // The encryption setting, told by the code whatever the text says.
      {{0, kPop3ServerExpectsTls, "-ERR anything"}, "サーバーは暗号化した接続を待っています"},
      {{0, kPop3ServerSpeaksPlain, "-ERR anything"}, "サーバーは暗号化なしで応答しました"},
      {{0, 500, "-ERR TLS handshake failed: wrong version number"}, ""},
      {{5, 0, "\x83\x74\x83\x40\x83\x43\x83\x8b"}, ""},  // a file error of the run
  };
  for (const Case& c : cases) {
    const std::string line = Cp932ToUtf8(FailureCauseLine(c.failure));
    const std::string cause = c.cause;
    if (cause.empty()) {
      EXPECT_EQ(line, "") << c.failure.detail;
    } else {
      EXPECT_EQ(line.rfind("考えられる原因：" + cause, 0), 0u)
          << c.failure.detail << " -> " << line;
    }
  }
}

}  // namespace
}  // namespace vexalo
