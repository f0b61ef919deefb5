#include "app/ErrorCause.h"

#include <algorithm>
#include <initializer_list>

#include "app/GuiText.h"
#include "pop3/SocketErrors.h"

namespace vexalo {

namespace {

// The steps of a run whose negative reply means the login was refused.
constexpr int32_t kUserStep = 1;
constexpr int32_t kPassStep = 2;
constexpr int32_t kXOAuth2Step = 15;  // AUTH XOAUTH2
constexpr uint16_t kNegativeReply = 500;

constexpr char16_t kTimedOutLine[] =
    u"サーバーから応答がありません。ネットワークの接続とPOP3サーバー名を確かめてください。";
constexpr char16_t kBadPortLine[] =
    u"ポート番号が正しくありません。数字で入れてください（通常は110です）。";

constexpr char16_t kSignInLine[] =
    u"OAuth 2.0 のサインインが必要です。設定の「接続設定」で「サインイン」を押してください。";

struct CodeCause {
  std::initializer_list<int> codes;
  const char16_t* line;
};

const CodeCause kCodeCauses[] = {
    {{kWsaHostNotFound, kWsaTryAgain, kWsaNoRecovery, kWsaNoData},
     u"サーバーが見つかりません。POP3サーバー名が正しいか確かめてください。"},
    {{kWsaEConnRefused}, u"接続を断られました。ポート番号が違うか、サーバーが止まっています。"},
    {{kWsaETimedOut}, kTimedOutLine},
    {{kWsaENetDown, kWsaENetUnreach, kWsaEHostDown, kWsaEHostUnreach},
     u"サーバーに届きません。ネットワークにつながっているか確かめてください。"},
    {{kWsaEConnReset, kWsaEConnAborted},
     u"サーバーが接続を切りました。しばらく待ってから再試行してください。"},
};

// Texts of the system that tell the cause whatever the completion code.
struct TextCause {
  const char* fragment;  // found case-blind in the system's text
  const char16_t* line;
};

const TextCause kTextCauses[] = {
    {"certificate",
     u"サーバーの証明書を信頼できません。サーバー名と暗号化の設定を確かめてください。"},
    {"Invalid Port", kBadPortLine},
    {"Cannot convert port", kBadPortLine},
    {"timed out", kTimedOutLine},
    // The grant is missing, withdrawn or expired (OAuthSignInNeeded).
    {"--sign-in", kSignInLine},
};

}  // namespace

QString ErrorCauseLine(const RunFailure& failure) {
  const QString text = FromCp932(failure.detail);
  for (const TextCause& cause : kTextCauses) {
    if (text.contains(QLatin1String(cause.fragment), Qt::CaseInsensitive)) {
      return QString::fromUtf16(cause.line);
    }
  }
  if (failure.code == kNegativeReply && (failure.step == kUserStep || failure.step == kPassStep)) {
    return QStringLiteral(
        "ユーザーIDかパスワードが違います。設定の「接続設定」で確かめてください。");
  }
  if (failure.code == kNegativeReply && failure.step == kXOAuth2Step) {
    return QString::fromUtf16(kSignInLine);
  }
  for (const CodeCause& cause : kCodeCauses) {
    if (std::find(cause.codes.begin(), cause.codes.end(), failure.code) != cause.codes.end()) {
      return QString::fromUtf16(cause.line);
    }
  }
  return {};
}

}  // namespace vexalo
