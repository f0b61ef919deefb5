#pragma once

#include <string>
#include <string_view>

#include "settings/SettingsFields.h"
#include "settings/SettingsKeys.h"

namespace vexalo {

// The passphrase the stored password is encrypted under: the decimal text of
// a number built into the program. Files written under another number do not
// give the same password back.
std::string SettingsPassPhrase();

// Reads the settings from the INI file into `fields` (the keys of
// kSettingKeys, in their order). An absent file or key gives the value of the
// table; a present but empty key gives an empty field. A stored password that
// cannot be decrypted leaves the password field empty without a word. A bare
// `iniFileName` means the file of that name beside the executable. A file too
// large to be a settings file raises the error of ReadIniString (IniUnit.h)
// that names it, and no field is set.
void LoadSettings(SettingsFields& fields, std::string_view iniFileName = kSettingsFileName);

// Where SaveSettings puts the password: encrypted in the INI file's PASSWORD
// key, or somewhere the caller keeps it (the desktop keyring), which leaves
// that key empty so that no older copy stays behind in the file.
enum class IniPassword { kStored, kEmptied };

// Writes all settings from `fields`, changed or not, in the order of
// kSettingKeys; a new file thus holds "POP3" with HOST, PORT, USERNAME,
// SECURITY, TLS_FINGERPRINT, TIMEOUT, AUTH and the OAUTH_ keys, PASSWORD,
// then "MAIL" with DELETE,
// HEADER_TOKEN, SPLIT_TOKEN, INTERVAL, COLUMNS, CSV_GUARD.
// Keys and sections a user added stay. The password is stored encrypted, or
// empty when it is empty, cannot be encrypted or is kept elsewhere. Raises the "...
// に書き込めません" error of WriteIniString (IniUnit.h) at the first write that fails; the keys
// after it are then not written.
void SaveSettings(const SettingsFields& fields, std::string_view iniFileName = kSettingsFileName,
                  IniPassword password = IniPassword::kStored);

// Writes the password alone, stored as SaveSettings stores it; the other keys
// stay as they are. Raises as SaveSettings does.
void SavePassword(const std::string& password, std::string_view iniFileName = kSettingsFileName);

}  // namespace vexalo
