#include "platform/UserTexts.h"

#include <array>
#include <cstddef>

#include "jconv/Cp932Codec.h"

namespace vexalo {
namespace {

struct Entry {
  UserText id;
  std::string_view utf8;
};

// In the order of the enum; the static_assert below and the check in
// Cp932Text keep the two in step.
constexpr Entry kTexts[] = {
    {UserText::kBusy,
     "接続中です。処理が終了するまで待ってください。もしいつまでたっても終了しない場合は、"
     "ソフトを再起動してみてください。"},
    {UserText::kNoHost, "メールサーバ(POP3)への接続設定を完了したのち、処理を行ってください。"},
    {UserText::kReceiving, "メール受信中"},
    {UserText::kCancelled, "受信を中止しました。"},
    {UserText::kProcessed, "通処理しました。"},
    {UserText::kSummaryMessages, "受信完了しました。総メール数："},
    {UserText::kSummaryTaken, "　受信対象新規メール数："},
    {UserText::kSummaryRows, "　合計累積データ数："},
    {UserText::kSummaryUntrustedIds, "　IDが不正で未処理のメール："},
    {UserText::kSummaryReusedIds, "　取り込み済みと同じIDの別のメール："},
    {UserText::kSummaryUnreadable, "　本文を読めず未処理の注文："},
    {UserText::kSummaryUndelivered, "　サーバから受信できなかったメール："},
    {UserText::kSummaryValueless, "　値のない注文："},
    {UserText::kCountUnit, "件"},
    {UserText::kListOpen, "（"},
    {UserText::kListSeparator, "、"},
    {UserText::kListCut, "、…"},
    {UserText::kListClose, "）"},
    {UserText::kMessageNumberMark, "番："},
    {UserText::kRunErrorHead, "メール受信処理中にエラーが発生しました。(内容："},
    {UserText::kRunErrorQuit, "一旦ソフトを終了させ（必ず行ってください）、"},
    {UserText::kRunErrorCheck,
     "インターネットへの接続や、メールサーバの設定を確認した後、再試行して下さい。"},
    {UserText::kCausePrefix, "考えられる原因："},
    {UserText::kCauseServerExpectsTls,
     "サーバーは暗号化した接続を待っています。設定の「暗号化」を「SSL/TLS」にしてください"
     "（ポート番号は通常995）。"},
    {UserText::kCauseServerSpeaksPlain,
     "サーバーは暗号化なしで応答しました。設定の「暗号化」を「なし」か「STARTTLS」にするか、"
     "ポート番号を確かめてください（SSL/TLSは通常995）。"},
    {UserText::kCauseHostName,
     "サーバーが見つかりません。POP3サーバー名が正しいか確かめてください。"},
    {UserText::kCauseRefused, "接続を断られました。ポート番号が違うか、サーバーが止まっています。"},
    {UserText::kCauseTimedOut,
     "サーバーから応答がありません。ネットワークの接続とPOP3サーバー名を確かめてください。"},
    {UserText::kCauseUnreachable,
     "サーバーに届きません。ネットワークにつながっているか確かめてください。"},
    {UserText::kCauseReset, "サーバーが接続を切りました。しばらく待ってから再試行してください。"},
    {UserText::kCauseTlsTrust,
     "サーバーの証明書を信頼できません。サーバー名と暗号化の設定を確かめてください。"},
    {UserText::kCauseBadPort,
     "ポート番号が正しくありません。数字で入れてください（通常は110です）。"},
    {UserText::kCauseLoginRefused,
     "ユーザーIDかパスワードが違います。設定の「接続設定」で確かめてください。"},
    {UserText::kCauseSignInNeeded,
     "OAuth 2.0 のサインインが必要です。設定の「接続設定」で「サインイン」を押してください。"},
    {UserText::kBadSecurity,
     "Vexalo.ini の SECURITY の値「{}」は 0（暗号化なし）、1（SSL/TLS）、2（STARTTLS）の"
     "どれでもありません"},
    {UserText::kDeleteWithoutTrigger,
     "反応させたいヘッダが空のまま「読みこんだメールはサーバから削除する」が選ばれて"
     "います。このままではすべてのメールを取り込んで削除してしまうため、受信しません"},
    {UserText::kCertificateUntrusted, "サーバーの証明書を信頼できません。(内容："},
    {UserText::kCertificateServer, "サーバー："},
    {UserText::kCertificateSubject, "発行先："},
    {UserText::kCertificateIssuer, "発行者："},
    {UserText::kCertificateValidity, "有効期間："},
    {UserText::kCertificateRangeMark, " ～ "},
    {UserText::kCertificateFingerprint, "SHA-256 指紋："},
    {UserText::kFileNotFound, "ファイルが見つかりません"},
    {UserText::kBadFileName, "不正なファイル名です"},
    {UserText::kTooManyOpenFiles, "オープンしたファイルが多すぎます"},
    {UserText::kFileAccessDenied, "ファイルへのアクセスが拒否されました"},
    {UserText::kDiskFull, "ディスクがいっぱいです"},
    {UserText::kNotARegularFile, "通常のファイルではありません"},
    {UserText::kInOutError, "I/O エラー ({})"},
    {UserText::kSettingsFileTooLarge, "{} は大きすぎて設定ファイルとして読めません"},
    {UserText::kCannotWrite, "{} に書き込めません"},
    {UserText::kBadSettingValue, "Vexalo.ini の {} の値「{}」は{}"},
    {UserText::kAuthChoices, " 0（パスワード）、1（OAuth 2.0）のどちらでもありません"},
    {UserText::kProviderChoices, " MICROSOFT、GOOGLE、CUSTOM のどれでもありません"},
    {UserText::kNoTenantName, "テナントの名前になりません"},
    {UserText::kUrlNeedsHttps,
     "使えません。https:// のアドレスが必要です（http:// は 127.0.0.1 と localhost だけ）"},
    {UserText::kClientIdEmpty, "空です。登録したアプリのクライアント ID が必要です"},
    {UserText::kCustomKeyEmpty, "空です。OAUTH_PROVIDER=CUSTOM ではこのキーが必要です"},
    {UserText::kNotSignedIn,
     "OAuth 2.0 でサインインしていません。設定画面の「サインイン」か vexalo-fetch --sign-in "
     "でサインインしてください"},
    {UserText::kSignInWithdrawn,
     "OAuth 2.0 のサインインが取り消されたか期限切れです。設定画面の「サインイン」か vexalo-fetch "
     "--sign-in でサインインし直してください (invalid_grant: {})"},
    {UserText::kTokenRefreshFailed, "アクセストークンを更新できません ({}: {})"},
    {UserText::kKeyringStoreFailed, "キーリングに保存できません: {}"},
    {UserText::kKeyringEraseFailed, "キーリングから消せません: {}"},
    {UserText::kCannotErase, "{} を消せません"},
    {UserText::kExcelWriteFailed, "Excel ファイルを書けません: {}"},
    {UserText::kNotAnInteger, "'{}' は整数ではありません"},
    {UserText::kNoTimer, "タイマーを取得できません"},
};

constexpr size_t kCount = std::size(kTexts);
static_assert(static_cast<size_t>(UserText::kNoTimer) + 1 == kCount);

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kCount; ++i) {
    if (static_cast<size_t>(kTexts[i].id) != i) return false;
  }
  return true;
}
static_assert(InEnumOrder(), "kTexts must list the texts in the order of UserText");

}  // namespace

const std::string& Cp932Text(UserText text) {
  static const std::array<std::string, kCount> converted = [] {
    std::array<std::string, kCount> all;
    for (size_t i = 0; i < kCount; ++i) all[i] = Utf8ToCp932(kTexts[i].utf8);
    return all;
  }();
  return converted[static_cast<size_t>(text)];
}

std::string Cp932Text(UserText text, std::initializer_list<std::string_view> values) {
  // Cut at the marks in UTF-8: in CP932 "{" and "}" can be the second byte
  // of a character.
  const std::string_view pattern = kTexts[static_cast<size_t>(text)].utf8;
  std::string result;
  size_t from = 0;
  for (std::string_view value : values) {
    const size_t mark = pattern.find("{}", from);
    if (mark == std::string_view::npos) break;
    result += Utf8ToCp932(pattern.substr(from, mark - from));
    result += value;
    from = mark + 2;
  }
  return result + Utf8ToCp932(pattern.substr(from));
}

}  // namespace vexalo
