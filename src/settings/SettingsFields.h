#pragma once

#include <string>

namespace vexalo {

// The settings have no object of their own: their only live copy is
// what the settings dialog's controls hold. Every reader asks at the moment it
// needs a value, so a change typed into the dialog applies at once. The dialog
// implements this; the headless runner and the tests use PlainSettingsFields.
// All texts are CP932 bytes.
class SettingsFields {
 public:
  virtual ~SettingsFields() = default;

  virtual std::string HostText() const = 0;         // HostEdit
  virtual std::string PortText() const = 0;         // PortEdit
  virtual std::string UserNameText() const = 0;     // UserNameEdit
  virtual std::string PassWordText() const = 0;     // PassWordEdit
  virtual bool DeleteAfterReading() const = 0;      // DelMailChk
  virtual bool ColumnsByName() const = 0;           // ByNameChk: items by name, not body order
  virtual bool CsvGuard() const = 0;                // CsvGuardChk: saved formulas made inert
  virtual std::string HeaderTokenText() const = 0;  // HeaderTokenEdit
  virtual std::string SplitTokenText() const = 0;   // SplitTokenEdit
  virtual std::string IntervalText() const = 0;     // IntervalEdit
  // "0" plain, "1" TLS from the first byte, "2" STARTTLS (SecurityBox).
  virtual std::string SecurityText() const = 0;
  virtual std::string TlsFingerprintText() const = 0;  // the pinned certificate, no control
  virtual std::string TimeoutText() const = 0;         // seconds, no control
  // "0" password (also when absent), "1" OAuth 2.0 (AuthBox).
  virtual std::string AuthText() const = 0;
  // MICROSOFT (default), GOOGLE or CUSTOM (ProviderBox).
  virtual std::string OAuthProviderText() const = 0;
  virtual std::string OAuthClientIdText() const = 0;      // ClientIdEdit
  virtual std::string OAuthClientSecretText() const = 0;  // no control: Google's desktop clients
  virtual std::string OAuthTenantText() const = 0;        // TenantEdit
  // Overrides of the provider's addresses and scope, no control.
  virtual std::string OAuthAuthorizeUrlText() const = 0;
  virtual std::string OAuthDeviceUrlText() const = 0;
  virtual std::string OAuthTokenUrlText() const = 0;
  virtual std::string OAuthScopeText() const = 0;

  virtual void SetHostText(const std::string& text) = 0;
  virtual void SetPortText(const std::string& text) = 0;
  virtual void SetUserNameText(const std::string& text) = 0;
  virtual void SetPassWordText(const std::string& text) = 0;
  virtual void SetDeleteAfterReading(bool checked) = 0;
  virtual void SetColumnsByName(bool checked) = 0;
  virtual void SetCsvGuard(bool checked) = 0;
  virtual void SetHeaderTokenText(const std::string& text) = 0;
  virtual void SetSplitTokenText(const std::string& text) = 0;
  virtual void SetIntervalText(const std::string& text) = 0;
  virtual void SetSecurityText(const std::string& text) = 0;
  virtual void SetTlsFingerprintText(const std::string& text) = 0;
  virtual void SetTimeoutText(const std::string& text) = 0;
  virtual void SetAuthText(const std::string& text) = 0;
  virtual void SetOAuthProviderText(const std::string& text) = 0;
  virtual void SetOAuthClientIdText(const std::string& text) = 0;
  virtual void SetOAuthClientSecretText(const std::string& text) = 0;
  virtual void SetOAuthTenantText(const std::string& text) = 0;
  virtual void SetOAuthAuthorizeUrlText(const std::string& text) = 0;
  virtual void SetOAuthDeviceUrlText(const std::string& text) = 0;
  virtual void SetOAuthTokenUrlText(const std::string& text) = 0;
  virtual void SetOAuthScopeText(const std::string& text) = 0;
};

// The POP3 port the dialog starts with and an INI file without the key gives.
inline constexpr char kDefaultPort[] = "110";
// The usual port of POP3 over TLS from the first byte (POP3S).
inline constexpr char kDefaultTlsPort[] = "995";

// The fields without a dialog: initial values are the dialog's built-in texts
// (port "110", security "0", interval "0", time-out "60", password login,
// provider MICROSOFT with tenant "organizations", everything else empty, the
// check boxes clear but the formula guard's).
class PlainSettingsFields final : public SettingsFields {
 public:
  std::string host, port = kDefaultPort, userName, passWord;
  bool deleteAfterReading = false;
  bool columnsByName = false;
  bool csvGuard = true;
  std::string headerToken, splitToken, interval = "0";
  std::string security = "0", tlsFingerprint, timeout = "60";
  std::string auth = "0", oauthProvider = "MICROSOFT", oauthClientId, oauthClientSecret,
              oauthTenant = "organizations", oauthAuthorizeUrl, oauthDeviceUrl, oauthTokenUrl,
              oauthScope;

