#include <gtest/gtest.h>

#include "jconv/Cp932Codec.h"
#include "run/FailureCause.h"

namespace vexalo {
namespace {

// The line follows the kind alone: the same text under another kind gets
// that kind's line, and a kind without one likely cause gets none.
TEST(FailureCauseTest, EachKindWithACauseGetsItsLineAndOthersNone) {
  struct Case {
    FailureKind kind;
    const char* cause;  // what follows "考えられる原因：" at first; empty: no line
  };
  const Case cases[] = {
      {FailureKind::kLoginRefused, "ユーザーIDかパスワード"},
      {FailureKind::kSignInNeeded, "OAuth 2.0 のサインインが必要です"},
      {FailureKind::kHostName, "サーバーが見つかりません"},
      {FailureKind::kRefused, "接続を断られました"},
      {FailureKind::kTimedOut, "サーバーから応答がありません"},
      {FailureKind::kUnreachable, "サーバーに届きません"},
      {FailureKind::kReset, "サーバーが接続を切りました"},
      {FailureKind::kBadPort, "ポート番号が正しくありません"},
      {FailureKind::kTlsTrust, "サーバーの証明書を信頼できません"},
      {FailureKind::kServerExpectsTls, "サーバーは暗号化した接続を待っています"},
      {FailureKind::kServerSpeaksPlain, "サーバーは暗号化なしで応答しました"},
      // A refusal after the login, a TLS failure of no known cause, a file
      // error of the run: the error text says it all.
      {FailureKind::kServerReply, ""},
      {FailureKind::kTls, ""},
      {FailureKind::kClosed, ""},
      {FailureKind::kProtocol, ""},
      {FailureKind::kDiskFull, ""},
      {FailureKind::kOther, ""},
  };
  for (const Case& c : cases) {
    // A text that would have told another story when texts were searched.
    const RunFailure failure{2, 500, c.kind, "-ERR certificate timed out: Invalid Port"};
    const std::string line = Cp932ToUtf8(FailureCauseLine(failure));
    const std::string cause = c.cause;
    if (cause.empty()) {
      EXPECT_EQ(line, "") << static_cast<int>(c.kind);
    } else {
      EXPECT_EQ(line.rfind("考えられる原因：" + cause, 0), 0u)
          << static_cast<int>(c.kind) << " -> " << line;
    }
  }
}

}  // namespace
}  // namespace vexalo
