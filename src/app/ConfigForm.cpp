#include "app/ConfigForm.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QUrl>
#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "app/ExampleMessage.h"
#include "app/Fonts.h"
#include "app/GuiText.h"
#include "app/MessageBoxes.h"
#include "app/SignInWorker.h"
#include "app/WindowPlacement.h"
#include "auth/OAuthGrant.h"
#include "auth/SecretStore.h"
#include "settings/SettingsKeys.h"
#include "text/CommFuncs.h"
#include "text/IntegerText.h"

namespace vexalo {

namespace {

constexpr int kEditHeight = 24;

constexpr int kSecurityTls = 1;
constexpr int kAuthOAuth = 1;
// The OAuth 2.0 rows below the connection's: the form grows by this.
constexpr int kSignInRowsHeight = 200;
// The OAUTH_PROVIDER values in the order of ProviderBox's items.
constexpr const char* kProviders[] = {"MICROSOFT", "GOOGLE", "CUSTOM"};
constexpr int kMicrosoft = 0;

QLabel* AddLabel(QWidget* page, const QString& text, int x, int y) {
  auto* label = new QLabel(text, page);
  label->move(x, y);
  label->adjustSize();
  return label;
}

// Length limits hold for the keyboard only. QLineEdit's maxLength alone would
// also cut a longer text the settings store loads, and the cut text would be
// saved back; so the limit is raised to fit a text the program sets, and
// falls back as the user shortens it, never below the typing limit.
constexpr char kTypingLimit[] = "vexaloTypingLimit";

void LimitTyping(QLineEdit* edit, int limit) {
  edit->setProperty(kTypingLimit, limit);
  edit->setMaxLength(limit);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, limit] {
    edit->setMaxLength(std::max<int>(limit, static_cast<int>(edit->text().size())));
  });
}

void SetWholeText(QLineEdit* edit, std::string_view cp932) {
  const QString text = FromCp932(cp932);
  const QVariant limit = edit->property(kTypingLimit);
  if (limit.isValid()) {
    edit->setMaxLength(std::max<int>(limit.toInt(), static_cast<int>(text.size())));
  }
  edit->setText(text);
}

// Full-width ASCII (what Japanese input gives for "：" or "１１０") and the
// ideographic space, in their half-width forms.
QString HalfWidthAscii(QString text) {
  for (QChar& c : text) {
    const char16_t code = c.unicode();
    if (code >= u'\uFF01' && code <= u'\uFF5E') c = QChar(static_cast<char16_t>(code - 0xFEE0));
    if (code == u'\u3000') c = QLatin1Char(' ');
  }
  return text;
}

// Typed full-width ASCII becomes half-width as it is typed, the cursor kept.
void TypeHalfWidth(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
    const QString half = HalfWidthAscii(text);
    if (half == text) return;
    const int cursor = edit->cursorPosition();
    edit->setText(half);
    edit->setCursorPosition(cursor);
  });
}

// The parser compares the separator byte by byte: it must be one byte in
// CP932 (or empty), and stand for itself, not for a character CP932 lacks.
bool IsUsableSeparator(const QString& text) {
  const std::string bytes = ToCp932(text);
  return bytes.size() <= 1 && FromCp932(bytes) == text;
}

constexpr int kHighestPort = 65535;

// Digits and nothing else: no sign, no blank, not empty.
bool IsDigitsOnly(const QString& text) {
  return !text.isEmpty() &&
         std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QLineEdit* AddEdit(QWidget* page, int x, int y, int width, const QString& hint) {
  auto* edit = new QLineEdit(page);
  edit->setGeometry(x, y, width, kEditHeight);
  edit->setToolTip(hint);
  return edit;
}

}  // namespace

