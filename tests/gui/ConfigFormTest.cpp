#include <QApplication>
#include <QInputMethodEvent>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include "ModalBoxCatcher.h"
#include "app/ConfigForm.h"
#include "app/GuiText.h"

namespace vexalo {

namespace {

// What an input method does when the user confirms a character typed with
// Japanese input on.
void CommitInput(QWidget* edit, const QString& text) {
  QInputMethodEvent commit;
  commit.setCommitString(text);
  QApplication::sendEvent(edit, &commit);
}

}  // namespace

class ConfigFormTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsWithTheBuiltInTextsOnTheConnectionPage();
  void SettingsFieldsReadAndWriteTheControlsAsCp932();
  void TypingLimitsRefuseOneCharacterMoreButLoadedTextsStayWhole();
  void PasswordShowsAsterisks();
  void EncryptionChoiceMovesOnlyTheOtherChoicesDefaultPort();
  void TabWalksTheControlsOfTheShownPage();
  void ConfirmingAndCancellingBothHideAndReportAndKeepThePage();
  void EveryWayOfCancellingPutsBackWhatWasShown_data();
  void EveryWayOfCancellingPutsBackWhatWasShown();
  void PortAndIntervalAreCheckedOnConfirming_data();
  void PortAndIntervalAreCheckedOnConfirming();
  void ExampleIsTheSampleMailWithTheCurrentSeparator();
  void ExampleWithSeparatorOrWithoutOne();
  void FullWidthAsciiIsTypedHalfWidth_data();
  void FullWidthAsciiIsTypedHalfWidth();
  void SeparatorOfTwoBytesIsRefusedWhenTypedAndWhenConfirmed();
  void EmptyTriggerLineWithDeletingIsNotConfirmed();
  void EnterConfirmsAndEscapeCancels();
  void OAuthSettingsMapToTheControls();

 private:
  QWidget* TabFrom(QWidget* start, int presses);
};

void ConfigFormTest::StartsWithTheBuiltInTextsOnTheConnectionPage() {
  TConfigForm form;
  QVERIFY(!form.isVisible());
  QCOMPARE(form.windowTitle(), QStringLiteral("設定"));
  QCOMPARE(form.size(), QSize(450, 638));
  QVERIFY(form.font().bold());
  QCOMPARE(form.font().pixelSize(), 16);
  QCOMPARE(form.PageControl->currentWidget(), form.Pop3Tab);
  QCOMPARE(form.PageControl->tabText(0), QStringLiteral("接続設定"));
  QCOMPARE(form.PageControl->tabText(1), QStringLiteral("処理メール設定"));
  QCOMPARE(form.OkBtn->text(), QStringLiteral("設定完了"));

  QCOMPARE(form.CancelBtn->text(), QStringLiteral("キャンセル"));

  QCOMPARE(form.PortText(), "110");
  QCOMPARE(form.IntervalText(), "0");
  for (const std::string& text : {form.HostText(), form.UserNameText(), form.PassWordText(),
                                  form.HeaderTokenText(), form.SplitTokenText()}) {
    QCOMPARE(text, "");
  }
  QVERIFY(!form.DeleteAfterReading());
  QVERIFY(!form.ColumnsByName());
  QVERIFY(form.CsvGuard());  // on unless the user turns it off
  QCOMPARE(form.SecurityText(), "0");
  QCOMPARE(form.SecurityBox->currentText(), QStringLiteral("なし"));
  QCOMPARE(form.IntervalEdit->toolTip(), QStringLiteral("0～9999の数字を入力して下さい。"));
  QCOMPARE(form.DelMailChk->text(), QStringLiteral("読みこんだメールはサーバから削除する"));
}

