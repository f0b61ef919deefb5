#include "run/FailureCause.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "jconv/Cp932Codec.h"
#include "pop3/Pop3Client.h"
#include "pop3/SocketErrors.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// The steps of a run whose negative reply means the login was refused.
constexpr int32_t kUserStep = 1;
constexpr int32_t kPassStep = 2;
constexpr uint16_t kNegativeReply = 500;

constexpr char kTimedOutLine[] =
    "サーバーから応答がありません。ネットワークの接続とPOP3サーバー名を確かめてください。";
constexpr char kBadPortLine[] =
    "ポート番号が正しくありません。数字で入れてください（通常は110です）。";

struct CodeCause {
  std::initializer_list<int> codes;
  const char* line;  // UTF-8
};

const CodeCause kCodeCauses[] = {
    {{kPop3ServerExpectsTls},
     "サーバーは暗号化した接続を待っています。設定の「暗号化」を「SSL/TLS」にしてください"
     "（ポート番号は通常995）。"},
    {{kPop3ServerSpeaksPlain},
     "サーバーは暗号化なしで応答しました。設定の「暗号化」を「なし」か「STARTTLS」にするか、"
     "ポート番号を確かめてください（SSL/TLSは通常995）。"},
    {{kWsaHostNotFound, kWsaTryAgain, kWsaNoRecovery, kWsaNoData},
     "サーバーが見つかりません。POP3サーバー名が正しいか確かめてください。"},
    {{kWsaEConnRefused}, "接続を断られました。ポート番号が違うか、サーバーが止まっています。"},
    {{kWsaETimedOut}, kTimedOutLine},
    {{kWsaENetDown, kWsaENetUnreach, kWsaEHostDown, kWsaEHostUnreach},
     "サーバーに届きません。ネットワークにつながっているか確かめてください。"},
    {{kWsaEConnReset, kWsaEConnAborted},
     "サーバーが接続を切りました。しばらく待ってから再試行してください。"},
};

// Texts of the system that tell the cause whatever the completion code.
struct TextCause {
  std::string_view fragment;  // found case-blind in the system's text
  const char* line;           // UTF-8
};

const TextCause kTextCauses[] = {
    {"certificate",
     "サーバーの証明書を信頼できません。サーバー名と暗号化の設定を確かめてください。"},
    {"Invalid Port", kBadPortLine},
    {"Cannot convert port", kBadPortLine},
    {"timed out", kTimedOutLine},
};

const char* CauseOf(const RunFailure& failure) {
  const std::string detail = UpperAscii(failure.detail);
  for (const TextCause& cause : kTextCauses) {
    if (detail.find(UpperAscii(cause.fragment)) != std::string::npos) return cause.line;
  }
  if (failure.code == kNegativeReply && (failure.step == kUserStep || failure.step == kPassStep)) {
    return "ユーザーIDかパスワードが違います。設定の「接続設定」で確かめてください。";
  }
  for (const CodeCause& cause : kCodeCauses) {
    if (std::find(cause.codes.begin(), cause.codes.end(), failure.code) != cause.codes.end()) {
      return cause.line;
    }
  }
  return nullptr;
}

}  // namespace

std::string FailureCauseLine(const RunFailure& failure) {
  const char* cause = CauseOf(failure);
  if (cause == nullptr) return {};
  return Utf8ToCp932(std::string("考えられる原因：") + cause);
}

}  // namespace vexalo