TConfigForm::TConfigForm(QWidget* parent)
    // A window of its own rather than a dialog: it is all there is on the
    // screen (and in the task bar) while the main window is hidden.
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("設定"));
  setFixedSize(450, 438 + kSignInRowsHeight);
  setFont(ProportionalGothicFont(16, true));

  PageControl = new QTabWidget(this);
  PageControl->setGeometry(8, 8, 433, 385 + kSignInRowsHeight);
  Pop3Tab = new QWidget;
  MailTab = new QWidget;
  PageControl->addTab(Pop3Tab, QStringLiteral("接続設定"));
  PageControl->addTab(MailTab, QStringLiteral("処理メール設定"));
  BuildPop3Tab();
  BuildMailTab();

  OkBtn = new QPushButton(QStringLiteral("設定完了"), this);
  OkBtn->setGeometry(57, 400 + kSignInRowsHeight, 160, 33);
  connect(OkBtn, &QPushButton::clicked, this, &TConfigForm::OkBtnClick);
  CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
  CancelBtn->setGeometry(233, 400 + kSignInRowsHeight, 160, 33);
  CancelBtn->setToolTip(QStringLiteral("変更を取り消して設定画面を閉じます。"));
  connect(CancelBtn, &QPushButton::clicked, this, &TConfigForm::CancelBtnClick);
  connect(Ex2Btn, &QPushButton::clicked, this,
          [this] { CallShowingErrors(this, [this] { Ex2BtnClick(); }); });

  // Enter confirms from any control; Esc cancels.
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    connect(new QShortcut(key, this), &QShortcut::activated, this, &TConfigForm::OkBtnClick);
  }
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
          &TConfigForm::CancelBtnClick);

  SetTabOrder();
  PageControl->setCurrentWidget(Pop3Tab);
  NameControls();
}

void TConfigForm::NameControls() {
  const std::pair<const char*, QWidget*> controls[] = {{"PageControl", PageControl},
                                                       {"Pop3Tab", Pop3Tab},
                                                       {"MailTab", MailTab},
                                                       {"HostEdit", HostEdit},
                                                       {"PortEdit", PortEdit},
                                                       {"UserNameEdit", UserNameEdit},
                                                       {"PassWordEdit", PassWordEdit},
                                                       {"AuthBox", AuthBox},
                                                       {"ProviderBox", ProviderBox},
                                                       {"ClientIdEdit", ClientIdEdit},
                                                       {"TenantEdit", TenantEdit},
                                                       {"SignInBtn", SignInBtn},
                                                       {"HeaderTokenEdit", HeaderTokenEdit},
                                                       {"SplitTokenEdit", SplitTokenEdit},
                                                       {"IntervalEdit", IntervalEdit},
                                                       {"DelMailChk", DelMailChk},
                                                       {"ByNameChk", ByNameChk},
                                                       {"CsvGuardChk", CsvGuardChk},
                                                       {"Ex2Btn", Ex2Btn},
                                                       {"OkBtn", OkBtn},
                                                       {"CancelBtn", CancelBtn}};
  for (const auto& [name, control] : controls) control->setObjectName(QString::fromLatin1(name));
}