void ConfigFormTest::SettingsFieldsReadAndWriteTheControlsAsCp932() {
  TConfigForm form;
  SettingsFields& fields = form;
  fields.SetHostText("pop.example");
  fields.SetUserNameText("\x8e\x52\x93\x63");  // 山田
  fields.SetDeleteAfterReading(true);
  fields.SetColumnsByName(true);
  fields.SetCsvGuard(false);
  QCOMPARE(form.UserNameEdit->text(), QStringLiteral("山田"));
  QVERIFY(form.DelMailChk->isChecked());
  QVERIFY(form.ByNameChk->isChecked());
  QVERIFY(!form.CsvGuardChk->isChecked());
  form.CsvGuardChk->setChecked(true);
  QVERIFY(fields.CsvGuard());

  // What the user types is what every reader gets, at once.
  form.HeaderTokenEdit->setText(QStringLiteral("X-注文: あり"));
  QCOMPARE(fields.HeaderTokenText(), "X-\x92\x8d\x95\xb6: \x82\xa0\x82\xe8");
  QCOMPARE(fields.HostText(), "pop.example");
}

void ConfigFormTest::TypingLimitsRefuseOneCharacterMoreButLoadedTextsStayWhole() {
  TConfigForm form;
  form.IntervalEdit->clear();
  QTest::keyClicks(form.IntervalEdit, "12345");
  QCOMPARE(form.IntervalEdit->text(), QStringLiteral("1234"));
  QTest::keyClicks(form.SplitTokenEdit, "=:");
  QCOMPARE(form.SplitTokenEdit->text(), QStringLiteral("="));
  const QString full(255, QLatin1Char('h'));
  QTest::keyClicks(form.HeaderTokenEdit, full + "X");
  QCOMPARE(form.HeaderTokenEdit->text(), full);
  QTest::keyClicks(form.PortEdit, "abc");  // checked on confirming, not while typed
  QCOMPARE(form.PortText(), "110abc");

  // A longer stored value loads and saves whole; the user can shorten it, and
  // typing is refused until it is within the limit again.
  form.SetIntervalText("123456");
  QCOMPARE(form.IntervalText(), "123456");
  form.IntervalEdit->end(false);
  QTest::keyClick(form.IntervalEdit, Qt::Key_Backspace);
  QTest::keyClicks(form.IntervalEdit, "9");
  QCOMPARE(form.IntervalText(), "12345");
  QTest::keyClick(form.IntervalEdit, Qt::Key_Backspace);
  QTest::keyClick(form.IntervalEdit, Qt::Key_Backspace);
  QTest::keyClicks(form.IntervalEdit, "99");
  QCOMPARE(form.IntervalText(), "1239");
}

void ConfigFormTest::PasswordShowsAsterisks() {
  TConfigForm form;
  form.SetPassWordText("secret");
  QCOMPARE(form.PassWordEdit->displayText(), QStringLiteral("******"));
  QCOMPARE(form.PassWordText(), "secret");
}

void ConfigFormTest::EncryptionChoiceMovesOnlyTheOtherChoicesDefaultPort() {
  TConfigForm form;
  QCOMPARE(form.SecurityBox->count(), 3);
  QCOMPARE(form.SecurityBox->itemText(1), QStringLiteral("SSL/TLS"));
  QCOMPARE(form.SecurityBox->itemText(2), QStringLiteral("STARTTLS"));
  const struct {
    const char* portBefore;
    int choice;
    const char* portAfter;
  } cases[] = {
      {"110", 1, "995"}, {"995", 0, "110"},   {"995", 2, "110"},
      {"110", 2, "110"}, {"1995", 1, "1995"}, {"pop3", 0, "pop3"},
  };
  for (const auto& c : cases) {
    form.SetSecurityText(c.choice == 1 ? "0" : "1");
    form.SetPortText(c.portBefore);
    form.SecurityBox->setCurrentIndex(c.choice);
    QCOMPARE(form.PortText(), c.portAfter);
    QCOMPARE(form.SecurityText(), std::to_string(c.choice));
  }
  // Loading a choice is not the user's choice: the loaded port stays.
  form.SetPortText("110");
  form.SetSecurityText("1");
  QCOMPARE(form.PortText(), "110");
  form.SetSecurityText("junk");
  QCOMPARE(form.SecurityText(), "0");
  form.SetTlsFingerprintText("AB:CD");
  form.SetTimeoutText("7");
  QCOMPARE(form.TlsFingerprintText(), "AB:CD");
  QCOMPARE(form.TimeoutText(), "7");
}

