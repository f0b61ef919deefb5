#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "TempFolder.h"
#include "auth/PasswordPlace.h"
#include "auth/SecretStore.h"
#include "cipher/StringCipher.h"
#include "jconv/Cp932Codec.h"
#include "settings/IniUnit.h"
#include "settings/SettingsStore.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

// A Japanese password: the settings hold it in CP932, the keyring in UTF-8.
const std::string kTypedUtf8 = "注文-s3cret";
const std::string kPassword = Utf8ToCp932(kTypedUtf8);

class PasswordPlaceTest : public ::testing::Test {
 protected:
  std::string Ini() const { return folder.Path("Vexalo.ini"); }
  std::string IniPassword() const { return ReadIniString(Ini(), "POP3", "PASSWORD", ""); }
  std::string Loaded() const {
    PlainSettingsFields fields;
    LoadSettingsAndPassword(fields, dir);
    return fields.passWord;
  }

  TempFolder folder;
  const std::string dir = folder.Root().string() + "/";
};

// A systemd timer run has no session bus: the password is kept as it always
// was, encrypted in the file.
TEST_F(PasswordPlaceTest, WithoutAKeyringThePasswordStaysEncryptedInTheFile) {
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  PlainSettingsFields saved;
  saved.host = "pop.example.jp";
  saved.passWord = kPassword;
  SaveSettingsAndPassword(saved, dir);
  EXPECT_EQ(ReadBytes(Ini()).find("s3cret"), std::string::npos);
  EXPECT_EQ(DecryptText(IniPassword(), SettingsPassPhrase()), kPassword);
  EXPECT_EQ(Loaded(), kPassword);

  SavePasswordAlone("typed-later", dir);
  EXPECT_EQ(DecryptText(IniPassword(), SettingsPassPhrase()), "typed-later");
  EXPECT_EQ(ReadIniString(Ini(), "POP3", "HOST", ""), "pop.example.jp");
  EXPECT_EQ(Loaded(), "typed-later");
}

// Run by ctest under with_keyring.sh (VEXALO_EXPECT_KEYRING set); elsewhere
// only where a Secret Service answers, and otherwise they skip.
class PasswordInKeyringTest : public PasswordPlaceTest {
 protected:
  void SetUp() override {
    keyring = MakeKeyringSecretStore(dir, SecretKind::kPassword);
    if (!keyring) {
      if (getenv("VEXALO_EXPECT_KEYRING") != nullptr) FAIL() << "no Secret Service answered";
      GTEST_SKIP() << "no Secret Service on this session bus";
    }
  }
  void TearDown() override {
    if (keyring) keyring->Erase();
  }

  std::unique_ptr<SecretStore> keyring;
};

// A folder saved before there was a keyring: its encrypted PASSWORD is read
// as before, and the first save with a keyring moves it there for good.
TEST_F(PasswordInKeyringTest, TheFilesPasswordMovesToTheKeyringOnTheNextSave) {
  PlainSettingsFields old;
  old.host = "pop.example.jp";
  old.passWord = kPassword;
  SaveSettings(old, Ini());
  ASSERT_FALSE(IniPassword().empty());

  PlainSettingsFields loaded;
  LoadSettingsAndPassword(loaded, dir);
  EXPECT_EQ(loaded.passWord, kPassword);
  SaveSettingsAndPassword(loaded, dir);

  EXPECT_EQ(IniPassword(), "");
  EXPECT_EQ(keyring->Load(), kTypedUtf8);
  EXPECT_EQ(ReadIniString(Ini(), "POP3", "HOST", ""), "pop.example.jp");
  EXPECT_EQ(Loaded(), kPassword);
  // The OAuth grant of the same folder is another item.
  EXPECT_EQ(MakeKeyringSecretStore(dir)->Load(), std::nullopt);

  // A password emptied in the settings leaves no copy in the keyring.
  loaded.passWord.clear();
  SaveSettingsAndPassword(loaded, dir);
  EXPECT_EQ(keyring->Load(), std::nullopt);
  EXPECT_EQ(Loaded(), "");
}

TEST_F(PasswordInKeyringTest, LoadingTakesTheFilesPasswordFirstAndElseTheKeyrings) {
  struct Case {
    const char* what;
    std::optional<std::string> iniValue;  // PASSWORD as stored in the file
    std::optional<std::string> inKeyring;
    std::string expected;
  };
  const std::string fileOne = EncryptText("file-pw", SettingsPassPhrase());
  const Case cases[] = {
      {"the file alone (not saved with a keyring yet)", fileOne, std::nullopt, "file-pw"},
      {"the keyring alone", "", "ring-pw", "ring-pw"},
      // Every save with a keyring empties the key: the file's is the later.
      {"both, the file's written by a save without a keyring", fileOne, "ring-pw", "file-pw"},
      {"a file's that cannot be decrypted", "not base64!", "ring-pw", "ring-pw"},
      {"neither", "", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.iniValue) WriteIniSecret(Ini(), "POP3", "PASSWORD", *c.iniValue);
    if (c.inKeyring) {
      keyring->Save(*c.inKeyring);
    } else {
      keyring->Erase();
    }
    EXPECT_EQ(Loaded(), c.expected);
  }
}

// vexalo-fetch --set-password keeps the password where a save would.
TEST_F(PasswordInKeyringTest, ThePasswordAloneGoesToTheKeyringUnlessItCannotBeText) {
  WriteIniSecret(Ini(), "POP3", "PASSWORD", EncryptText("old-pw", SettingsPassPhrase()));
  SavePasswordAlone(kPassword, dir);
  EXPECT_EQ(IniPassword(), "");
  EXPECT_EQ(keyring->Load(), kTypedUtf8);
  EXPECT_EQ(Loaded(), kPassword);

  // Bytes that are no CP932 text would not come back from the keyring's
  // UTF-8 as they went in: the file keeps them, and they load first.
  const std::string notText = "pw\xff\xfe";
  SavePasswordAlone(notText, dir);
  EXPECT_EQ(DecryptText(IniPassword(), SettingsPassPhrase()), notText);
  EXPECT_EQ(Loaded(), notText);
}

}  // namespace
}  // namespace vexalo
