#include <QTest>

#include "MainFormFixture.h"
#include "auth/SecretStore.h"
#include "cipher/StringCipher.h"
#include "settings/IniUnit.h"
#include "settings/SettingsStore.h"

namespace vexalo {

// The desktop program with a keyring of its own: ctest runs this under
// tests/auth/with_keyring.sh.
class KeyringTest : public QObject {
  Q_OBJECT

 private slots:
  void TheStoredPasswordMovesToTheKeyringWhenTheWindowCloses();
};

// A folder saved before the keyring: the window reads its encrypted
// PASSWORD, and closing moves it to the keyring and out of the file.
void KeyringTest::TheStoredPasswordMovesToTheKeyringWhenTheWindowCloses() {
  ProgramFolder folder;
  const auto keyring = MakeKeyringSecretStore(folder.Path(), SecretKind::kPassword);
  QVERIFY2(keyring, "no Secret Service answered");
  folder.Write("Vexalo.ini", "[POP3]\r\nHOST=pop.example\r\nPASSWORD=" +
                                 EncryptText("secret", SettingsPassPhrase()) + "\r\n");

  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(form->ConfigForm().PassWordText(), "secret");
  QVERIFY(form->close());
  QCOMPARE(ReadIniString(folder.FilePath("Vexalo.ini"), "POP3", "PASSWORD", "?"), "");
  QCOMPARE(keyring->Load(), std::optional<std::string>("secret"));

  auto again = folder.StartMainForm();
  QVERIFY(again);
  QCOMPARE(again->ConfigForm().PassWordText(), "secret");
  QVERIFY(again->close());
  keyring->Erase();
}

}  // namespace vexalo

QTEST_MAIN(vexalo::KeyringTest)
#include "KeyringTest.moc"