// The INI texts of AUTH and OAUTH_PROVIDER pick the items; texts without a
// control come back as loaded; Microsoft's tenant only takes input for it.
void ConfigFormTest::OAuthSettingsMapToTheControls() {
  TConfigForm form;
  QCOMPARE(form.AuthText(), "0");
  QCOMPARE(form.OAuthProviderText(), "MICROSOFT");
  QCOMPARE(form.OAuthTenantText(), "organizations");
  QCOMPARE(form.AuthBox->currentText(), QStringLiteral("パスワード"));
  form.SetAuthText("1");
  form.SetOAuthProviderText("google");
  form.SetOAuthClientIdText("id-1.apps.googleusercontent.com");
  form.SetOAuthTokenUrlText("https://auth.example.jp/token");
  QCOMPARE(form.AuthText(), "1");
  QCOMPARE(form.OAuthProviderText(), "GOOGLE");
  QCOMPARE(form.OAuthClientIdText(), "id-1.apps.googleusercontent.com");
  QCOMPARE(form.OAuthTokenUrlText(), "https://auth.example.jp/token");
  QVERIFY(!form.PassWordEdit->isEnabled());
  QVERIFY(!form.TenantEdit->isEnabled());
  form.SetOAuthProviderText("SOMETHING");
  QCOMPARE(form.OAuthProviderText(), "MICROSOFT");
  QVERIFY(form.TenantEdit->isEnabled());
  form.SetAuthText("2");
  QCOMPARE(form.AuthText(), "0");
  QVERIFY(form.PassWordEdit->isEnabled());
  QVERIFY(!form.SignInBtn->isEnabled());
}

QWidget* ConfigFormTest::TabFrom(QWidget* start, int presses) {
  start->setFocus();
  for (int i = 0; i < presses; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  return QApplication::focusWidget();
}

void ConfigFormTest::TabWalksTheControlsOfTheShownPage() {
  TConfigForm form;
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QWidget* const tabs = form.PageControl->tabBar();
  // With the password chosen, the OAuth 2.0 controls take no input.
  const QList<QWidget*> pop3 = {form.HostEdit,     form.PortEdit,    form.UserNameEdit,
                                form.PassWordEdit, form.SecurityBox, form.AuthBox,
                                form.OkBtn,        form.CancelBtn};
  for (int i = 0; i < pop3.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), pop3[i]);
  form.SetAuthText("1");
  const QList<QWidget*> oauth = {
      form.HostEdit,    form.PortEdit,     form.UserNameEdit, form.SecurityBox, form.AuthBox,
      form.ProviderBox, form.ClientIdEdit, form.TenantEdit,   form.SignInBtn,   form.OkBtn};
  for (int i = 0; i < oauth.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), oauth[i]);

  form.PageControl->setCurrentWidget(form.MailTab);
  const QList<QWidget*> mail = {form.DelMailChk,     form.ByNameChk,    form.CsvGuardChk,
                                form.Ex2Btn,         form.IntervalEdit, form.HeaderTokenEdit,
                                form.SplitTokenEdit, form.OkBtn,        form.CancelBtn};
  for (int i = 0; i < mail.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), mail[i]);
}

void ConfigFormTest::ConfirmingAndCancellingBothHideAndReportAndKeepThePage() {
  TConfigForm form;
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  QSignalSpy discarded(&form, &TConfigForm::Discarded);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.PageControl->setCurrentWidget(form.MailTab);
  form.IntervalEdit->setText("5");

  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.size(), 1);
  QCOMPARE(form.IntervalText(), "5");

  form.show();
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);
  QVERIFY(form.close() == false);  // the close box hides, it never ends the window
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.size(), 1);
  QCOMPARE(discarded.size(), 1);
  form.show();
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);
}

void ConfigFormTest::EveryWayOfCancellingPutsBackWhatWasShown_data() {
  QTest::addColumn<QString>("way");
  QTest::newRow("cancel button") << "button";
  QTest::newRow("Esc") << "escape";
  QTest::newRow("close box") << "close";
}