void TConfigForm::BuildPop3Tab() {
  const QString askAdmin =
      QStringLiteral("分からない場合はネットワーク管理者にお問い合わせ下さい。");
  const struct {
    QLineEdit*& edit;
    QString label;
    QString hint;
  } rows[] = {
      {HostEdit, QStringLiteral("POP3サーバー名："), askAdmin},
      {PortEdit, QStringLiteral("POP3ポート番号："), QStringLiteral("通常は110でＯＫです。")},
      {UserNameEdit, QStringLiteral("POP3ユーザーID："), askAdmin},
      {PassWordEdit, QStringLiteral("POP3パスワード："), askAdmin},
  };
  int y = 32;
  for (const auto& row : rows) {
    AddLabel(Pop3Tab, row.label, 24, y + 4);
    row.edit = AddEdit(Pop3Tab, 168, y, 233, row.hint);
    y += 48;
  }
  AddLabel(Pop3Tab, QStringLiteral("暗号化："), 24, y + 4);
  SecurityBox = new QComboBox(Pop3Tab);
  SecurityBox->setGeometry(168, y, 233, kEditHeight);
  SecurityBox->addItems(
      {QStringLiteral("なし"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")});
  SecurityBox->setToolTip(
      QStringLiteral("SSL/"
                     "TLSは通常ポート995、STARTTLSは通常ポート110です。分からない場合はネットワーク"
                     "管理者にお問い合わせ下さい。"));
  connect(SecurityBox, &QComboBox::currentIndexChanged, this, &TConfigForm::SecurityBoxChange);
  BuildSignInRows(y + 48);
  PortEdit->setText(QString::fromLatin1(kDefaultPort));
  // Server names and user names are ASCII: a full-width one would only fail
  // later as an unknown host or a wrong password.
  for (QLineEdit* edit : {HostEdit, PortEdit, UserNameEdit}) TypeHalfWidth(edit);
  PassWordEdit->setEchoMode(QLineEdit::Password);
  PassWordEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void TConfigForm::BuildSignInRows(int y) {
  AddLabel(Pop3Tab, QStringLiteral("認証方式："), 24, y + 4);
  AuthBox = new QComboBox(Pop3Tab);
  AuthBox->setGeometry(168, y, 233, kEditHeight);
  AuthBox->addItems({QStringLiteral("パスワード"), QStringLiteral("OAuth 2.0")});
  AuthBox->setToolTip(
      QStringLiteral("Microsoft 365 と Outlook.com は OAuth 2.0 です。Gmail はアプリ パスワードなら"
                     "パスワードのままで使えます。"));
  y += 40;
  AddLabel(Pop3Tab, QStringLiteral("プロバイダ："), 24, y + 4);
  ProviderBox = new QComboBox(Pop3Tab);
  ProviderBox->setGeometry(168, y, 233, kEditHeight);
  ProviderBox->addItems({QStringLiteral("Microsoft 365 / Outlook.com"), QStringLiteral("Google"),
                         QStringLiteral("その他（Vexalo.ini で指定）")});
  y += 40;
  AddLabel(Pop3Tab, QStringLiteral("クライアントID："), 24, y + 4);
  ClientIdEdit =
      AddEdit(Pop3Tab, 168, y, 233,
              QStringLiteral("管理者がアプリを登録したときのアプリケーション (クライアント) "
                             "ID です。"));
  y += 40;
  AddLabel(Pop3Tab, QStringLiteral("テナント："), 24, y + 4);
  TenantEdit = AddEdit(Pop3Tab, 168, y, 233,
                       QStringLiteral("職場のアカウントは organizations（またはテナント ID）、"
                                      "Outlook.com は consumers です。"));
  TenantEdit->setText(QStringLiteral("organizations"));
  y += 40;
  SignInBtn = new QPushButton(QStringLiteral("サインイン"), Pop3Tab);
  SignInBtn->setGeometry(24, y, 120, 28);
  SignInLabel = new QLabel(Pop3Tab);
  SignInLabel->setGeometry(152, y - 4, 257, 84);
  SignInLabel->setWordWrap(true);
  SignInLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connect(SignInBtn, &QPushButton::clicked, this,
          [this] { CallShowingErrors(this, [this] { SignInBtnClick(); }); });
  connect(AuthBox, &QComboBox::currentIndexChanged, this, &TConfigForm::EnableLoginControls);
  connect(ProviderBox, &QComboBox::currentIndexChanged, this, &TConfigForm::EnableLoginControls);
  EnableLoginControls();
}

void TConfigForm::EnableLoginControls() {
  const bool oauth = AuthBox->currentIndex() == kAuthOAuth;
  PassWordEdit->setEnabled(!oauth);
  for (QWidget* control : std::initializer_list<QWidget*>{ProviderBox, ClientIdEdit, SignInBtn}) {
    control->setEnabled(oauth);
  }
  TenantEdit->setEnabled(oauth && ProviderBox->currentIndex() == kMicrosoft);
  if (signIn_) SignInBtn->setEnabled(false);
}

void TConfigForm::SetDataFolder(std::string folder) { dataFolder_ = std::move(folder); }

void TConfigForm::ShowWhoIsSignedIn() {
  if (dataFolder_.empty() || signIn_) return;
  const std::optional<std::string> stored = OpenSecretStore(dataFolder_)->Load();
  const std::optional<OAuthGrant> grant = stored ? ParseGrant(*stored) : std::nullopt;
  if (!grant) {
    SignInLabel->setText(QStringLiteral("サインインしていません。"));
    return;
  }
  SignInLabel->setText(
      QStringLiteral("サインイン済み：%1（%2）")
          .arg(FromCp932(grant->account),
               QDateTime::fromSecsSinceEpoch(grant->signedInAt).toString(u"yyyy/MM/dd H:mm")));
}

void TConfigForm::SignInBtnClick() {
  if (signIn_) return;
  const OAuthEndpoints endpoints = OAuthEndpointsFrom(*this);
  const std::optional<int32_t> timeout = TextToInteger(TrimText(TimeoutText()));
  auto* worker = new SignInWorker(endpoints, std::string(TrimText(UserNameText())), dataFolder_,
                                  timeout && *timeout > 0 ? *timeout : 60, this);
  signIn_ = worker;
  SignInBtn->setEnabled(false);
  SignInLabel->setText(QStringLiteral("サインイン中…"));
  connect(
      worker, &SignInWorker::DeviceCodeShown, this,
      [this](const QString& uri, const QString& code, const QString&) {
        SignInLabel->setText(
            QStringLiteral("開いたページ（%1）でコード %2 を入力してください。").arg(uri, code));
        QDesktopServices::openUrl(QUrl(uri));
      });
  connect(worker, &SignInWorker::BrowserAddressShown, this, [this](const QString& address) {
    SignInLabel->setText(QStringLiteral("ブラウザでサインインしてください。"));
    QDesktopServices::openUrl(QUrl(address));
  });
  connect(worker, &SignInWorker::Finished, this, [this, worker](bool, const QString& text) {
    worker->deleteLater();
    signIn_ = nullptr;
    SignInLabel->setText(text);
    EnableLoginControls();
  });
}

void TConfigForm::BuildMailTab() {
  AddLabel(MailTab, QStringLiteral("読みこむメール："), 24, 32);

  AddLabel(MailTab, QStringLiteral("ヘッダ部分に"), 40, 64);
  HeaderTokenEdit =
      AddEdit(MailTab, 136, 56, 257, QStringLiteral("反応させたいヘッダをいれてください。"));
  LimitTyping(HeaderTokenEdit, 255);
  AddLabel(MailTab, QStringLiteral("という行があるメール。"), 224, 80);

  AddLabel(MailTab, QStringLiteral("読込データ区切り文字："), 24, 112);

  AddLabel(MailTab, QStringLiteral("項目名"), 120, 152);
  SplitTokenEdit = AddEdit(MailTab, 176, 144, 33,
                           QStringLiteral("項目名とデータを区切る文字を１文字入れてください。"));
  LimitTyping(SplitTokenEdit, 1);
  TypeHalfWidth(SplitTokenEdit);
  connect(SplitTokenEdit, &QLineEdit::textEdited, this,
          [this] { CallShowingErrors(this, [this] { RefuseUnusableSeparator(); }); });
  AddLabel(MailTab, QStringLiteral("データ内容"), 216, 152);
  Ex2Btn = new QPushButton(QStringLiteral("例"), MailTab);
  Ex2Btn->setGeometry(320, 160, 75, 25);
  Ex2Btn->setToolTip(QStringLiteral("実際のメールの例を表示します。"));

  auto* note = new QLabel(
      QStringLiteral(
          "（データは1行ずつ入力されているようにして下さい。上から順に読みこまれます。）"),
      MailTab);
  note->setWordWrap(true);
  note->setGeometry(48, 192, 353, 41);

  IntervalEdit = AddEdit(MailTab, 24, 240, 89, QStringLiteral("0～9999の数字を入力して下さい。"));
  IntervalEdit->setText(QStringLiteral("0"));
  LimitTyping(IntervalEdit, 4);
  TypeHalfWidth(IntervalEdit);
  AddLabel(MailTab, QStringLiteral("分間隔で自動受信する（0で手動のみ）"), 120, 248);

  DelMailChk = new QCheckBox(QStringLiteral("読みこんだメールはサーバから削除する"), MailTab);
  DelMailChk->move(24, 276);
  DelMailChk->adjustSize();
  DelMailChk->setToolTip(
      QStringLiteral("ここにチェックをつけると読みこんだメールをメールサーバから削除します。"));

  ByNameChk = new QCheckBox(QStringLiteral("項目名が同じデータを同じ列に入れる"), MailTab);
  ByNameChk->move(24, 298);
  ByNameChk->adjustSize();
  ByNameChk->setToolTip(
      QStringLiteral("チェックをつけると、行の順番ではなく項目名で列を決めます。新しい項目名は右端"
                     "の列に加わります。"));

  CsvGuardChk =
      new QCheckBox(QStringLiteral("保存・コピーした値を表計算ソフトの式にしない"), MailTab);
  CsvGuardChk->move(24, 320);
  CsvGuardChk->adjustSize();
  CsvGuardChk->setChecked(true);
  CsvGuardChk->setToolTip(QStringLiteral(
      "表計算ソフトで開いたときに式として実行されないよう、先頭に ' を付けて保存・コピーします。"));
}

void TConfigForm::SetTabOrder() {
  // The page's controls sit between the tabs and the confirm button; the
  // hidden page's controls are skipped by Qt.
  QWidget* const chain[] = {PageControl,     HostEdit,       PortEdit,  UserNameEdit,
                            PassWordEdit,    SecurityBox,    AuthBox,   ProviderBox,
                            ClientIdEdit,    TenantEdit,     SignInBtn, DelMailChk,
                            ByNameChk,       CsvGuardChk,    Ex2Btn,    IntervalEdit,
                            HeaderTokenEdit, SplitTokenEdit, OkBtn,     CancelBtn};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
}

std::string TConfigForm::HostText() const { return ToCp932(HostEdit->text()); }
std::string TConfigForm::PortText() const { return ToCp932(PortEdit->text()); }
std::string TConfigForm::UserNameText() const { return ToCp932(UserNameEdit->text()); }
std::string TConfigForm::PassWordText() const { return ToCp932(PassWordEdit->text()); }
bool TConfigForm::DeleteAfterReading() const { return DelMailChk->isChecked(); }
bool TConfigForm::ColumnsByName() const { return ByNameChk->isChecked(); }
bool TConfigForm::CsvGuard() const { return CsvGuardChk->isChecked(); }
std::string TConfigForm::HeaderTokenText() const { return ToCp932(HeaderTokenEdit->text()); }
std::string TConfigForm::SplitTokenText() const { return ToCp932(SplitTokenEdit->text()); }
std::string TConfigForm::IntervalText() const { return ToCp932(IntervalEdit->text()); }
std::string TConfigForm::SecurityText() const {
  return std::to_string(SecurityBox->currentIndex());
}
std::string TConfigForm::TlsFingerprintText() const { return tlsFingerprint_; }
std::string TConfigForm::TimeoutText() const { return timeout_; }

// Texts set here bypass the typing limits (see LimitTyping).
void TConfigForm::SetHostText(const std::string& text) { SetWholeText(HostEdit, text); }
void TConfigForm::SetPortText(const std::string& text) { SetWholeText(PortEdit, text); }
void TConfigForm::SetUserNameText(const std::string& text) { SetWholeText(UserNameEdit, text); }
void TConfigForm::SetPassWordText(const std::string& text) { SetWholeText(PassWordEdit, text); }
void TConfigForm::SetDeleteAfterReading(bool checked) { DelMailChk->setChecked(checked); }
void TConfigForm::SetColumnsByName(bool checked) { ByNameChk->setChecked(checked); }
void TConfigForm::SetCsvGuard(bool checked) { CsvGuardChk->setChecked(checked); }
void TConfigForm::SetHeaderTokenText(const std::string& text) {
  SetWholeText(HeaderTokenEdit, text);
}
void TConfigForm::SetSplitTokenText(const std::string& text) {
  SetWholeText(SplitTokenEdit, text);
  acceptedSeparator_ = SplitTokenEdit->text();
}
void TConfigForm::SetIntervalText(const std::string& text) { SetWholeText(IntervalEdit, text); }
void TConfigForm::SetSecurityText(const std::string& text) {
  const int index = text == "1" ? 1 : text == "2" ? 2 : 0;
  // Loading is not a choice of the user's: the port loaded with it stays.
  const QSignalBlocker quiet(SecurityBox);
  SecurityBox->setCurrentIndex(index);
}
void TConfigForm::SetTlsFingerprintText(const std::string& text) { tlsFingerprint_ = text; }
void TConfigForm::SetTimeoutText(const std::string& text) { timeout_ = text; }
std::string TConfigForm::AuthText() const {
  return AuthBox->currentIndex() == kAuthOAuth ? "1" : "0";
}
std::string TConfigForm::OAuthProviderText() const {
  return kProviders[std::clamp<int>(ProviderBox->currentIndex(), 0, std::size(kProviders) - 1)];
}
std::string TConfigForm::OAuthClientIdText() const { return ToCp932(ClientIdEdit->text()); }
std::string TConfigForm::OAuthClientSecretText() const { return oauthKept_.oauthClientSecret; }
std::string TConfigForm::OAuthTenantText() const { return ToCp932(TenantEdit->text()); }
std::string TConfigForm::OAuthAuthorizeUrlText() const { return oauthKept_.oauthAuthorizeUrl; }
std::string TConfigForm::OAuthDeviceUrlText() const { return oauthKept_.oauthDeviceUrl; }
std::string TConfigForm::OAuthTokenUrlText() const { return oauthKept_.oauthTokenUrl; }
std::string TConfigForm::OAuthScopeText() const { return oauthKept_.oauthScope; }
// Any text but "1" selects the password, as an absent key does.
void TConfigForm::SetAuthText(const std::string& text) {
  AuthBox->setCurrentIndex(TrimText(text) == "1" ? kAuthOAuth : 0);
}
// An unknown provider selects Microsoft's, the default.
void TConfigForm::SetOAuthProviderText(const std::string& text) {
  const std::string name = UpperAscii(TrimText(text));
  const auto* found = std::find(std::begin(kProviders), std::end(kProviders), name);
  ProviderBox->setCurrentIndex(found == std::end(kProviders)
                                   ? kMicrosoft
                                   : static_cast<int>(found - std::begin(kProviders)));
}
void TConfigForm::SetOAuthClientIdText(const std::string& text) {
  SetWholeText(ClientIdEdit, text);
}
void TConfigForm::SetOAuthClientSecretText(const std::string& text) {
  oauthKept_.oauthClientSecret = text;
}
void TConfigForm::SetOAuthTenantText(const std::string& text) { SetWholeText(TenantEdit, text); }
void TConfigForm::SetOAuthAuthorizeUrlText(const std::string& text) {
  oauthKept_.oauthAuthorizeUrl = text;
}
void TConfigForm::SetOAuthDeviceUrlText(const std::string& text) {
  oauthKept_.oauthDeviceUrl = text;
}
void TConfigForm::SetOAuthTokenUrlText(const std::string& text) { oauthKept_.oauthTokenUrl = text; }
void TConfigForm::SetOAuthScopeText(const std::string& text) { oauthKept_.oauthScope = text; }

void TConfigForm::SecurityBoxChange(int index) {
  const QString port = PortEdit->text().trimmed();
  if (index == kSecurityTls && port == QLatin1String(kDefaultPort)) {
    PortEdit->setText(QLatin1String(kDefaultTlsPort));
  } else if (index != kSecurityTls && port == QLatin1String(kDefaultTlsPort)) {
    PortEdit->setText(QLatin1String(kDefaultPort));
  }
}

bool TConfigForm::RefuseUnusableSeparator() {
  const QString typed = SplitTokenEdit->text();
  if (IsUsableSeparator(typed)) {
    acceptedSeparator_ = typed;
    return false;
  }
  // Only a usable separator is ever put back: one that came in with the
  // settings file is replaced by the built-in one.
  SplitTokenEdit->setText(IsUsableSeparator(acceptedSeparator_) ? acceptedSeparator_
                                                                : QStringLiteral(":"));
  acceptedSeparator_ = SplitTokenEdit->text();
  PageControl->setCurrentWidget(MailTab);
  SplitTokenEdit->setFocus();
  ShowErrorBox(
      this,
      ToCp932(QStringLiteral(
                  "区切り文字「%1」は使えません。半角の記号を1文字入れてください（例：: や =）")
                  .arg(typed)));
  return true;
}

bool TConfigForm::RefuseDeletingEveryMail() {
  if (!DelMailChk->isChecked() || !HeaderTokenEdit->text().isEmpty()) return false;
  PageControl->setCurrentWidget(MailTab);
  HeaderTokenEdit->setFocus();
  ShowErrorBox(this,
               ToCp932(QStringLiteral(
                   "反応させたいヘッダが空のまま「読みこんだメールはサーバから削除する」を選ぶと、"
                   "すべてのメールを取り込んで削除してしまいます。ヘッダを入れるか、チェック"
                   "を外してください")));
  return true;
}

void TConfigForm::RefuseField(QWidget* page, QLineEdit* edit, const QString& message) {
  PageControl->setCurrentWidget(page);
  edit->setFocus();
  edit->selectAll();
  ShowErrorBox(this, ToCp932(message));
}

bool TConfigForm::RefuseUnusablePort() {
  const QString port = PortEdit->text().trimmed();
  PortEdit->setText(port);
  bool isNumber = false;
  const int number = port.toInt(&isNumber);
  if (IsDigitsOnly(port) && isNumber && number >= 1 && number <= kHighestPort) return false;
  RefuseField(Pop3Tab, PortEdit,
              QStringLiteral("POP3ポート番号「%1」は使えません。1～65535の数字を入れてください"
                             "（通常は110、SSL/TLSは995）")
                  .arg(port));
  return true;
}

bool TConfigForm::RefuseUnusableInterval() {
  const QString interval = IntervalEdit->text().trimmed();
  IntervalEdit->setText(interval);
  bool isNumber = false;
  interval.toInt(&isNumber);
  if (IsDigitsOnly(interval) && isNumber) return false;
  RefuseField(MailTab, IntervalEdit,
              QStringLiteral("自動受信の間隔「%1」は使えません。分数を0～9999の数字で入れてください"
                             "（0で手動のみ）")
                  .arg(interval));
  return true;
}

void TConfigForm::OkBtnClick() {
  for (QLineEdit* edit : {HostEdit, PortEdit, UserNameEdit, SplitTokenEdit, IntervalEdit}) {
    edit->setText(HalfWidthAscii(edit->text()));
  }
  if (RefuseUnusablePort() || RefuseUnusableSeparator() || RefuseDeletingEveryMail() ||
      RefuseUnusableInterval()) {
    return;
  }
  hide();
  emit Confirmed();
}

void TConfigForm::CancelBtnClick() {
  // The two settings without a control are no edits of the user's: a
  // certificate trusted while the dialog was open stays trusted.
  shownWith_.SetTlsFingerprintText(tlsFingerprint_);
  shownWith_.SetTimeoutText(timeout_);
  CopySettings(shownWith_, *this);
  hide();
  emit Discarded();
}

void TConfigForm::Ex2BtnClick() { ShowMessageBox(this, ExampleMessageText(SplitTokenText())); }

void TConfigForm::closeEvent(QCloseEvent* event) {
  // Hidden rather than closed: a closed last window would end the program
  // while the main window is still hidden.
  event->ignore();
  CancelBtnClick();
}

void TConfigForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window restored from the task bar is no new opening: the edits made
  // before stay edits.
  if (!event->spontaneous()) CopySettings(*this, shownWith_);
  CallShowingErrors(this, [this] { ShowWhoIsSignedIn(); });
  if (!shownBefore_) {
    shownBefore_ = true;
    CentreOnScreen(this);
  }
}

}  // namespace vexalo
