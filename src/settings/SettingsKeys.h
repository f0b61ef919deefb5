#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/ProgramDir.h"
#include "settings/SettingsFields.h"

namespace vexalo {

// Every setting of the INI file in one place: where it is stored, what it
// reads as when its key is absent, and which field holds it while the
// program runs. The order is the order of loading and saving; the password
// comes last so that a failure to decrypt or encrypt it can only touch it.
struct SettingKey {
  enum class Kind {
    kText,      // stored as typed
    kFlag,      // stored as "1" or "0"
    kPassword,  // stored encrypted, empty when the password is empty
  };
  std::string_view section;
  std::string_view key;
  Kind kind;
  std::string_view absentText;  // kText, kPassword: the value when the key is absent
  bool absentFlag;              // kFlag: the value when the key is absent
  std::string (SettingsFields::*text)() const;
  void (SettingsFields::*setText)(const std::string&);
  bool (SettingsFields::*flag)() const;
  void (SettingsFields::*setFlag)(bool);
};

inline constexpr std::array<SettingKey, 22> kSettingKeys = {{
    {"POP3", "HOST", SettingKey::Kind::kText, "", false, &SettingsFields::HostText,
     &SettingsFields::SetHostText, nullptr, nullptr},
    {"POP3", "PORT", SettingKey::Kind::kText, kDefaultPort, false, &SettingsFields::PortText,
     &SettingsFields::SetPortText, nullptr, nullptr},
    {"POP3", "USERNAME", SettingKey::Kind::kText, "", false, &SettingsFields::UserNameText,
     &SettingsFields::SetUserNameText, nullptr, nullptr},
    // Absent in files written before encryption existed: those stay plain.
    {"POP3", "SECURITY", SettingKey::Kind::kText, "0", false, &SettingsFields::SecurityText,
     &SettingsFields::SetSecurityText, nullptr, nullptr},
    {"POP3", "TLS_FINGERPRINT", SettingKey::Kind::kText, "", false,
     &SettingsFields::TlsFingerprintText, &SettingsFields::SetTlsFingerprintText, nullptr, nullptr},
    {"POP3", "TIMEOUT", SettingKey::Kind::kText, "60", false, &SettingsFields::TimeoutText,
     &SettingsFields::SetTimeoutText, nullptr, nullptr},
    // Absent in files written before OAuth 2.0: password login, as then.
    {"POP3", "AUTH", SettingKey::Kind::kText, "0", false, &SettingsFields::AuthText,
     &SettingsFields::SetAuthText, nullptr, nullptr},
    {"POP3", "OAUTH_PROVIDER", SettingKey::Kind::kText, "MICROSOFT", false,
     &SettingsFields::OAuthProviderText, &SettingsFields::SetOAuthProviderText, nullptr, nullptr},
    {"POP3", "OAUTH_CLIENT_ID", SettingKey::Kind::kText, "", false,
     &SettingsFields::OAuthClientIdText, &SettingsFields::SetOAuthClientIdText, nullptr, nullptr},
    {"POP3", "OAUTH_CLIENT_SECRET", SettingKey::Kind::kText, "", false,
     &SettingsFields::OAuthClientSecretText, &SettingsFields::SetOAuthClientSecretText, nullptr,
     nullptr},
    {"POP3", "OAUTH_TENANT", SettingKey::Kind::kText, "organizations", false,
     &SettingsFields::OAuthTenantText, &SettingsFields::SetOAuthTenantText, nullptr, nullptr},
    {"POP3", "OAUTH_AUTHORIZE_URL", SettingKey::Kind::kText, "", false,
     &SettingsFields::OAuthAuthorizeUrlText, &SettingsFields::SetOAuthAuthorizeUrlText, nullptr,
     nullptr},
    {"POP3", "OAUTH_DEVICE_URL", SettingKey::Kind::kText, "", false,
     &SettingsFields::OAuthDeviceUrlText, &SettingsFields::SetOAuthDeviceUrlText, nullptr, nullptr},
    {"POP3", "OAUTH_TOKEN_URL", SettingKey::Kind::kText, "", false,
     &SettingsFields::OAuthTokenUrlText, &SettingsFields::SetOAuthTokenUrlText, nullptr, nullptr},
    {"POP3", "OAUTH_SCOPE", SettingKey::Kind::kText, "", false, &SettingsFields::OAuthScopeText,
     &SettingsFields::SetOAuthScopeText, nullptr, nullptr},
    {"MAIL", "DELETE", SettingKey::Kind::kFlag, "", false, nullptr, nullptr,
     &SettingsFields::DeleteAfterReading, &SettingsFields::SetDeleteAfterReading},
    {"MAIL", "HEADER_TOKEN", SettingKey::Kind::kText, "X-VEXALO: default", false,
     &SettingsFields::HeaderTokenText, &SettingsFields::SetHeaderTokenText, nullptr, nullptr},
    {"MAIL", "SPLIT_TOKEN", SettingKey::Kind::kText, ":", false, &SettingsFields::SplitTokenText,
     &SettingsFields::SetSplitTokenText, nullptr, nullptr},
    {"MAIL", "INTERVAL", SettingKey::Kind::kText, "0", false, &SettingsFields::IntervalText,
     &SettingsFields::SetIntervalText, nullptr, nullptr},
    // Absent in files written before these existed: body order, as then.
    {"MAIL", "COLUMNS", SettingKey::Kind::kFlag, "", false, nullptr, nullptr,
     &SettingsFields::ColumnsByName, &SettingsFields::SetColumnsByName},
    {"MAIL", "CSV_GUARD", SettingKey::Kind::kFlag, "", true, nullptr, nullptr,
     &SettingsFields::CsvGuard, &SettingsFields::SetCsvGuard},
    {"POP3", "PASSWORD", SettingKey::Kind::kPassword, "", false, &SettingsFields::PassWordText,
     &SettingsFields::SetPassWordText, nullptr, nullptr},
}};

// Gives `to` every setting `from` holds.
inline void CopySettings(const SettingsFields& from, SettingsFields& to) {
  for (const SettingKey& setting : kSettingKeys) {
    if (setting.kind == SettingKey::Kind::kFlag) {
      (to.*setting.setFlag)((from.*setting.flag)());
    } else {
      (to.*setting.setText)((from.*setting.text)());
    }
  }
}

}  // namespace vexalo

namespace vexalo {

// The main window's place and its grid's column widths: a section of their
// own, apart from the eight settings, read at start-up and written at the end.
inline constexpr std::string_view kWindowSection = "WINDOW";
inline constexpr std::string_view kWindowLeftKey = "LEFT";
inline constexpr std::string_view kWindowTopKey = "TOP";
inline constexpr std::string_view kWindowWidthKey = "WIDTH";
inline constexpr std::string_view kWindowHeightKey = "HEIGHT";
inline constexpr std::string_view kColumnWidthsKey = "COLUMNS";  // widths joined by ","

}  // namespace vexalo