// Every control the user can change is changed, then the dialog is
// cancelled: each holds what it held when the dialog was shown, the next
// showing starts from there, and a fingerprint set meanwhile (a certificate
// trusted during a fetch) is no edit of the user's and stays.
void ConfigFormTest::EveryWayOfCancellingPutsBackWhatWasShown() {
  QFETCH(QString, way);
  TConfigForm form;
  form.SetHostText("pop.example");
  form.SetPortText("995");
  form.SetUserNameText("orders");
  form.SetPassWordText("secret");
  form.SetSecurityText("1");
  form.SetHeaderTokenText("X-ORDER: shop");
  form.SetSplitTokenText("=");
  form.SetIntervalText("10");
  form.SetDeleteAfterReading(true);
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  QSignalSpy discarded(&form, &TConfigForm::Discarded);
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));

  form.HostEdit->setText("other.example");
  form.PortEdit->setText("110");
  form.UserNameEdit->setText("someone");
  form.PassWordEdit->setText("guess");
  form.SecurityBox->setCurrentIndex(2);
  form.HeaderTokenEdit->setText("X-OTHER: 1");
  form.SplitTokenEdit->setText(":");
  form.IntervalEdit->setText("3");
  form.DelMailChk->setChecked(false);
  form.ByNameChk->setChecked(true);
  form.CsvGuardChk->setChecked(false);
  form.SetTlsFingerprintText("AB:CD");
  if (way == "button") {
    QTest::mouseClick(form.CancelBtn, Qt::LeftButton);
  } else if (way == "escape") {
    QTest::keyClick(form.PortEdit, Qt::Key_Escape);
  } else {
    form.close();
  }

  QVERIFY(!form.isVisible());
  QCOMPARE(discarded.count(), 1);
  QCOMPARE(confirmed.count(), 0);
  QCOMPARE(form.HostText(), "pop.example");
  QCOMPARE(form.PortText(), "995");
  QCOMPARE(form.UserNameText(), "orders");
  QCOMPARE(form.PassWordText(), "secret");
  QCOMPARE(form.SecurityText(), "1");
  QCOMPARE(form.HeaderTokenText(), "X-ORDER: shop");
  QCOMPARE(form.SplitTokenText(), "=");
  QCOMPARE(form.IntervalText(), "10");
  QVERIFY(form.DeleteAfterReading());
  QVERIFY(!form.ColumnsByName());
  QVERIFY(form.CsvGuard());
  QCOMPARE(form.TlsFingerprintText(), "AB:CD");

  // What is confirmed next time is what the next cancel goes back to.
  form.show();
  form.IntervalEdit->setText("20");
  form.OkBtnClick();
  form.show();
  form.IntervalEdit->setText("30");
  form.CancelBtnClick();
  QCOMPARE(form.IntervalText(), "20");
}

void ConfigFormTest::PortAndIntervalAreCheckedOnConfirming_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("kept");  // empty: refused
  QTest::newRow("port letters") << "PortEdit"
                                << "abc" << QString();
  QTest::newRow("port 0") << "PortEdit"
                          << "0" << QString();
  QTest::newRow("port 65536") << "PortEdit"
                              << "65536" << QString();
  QTest::newRow("port empty") << "PortEdit" << QString() << QString();
  QTest::newRow("port signed") << "PortEdit"
                               << "+110" << QString();
  QTest::newRow("port 1") << "PortEdit"
                          << "1"
                          << "1";
  QTest::newRow("port 65535 with blanks") << "PortEdit"
                                          << " 65535 "
                                          << "65535";
  QTest::newRow("port full-width") << "PortEdit"
                                   << "９９５"
                                   << "995";
  QTest::newRow("interval letters") << "IntervalEdit"
                                    << "abc" << QString();
  QTest::newRow("interval negative") << "IntervalEdit"
                                     << "-5" << QString();
  QTest::newRow("interval fraction") << "IntervalEdit"
                                     << "1.5" << QString();
  QTest::newRow("interval empty") << "IntervalEdit" << QString() << QString();
  QTest::newRow("interval 0") << "IntervalEdit"
                              << "0"
                              << "0";
  QTest::newRow("interval 9999") << "IntervalEdit"
                                 << "9999"
                                 << "9999";
}

