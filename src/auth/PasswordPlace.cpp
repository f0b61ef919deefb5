#include "auth/PasswordPlace.h"

#include <exception>
#include <optional>

#include "auth/SecretStore.h"
#include "cipher/SecureWipe.h"
#include "jconv/Cp932Codec.h"
#include "platform/ProgramDir.h"
#include "settings/SettingsStore.h"

namespace vexalo {
namespace {

std::string IniFileOf(const std::string& dataDir) {
  return dataDir + std::string(kSettingsFileName);
}

void Wipe(std::string& text) { SecureWipe(text.data(), text.size()); }

// False when the keyring refuses: a locked one whose unlock prompt was
// dismissed.
bool Replaced(SecretStore& keyring, const std::string& text) {
  try {
    if (text.empty()) {
      keyring.Erase();
    } else {
      keyring.Save(text);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// True when the keyring now holds `password` (CP932), so the file need not.
// The keyring keeps text, UTF-8: a password that would not come back from
// it byte for byte stays in the file, as does one the keyring refuses.
bool KeptInKeyring(const std::string& password, const std::string& dataDir) {
  const auto keyring = MakeKeyringSecretStore(dataDir, SecretKind::kPassword);
  if (!keyring) return false;
  std::string text = Cp932ToUtf8(password);
  std::string back = Utf8ToCp932(text);
  const bool kept = back == password && Replaced(*keyring, text);
  Wipe(back);
  Wipe(text);
  return kept;
}

}  // namespace

void LoadSettingsAndPassword(SettingsFields& fields, const std::string& dataDir) {
  LoadSettings(fields, IniFileOf(dataDir));
  if (!fields.PassWordText().empty()) return;
  const auto keyring = MakeKeyringSecretStore(dataDir, SecretKind::kPassword);
  if (!keyring) return;
  std::optional<std::string> stored = keyring->Load();
  if (!stored) return;
  std::string password = Utf8ToCp932(*stored);
  fields.SetPassWordText(password);
  Wipe(password);
  Wipe(*stored);
}

void SaveSettingsAndPassword(const SettingsFields& fields, const std::string& dataDir) {
  std::string password = fields.PassWordText();
  const bool inKeyring = KeptInKeyring(password, dataDir);
  Wipe(password);
  SaveSettings(fields, IniFileOf(dataDir),
               inKeyring ? IniPassword::kEmptied : IniPassword::kStored);
}

void SavePasswordAlone(const std::string& password, const std::string& dataDir) {
  SavePassword(KeptInKeyring(password, dataDir) ? std::string() : password, IniFileOf(dataDir));
}

}  // namespace vexalo
