#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

#include "settings/SettingsFields.h"

class QShowEvent;

namespace vexalo {

// The settings dialog. Its controls (and, for the two settings without a
// control, its fields) are the program's only live copy of the settings: the
// settings store fills them at start-up and saves them when the dialog is
// confirmed and at the end, and every other part reads them through
// SettingsFields at the moment it needs a value. While the dialog is open the
// main window is hidden and no automatic fetch starts, so edits reach a run
// only once confirmed; cancelling puts back what the controls held when the
// dialog was shown.
//
// Created hidden at start-up and never destroyed before the program ends;
// hidden again (not closed) by its confirm button or Enter (confirming), its
// cancel button, Esc or its close box (cancelling), and shown again on the
// page that was shown last.
class TConfigForm final : public QWidget, public SettingsFields {
  Q_OBJECT

 public:
  explicit TConfigForm(QWidget* parent = nullptr);

  // SettingsFields: the controls' current texts and state, as CP932.
  std::string HostText() const override;
  std::string PortText() const override;
  std::string UserNameText() const override;
  std::string PassWordText() const override;
  bool DeleteAfterReading() const override;
  bool ColumnsByName() const override;
  bool CsvGuard() const override;
  std::string HeaderTokenText() const override;
  std::string SplitTokenText() const override;
  std::string IntervalText() const override;
  std::string SecurityText() const override;
  std::string TlsFingerprintText() const override;
  std::string TimeoutText() const override;
  void SetHostText(const std::string& text) override;
  void SetPortText(const std::string& text) override;
  void SetUserNameText(const std::string& text) override;
  void SetPassWordText(const std::string& text) override;
  void SetDeleteAfterReading(bool checked) override;
  void SetColumnsByName(bool checked) override;
  void SetCsvGuard(bool checked) override;
  void SetHeaderTokenText(const std::string& text) override;
  void SetSplitTokenText(const std::string& text) override;
  void SetIntervalText(const std::string& text) override;
  // Any text but "1" and "2" selects the plain connection.
  void SetSecurityText(const std::string& text) override;
  void SetTlsFingerprintText(const std::string& text) override;
  void SetTimeoutText(const std::string& text) override;
  std::string AuthText() const override;
  std::string OAuthProviderText() const override;
  std::string OAuthClientIdText() const override;
  std::string OAuthClientSecretText() const override;
  std::string OAuthTenantText() const override;
  std::string OAuthAuthorizeUrlText() const override;
  std::string OAuthDeviceUrlText() const override;
  std::string OAuthTokenUrlText() const override;
  std::string OAuthScopeText() const override;
  void SetAuthText(const std::string& text) override;
  void SetOAuthProviderText(const std::string& text) override;
  void SetOAuthClientIdText(const std::string& text) override;
  void SetOAuthClientSecretText(const std::string& text) override;
  void SetOAuthTenantText(const std::string& text) override;
  void SetOAuthAuthorizeUrlText(const std::string& text) override;
  void SetOAuthDeviceUrlText(const std::string& text) override;
  void SetOAuthTokenUrlText(const std::string& text) override;
  void SetOAuthScopeText(const std::string& text) override;

  // A new encryption choice moves the port between the plain default 110
  // and the SSL/TLS default 995 when it holds the other choice's default;
  // any other port the user typed stays.
  void SecurityBoxChange(int index);

  // The folder whose secret store holds the OAuth 2.0 grant (the data
  // folder, ending in '/'); until it is set, nobody is shown signed in.
  void SetDataFolder(std::string folder);

  // Signs in with OAuth 2.0 as the controls say: the device code shown (and
  // its page opened) where the provider has one, else the browser opened at
  // the authorization address; the grant goes to the data folder's store.
  // Settings that cannot work are reported with the error box.
  void SignInBtnClick();

  // Confirming: full-width ASCII in the server, port, user name, separator
  // and interval fields becomes half-width; a port that is not a whole number
  // from 1 to 65535, a separator that is not one CP932 byte and an interval
  // that is not a whole number of minutes are refused with the error box
  // naming the field, the dialog staying open with that field focused.
  // Otherwise hides the dialog, then emits Confirmed.
  void OkBtnClick();
  // Cancelling: every control gets back what it held when the dialog was
  // shown; hides the dialog, then emits Discarded.
  void CancelBtnClick();

  // Shows the sample mail for the separator now in SplitTokenEdit, in a
  // message box; returns when the user has closed it.
  void Ex2BtnClick();

  // The controls, owned by the form.
  QTabWidget* PageControl;
  QWidget* Pop3Tab;
  QWidget* MailTab;
  QLineEdit* HostEdit;
  QLineEdit* PortEdit;
  QLineEdit* UserNameEdit;
  QLineEdit* PassWordEdit;
  QComboBox* SecurityBox;  // items in the order of the SECURITY values
  QComboBox* AuthBox;      // パスワード, OAuth 2.0: the AUTH values 0 and 1
  QComboBox* ProviderBox;  // MICROSOFT, GOOGLE, CUSTOM
  QLineEdit* ClientIdEdit;
  QLineEdit* TenantEdit;
  QPushButton* SignInBtn;
  QLabel* SignInLabel;  // who is signed in, or the device code to enter
  QLineEdit* HeaderTokenEdit;
  QLineEdit* SplitTokenEdit;
  QLineEdit* IntervalEdit;
  QCheckBox* DelMailChk;
  QCheckBox* ByNameChk;
  QCheckBox* CsvGuardChk;  // checked unless the user turned the guard off
  QPushButton* Ex2Btn;
  QPushButton* OkBtn;
  QPushButton* CancelBtn;

 signals:
  // The dialog has been confirmed and is hidden now: the main window shows
  // itself again, saves the settings and re-applies the polling interval.
  void Confirmed();
  // The dialog has been cancelled and is hidden now, the settings as before.
  void Discarded();

 protected:
  // Closing by the close box, the system menu or Alt+F4 is cancelling.
  void closeEvent(QCloseEvent* event) override;
  // Keeps what the controls hold, for cancelling.
  void showEvent(QShowEvent* event) override;

 private:
  void BuildPop3Tab();
  void BuildMailTab();
  void SetTabOrder();
  // Names as in the field list, for accessibility tools and tests.
  void NameControls();
  // A separator the parser cannot use is replaced by the last usable one and
  // reported; true when that happened.
  bool RefuseUnusableSeparator();
  // An empty trigger line picks every mail: with deleting on, a run would
  // take and delete the whole mailbox, so the pair is reported and not
  // confirmed; true when that happened.
  bool RefuseDeletingEveryMail();
  // A port or an interval the program cannot use is reported naming its
  // field, which gets the focus; true when that happened.
  bool RefuseUnusablePort();
  bool RefuseUnusableInterval();
  void RefuseField(QWidget* page, QLineEdit* edit, const QString& message);
  void BuildSignInRows(int y);
  // Only the controls of the chosen way of logging in take input.
  void EnableLoginControls();
  void ShowWhoIsSignedIn();

  bool shownBefore_ = false;
  PlainSettingsFields shownWith_;  // the settings when the dialog was last shown
  QString acceptedSeparator_;      // the last separator found usable
  std::string tlsFingerprint_;
  std::string timeout_ = "60";
  // The OAuth 2.0 settings without a control keep their INI text here.
  PlainSettingsFields oauthKept_;
  std::string dataFolder_;
  QPointer<QObject> signIn_;  // the sign-in under way
};

}  // namespace vexalo