// A port or interval the program cannot use is refused when the dialog is
// confirmed: the box names the field, and the dialog stays open on the page
// of the field, which has the focus; nothing is confirmed.
void ConfigFormTest::PortAndIntervalAreCheckedOnConfirming() {
  QFETCH(QString, field);
  QFETCH(QString, typed);
  QFETCH(QString, kept);
  TConfigForm form;
  form.SetHeaderTokenText("X-VEXALO: default");
  form.SetSplitTokenText(":");
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  auto* edit = form.findChild<QLineEdit*>(field);
  edit->setText(typed);
  // Confirmed from the other page than the field's.
  form.PageControl->setCurrentWidget(edit->parentWidget() == form.Pop3Tab ? form.MailTab
                                                                          : form.Pop3Tab);
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  ModalBoxCatcher boxes;
  QWidget* focusWhileBoxOpen = nullptr;
  boxes.WhileNextBoxOpen([&] { focusWhileBoxOpen = form.focusWidget(); });
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);

  if (!kept.isEmpty()) {
    QCOMPARE(boxes.Texts(), QString());
    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(edit->text(), kept);
    return;
  }
  QCOMPARE(confirmed.count(), 0);
  QVERIFY(form.isVisible());
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
  const QString named = field == "PortEdit" ? QStringLiteral("POP3ポート番号「%1」は使えません")
                                            : QStringLiteral("自動受信の間隔「%1」は使えません");
  QVERIFY2(boxes.Seen()[0].text.startsWith(named.arg(typed.trimmed())),
           qPrintable(boxes.Seen()[0].text));
  QCOMPARE(form.PageControl->currentWidget(), edit->parentWidget());
  QCOMPARE(focusWhileBoxOpen, edit);
  QCOMPARE(edit->text(), typed.trimmed());
}

void ConfigFormTest::ExampleIsTheSampleMailWithTheCurrentSeparator() {
  TConfigForm form;
  form.SetSplitTokenText(":");
  form.SetHeaderTokenText("X-ORDER: shop");  // not used by the example
  ModalBoxCatcher boxes;
  QTest::mouseClick(form.Ex2Btn, Qt::LeftButton);
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QCOMPARE(boxes.Seen()[0].title, QStringLiteral("Vexalo"));
  QCOMPARE(boxes.Seen()[0].text,
           QStringLiteral("以下は反応するヘッダ行をX-VEXALO: defaultとした場合の例です。"
                          "------------------------------------------------\n"
                          "Subject: 商品ご注文\n"
                          "From: order-form@shop.example\n"
                          "To: orders@vexalo.example\n"
                          "X-VEXALO: default\n"
                          "Date: Mon, 10 Sep 2001 11:43:30 +0900\n"
                          "MIME-Version: 1.0\n"
                          "Content-Type: text/plain; charset=iso-2022-jp\n"
                          "\n"
                          "品名:薄口しょうゆ\n"
                          "数量:11\n"
                          "住所（〒）:222-2222\n"
                          "住所（県名）:神奈川\n"
                          "住所（その他）:横浜市中区港町9-99\n"
                          "電話番号:045-000-0000\n"
                          "配達指定:夜間\n"
                          "%:このコメント行（パーセントとコロン）は処理されません。\n"
                          "------------------------------------------------\n"
                          "詳しくは付属説明書をご覧下さい。"));
}

void ConfigFormTest::ExampleWithSeparatorOrWithoutOne() {
  TConfigForm form;
  ModalBoxCatcher boxes;
  form.SetSplitTokenText("=");
  form.Ex2BtnClick();
  form.SetSplitTokenText("");
  form.Ex2BtnClick();
  QCOMPARE(boxes.Seen().size(), size_t{2});
  const QString withEquals = boxes.Seen()[0].text;
  QVERIFY(withEquals.contains(QStringLiteral("\n品名=薄口しょうゆ\n数量=11\n")));
  QVERIFY(withEquals.contains(QStringLiteral("\n%:このコメント行")));
  QVERIFY(withEquals.contains(QStringLiteral("\nX-VEXALO: default\n")));
  const QString withNone = boxes.Seen()[1].text;
  QVERIFY(withNone.contains(QStringLiteral("\n電話番号045-000-0000\n配達指定夜間\n%:")));
}

