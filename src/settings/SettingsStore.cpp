#include "settings/SettingsStore.h"

#include <cstdint>

#include "cipher/StringCipher.h"
#include "settings/IniUnit.h"

namespace vexalo {
namespace {

constexpr std::int32_t kPassPhraseNumber = 1794302561;

void LoadPassword(const SettingKey& setting, SettingsFields& fields, std::string_view fileName) {
  std::string password;
  try {
    const std::string stored = ReadIniString(fileName, setting.section, setting.key, "");
    if (!stored.empty()) password = DecryptText(stored, SettingsPassPhrase());
  } catch (...) {
    // A password that cannot be read back is simply not there: the user
    // types it again, and the next save stores it afresh.
    password.clear();
  }
  (fields.*setting.setText)(password);
}

void SavePassword(const SettingKey& setting, const std::string& password,
                  std::string_view fileName) {
  try {
    const std::string stored = password.empty() ? "" : EncryptText(password, SettingsPassPhrase());
    WriteIniSecret(fileName, setting.section, setting.key, stored);
  } catch (...) {
    // An empty password is better than a stale one; if even this write
    // fails, the save fails.
    WriteIniSecret(fileName, setting.section, setting.key, "");
  }
}

}  // namespace

std::string SettingsPassPhrase() { return std::to_string(kPassPhraseNumber); }

void LoadSettings(SettingsFields& fields, std::string_view iniFileName) {
  for (const SettingKey& setting : kSettingKeys) {
    switch (setting.kind) {
      case SettingKey::Kind::kText:
        (fields.*setting.setText)(
            ReadIniString(iniFileName, setting.section, setting.key, setting.absentText));
        break;
      case SettingKey::Kind::kFlag:
        (fields.*setting.setFlag)(
            ReadIniBool(iniFileName, setting.section, setting.key, setting.absentFlag));
        break;
      case SettingKey::Kind::kPassword:
        LoadPassword(setting, fields, iniFileName);
        break;
    }
  }
}

void SaveSettings(const SettingsFields& fields, std::string_view iniFileName,
                  IniPassword password) {
  for (const SettingKey& setting : kSettingKeys) {
    switch (setting.kind) {
      case SettingKey::Kind::kText:
        WriteIniString(iniFileName, setting.section, setting.key, (fields.*setting.text)());
        break;
      case SettingKey::Kind::kFlag:
        WriteIniBool(iniFileName, setting.section, setting.key, (fields.*setting.flag)());
        break;
      case SettingKey::Kind::kPassword:
        SavePassword(setting,
                     password == IniPassword::kStored ? (fields.*setting.text)() : std::string(),
                     iniFileName);
        break;
    }
  }
}

void SavePassword(const std::string& password, std::string_view iniFileName) {
  for (const SettingKey& setting : kSettingKeys) {
    if (setting.kind == SettingKey::Kind::kPassword) SavePassword(setting, password, iniFileName);
  }
}

}  // namespace vexalo
