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
  void ConfirmingAndClosingBothHideAndReportAndKeepThePage();
  void ExampleIsTheSampleMailWithTheCurrentSeparator();
  void ExampleWithSeparatorOrWithoutOne();
  void FullWidthAsciiIsTypedHalfWidth_data();
  void FullWidthAsciiIsTypedHalfWidth();
  void SeparatorOfTwoBytesIsRefusedWhenTypedAndWhenConfirmed();
  void EmptyTriggerLineWithDeletingIsNotConfirmed();
  void EnterConfirmsAndEscapeCloses();
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

  QCOMPARE(form.PortText(), "110");
  for (const std::string& text :
       {form.HostText(), form.UserNameText(), form.PassWordText(), form.HeaderTokenText(),
        form.SplitTokenText(), form.IntervalText()}) {
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
  QTest::keyClicks(form.IntervalEdit, "12345");
  QCOMPARE(form.IntervalEdit->text(), QStringLiteral("1234"));
  QTest::keyClicks(form.SplitTokenEdit, "=:");
  QCOMPARE(form.SplitTokenEdit->text(), QStringLiteral("="));
  const QString full(255, QLatin1Char('h'));
  QTest::keyClicks(form.HeaderTokenEdit, full + "X");
  QCOMPARE(form.HeaderTokenEdit->text(), full);
  QTest::keyClicks(form.PortEdit, "abc");  // no check on what is typed
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
                                form.OkBtn};
  for (int i = 0; i < pop3.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), pop3[i]);
  form.SetAuthText("1");
  const QList<QWidget*> oauth = {
      form.HostEdit,    form.PortEdit,     form.UserNameEdit, form.SecurityBox, form.AuthBox,
      form.ProviderBox, form.ClientIdEdit, form.TenantEdit,   form.SignInBtn,   form.OkBtn};
  for (int i = 0; i < oauth.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), oauth[i]);

  form.PageControl->setCurrentWidget(form.MailTab);
  const QList<QWidget*> mail = {form.DelMailChk,     form.ByNameChk,    form.CsvGuardChk,
                                form.Ex2Btn,         form.IntervalEdit, form.HeaderTokenEdit,
                                form.SplitTokenEdit, form.OkBtn};
  for (int i = 0; i < mail.size(); ++i) QCOMPARE(TabFrom(tabs, i + 1), mail[i]);
}

void ConfigFormTest::ConfirmingAndClosingBothHideAndReportAndKeepThePage() {
  TConfigForm form;
  QSignalSpy confirmed(&form, &TConfigForm::Confirmed);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.PageControl->setCurrentWidget(form.MailTab);
  form.IntervalEdit->setText("5");

  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.size(), 1);
  QCOMPARE(form.IntervalText(), "5");  // nothing is reset or checked

  form.show();
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);
  QVERIFY(form.close() == false);  // the close box confirms instead
  QVERIFY(!form.isVisible());
  QCOMPARE(confirmed.size(), 2);
  form.show();
  QCOMPARE(form.PageControl->currentWidget(), form.MailTab);
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

void ConfigFormTest::EnterConfirmsAndEscapeCloses() {
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
  QCOMPARE(confirmed.count(), 2);
}

}  // namespace vexalo

QTEST_MAIN(vexalo::ConfigFormTest)
#include "ConfigFormTest.moc"