void ConfigFormTest::FullWidthAsciiIsTypedHalfWidth_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<std::string>("stored");
  QTest::newRow("separator colon") << "SplitTokenEdit"
                                   << "：" << std::string(":");
  QTest::newRow("separator equals") << "SplitTokenEdit"
                                    << "＝" << std::string("=");
  QTest::newRow("port") << "PortEdit"
                        << "１１０" << std::string("110");
  QTest::newRow("interval") << "IntervalEdit"
                            << "１５" << std::string("15");
  QTest::newRow("server name") << "HostEdit"
                               << "ｐｏｐ．ｅｘａｍｐｌｅ．ｊｐ" << std::string("pop.example.jp");
  QTest::newRow("user name with a full-width space")
      << "UserNameEdit"
      << "ｏｒｄｅｒｓ＠ｓｈｏｐ　" << std::string("orders@shop ");
  QTest::newRow("half-width stays") << "IntervalEdit"
                                    << "7" << std::string("7");
}

void ConfigFormTest::FullWidthAsciiIsTypedHalfWidth() {
  QFETCH(QString, field);
  QFETCH(QString, typed);
  QFETCH(std::string, stored);
  TConfigForm form;
  form.show();
  auto* edit = form.findChild<QLineEdit*>(field);
  QVERIFY(edit != nullptr);
  form.PageControl->setCurrentWidget(edit->parentWidget());
  edit->clear();
  for (const QChar c : typed) CommitInput(edit, c);
  ModalBoxCatcher boxes;
  QCOMPARE(ToCp932(edit->text()), stored);
  form.OkBtnClick();
  QVERIFY(!form.isVisible());
  QVERIFY(boxes.Seen().empty());
}

// With an empty trigger line every mail is picked: with deleting on, the
// dialog says what that would do and stays open.
void ConfigFormTest::EmptyTriggerLineWithDeletingIsNotConfirmed() {
  TConfigForm form;
  form.SetHeaderTokenText("");
  form.SetDeleteAfterReading(true);
  form.show();
  ModalBoxCatcher boxes;
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QVERIFY(boxes.Seen()[0].text.contains(QStringLiteral("すべてのメールを取り込んで削除")));
  QVERIFY(form.isVisible());
  QCOMPARE(confirmed.count(), 0);
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);

  form.SetDeleteAfterReading(false);
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QCOMPARE(confirmed.count(), 1);
}

void ConfigFormTest::SeparatorOfTwoBytesIsRefusedWhenTypedAndWhenConfirmed() {
  TConfigForm form;
  form.SetSplitTokenText("=");
  form.show();
  form.PageControl->setCurrentWidget(form.MailTab);
  ModalBoxCatcher boxes;
  form.SplitTokenEdit->clear();
  CommitInput(form.SplitTokenEdit, QStringLiteral("、"));  // two bytes in CP932
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
  QVERIFY(boxes.Seen()[0].text.contains(QStringLiteral("区切り文字「、」は使えません")));
  QCOMPARE(form.SplitTokenText(), "=");  // the last usable one is back

  // One that came from the settings file is checked on confirming: the
  // dialog stays open on it.
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  form.SetSplitTokenText("\x81\x41");  // 、
  form.PageControl->setCurrentWidget(form.Pop3Tab);
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QCOMPARE(boxes.Seen().size(), size_t{2});
  QVERIFY(form.isVisible());
  QCOMPARE(confirmed.count(), 0);
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);
  QCOMPARE(form.SplitTokenText(), ":");
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QCOMPARE(confirmed.count(), 1);

  // A full-width one from the file is made half-width instead.
  form.show();
  form.SetSplitTokenText("\x81\x46");  // ：
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QCOMPARE(confirmed.count(), 2);
  QCOMPARE(form.SplitTokenText(), ":");
  QCOMPARE(boxes.Seen().size(), size_t{2});
}

void ConfigFormTest::EnterConfirmsAndEscapeCancels() {
  TConfigForm form;
  QVERIFY(form.windowFlags() & Qt::Window);
  QCOMPARE(form.windowType(), Qt::Window);  // a window of its own, not a dialog over another
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  form.HostEdit->setFocus();
  QTest::keyClick(form.HostEdit, Qt::Key_Return);
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.count(), 1);
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  form.PortEdit->setFocus();
  QTest::keyClick(form.PortEdit, Qt::Key_Escape);
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.count(), 1);
}

}  // namespace vexalo

QTEST_MAIN(vexalo::ConfigFormTest)
#include "ConfigFormTest.moc"