  std::string HostText() const override { return host; }
  std::string PortText() const override { return port; }
  std::string UserNameText() const override { return userName; }
  std::string PassWordText() const override { return passWord; }
  bool DeleteAfterReading() const override { return deleteAfterReading; }
  bool ColumnsByName() const override { return columnsByName; }
  bool CsvGuard() const override { return csvGuard; }
  std::string HeaderTokenText() const override { return headerToken; }
  std::string SplitTokenText() const override { return splitToken; }
  std::string IntervalText() const override { return interval; }
  std::string SecurityText() const override { return security; }
  std::string TlsFingerprintText() const override { return tlsFingerprint; }
  std::string TimeoutText() const override { return timeout; }
  std::string AuthText() const override { return auth; }
  std::string OAuthProviderText() const override { return oauthProvider; }
  std::string OAuthClientIdText() const override { return oauthClientId; }
  std::string OAuthClientSecretText() const override { return oauthClientSecret; }
  std::string OAuthTenantText() const override { return oauthTenant; }
  std::string OAuthAuthorizeUrlText() const override { return oauthAuthorizeUrl; }
  std::string OAuthDeviceUrlText() const override { return oauthDeviceUrl; }
  std::string OAuthTokenUrlText() const override { return oauthTokenUrl; }
  std::string OAuthScopeText() const override { return oauthScope; }

  void SetHostText(const std::string& text) override { host = text; }
  void SetPortText(const std::string& text) override { port = text; }
  void SetUserNameText(const std::string& text) override { userName = text; }
  void SetPassWordText(const std::string& text) override { passWord = text; }
  void SetDeleteAfterReading(bool checked) override { deleteAfterReading = checked; }
  void SetColumnsByName(bool checked) override { columnsByName = checked; }
  void SetCsvGuard(bool checked) override { csvGuard = checked; }
  void SetHeaderTokenText(const std::string& text) override { headerToken = text; }
  void SetSplitTokenText(const std::string& text) override { splitToken = text; }
  void SetIntervalText(const std::string& text) override { interval = text; }
  void SetSecurityText(const std::string& text) override { security = text; }
  void SetTlsFingerprintText(const std::string& text) override { tlsFingerprint = text; }
  void SetTimeoutText(const std::string& text) override { timeout = text; }
  void SetAuthText(const std::string& text) override { auth = text; }
  void SetOAuthProviderText(const std::string& text) override { oauthProvider = text; }
  void SetOAuthClientIdText(const std::string& text) override { oauthClientId = text; }
  void SetOAuthClientSecretText(const std::string& text) override { oauthClientSecret = text; }
  void SetOAuthTenantText(const std::string& text) override { oauthTenant = text; }
  void SetOAuthAuthorizeUrlText(const std::string& text) override { oauthAuthorizeUrl = text; }
  void SetOAuthDeviceUrlText(const std::string& text) override { oauthDeviceUrl = text; }
  void SetOAuthTokenUrlText(const std::string& text) override { oauthTokenUrl = text; }
  void SetOAuthScopeText(const std::string& text) override { oauthScope = text; }
};

}  // namespace vexalo
