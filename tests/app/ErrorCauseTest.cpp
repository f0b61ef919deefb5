#include <gtest/gtest.h>

#include "app/ErrorCause.h"

namespace vexalo {
namespace {

TEST(ErrorCauseTest, EachKnownFailureGetsItsLineAndOthersNone) {
  struct Case {
    RunFailure failure;
    const char* startsWith;  // empty: no line
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
      {{5, 0, "\x83\x74\x83\x40\x83\x43\x83\x8b"}, ""},  // a file error of the run
      // OAuth 2.0: the grant is gone (the refresh's text names the command), or
      // the server refused the token.
      {{14, 0, "OAuth 2.0 ... vexalo-fetch --sign-in ... (invalid_grant: )"},
       "OAuth 2.0 のサインインが必要です"},
      {{15, 500, "-ERR [AUTH] Authentication failed."}, "OAuth 2.0 のサインインが必要です"},
  };
  for (const Case& c : cases) {
    const QString line = ErrorCauseLine(c.failure);
    const QString expected = QString::fromUtf8(c.startsWith);
    EXPECT_EQ(line.isEmpty(), expected.isEmpty()) << c.failure.detail;
    if (!expected.isEmpty()) {
      EXPECT_TRUE(line.startsWith(expected)) << c.failure.detail << " -> " << line.toStdString();
    }
  }
}

}  // namespace
}  // namespace vexalo
