#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ChildProcess.h"
#include "SystemAccount.h"
#include "TestCertificates.h"

namespace vexalo {

// A private POP3 server (Dovecot) for integration tests and benchmarks,
// listening on 127.0.0.1 only, on a free port, with its whole configuration,
// state and log in a fresh folder under /tmp. One mailbox, one user; login
// with USER/PASS or APOP (the greeting carries the APOP timestamp). The
// message's maildir file name is its unique id (UIDL), so tests choose ids,
// and the server numbers the messages it first sees at a login in the order
// of their ids (messages added later come after them).
//
// Two listeners: Port() speaks POP3 in the clear and offers STLS, TlsPort()
// speaks TLS from the first byte (POP3S). Both present a server certificate
// signed by a test authority of the server's own (CaFile()).
//
// When run as root the server's processes run as the unprivileged system
// account "vexalotest", created on first use; otherwise as the caller.
//
// The constructor returns once the server answers with its own greeting; the
// destructor stops it and everything it started and removes its folder. If
// the test process dies instead, the kernel stops the server (see
// ChildProcess); only the folder is then left behind. Create and destroy it on
// one thread that lives as long as it does.
class DovecotServer {
 public:
  enum class Folder { kNew, kCur };

  // The one account of the mailbox, the same on every server.
  static constexpr std::string_view kUser = "vexalo";
  static constexpr std::string_view kPassword = "kamome-2024";

  // Where the server asks whether a bearer token is good (RFC 7662, POSTed
  // as "token=..."), for the XOAUTH2 and OAUTHBEARER logins of the OAuth
  // variant; the answer must be active with the username kUser.
  struct OAuthIntrospection {
    std::string url;
  };

  // Starts a server on an empty maildir of its own. Throws
  // std::runtime_error, with the server's log, when it does not come up.
  DovecotServer();
  // The same, with XOAUTH2 and OAUTHBEARER offered besides PLAIN and APOP,
  // tokens checked through Dovecot's oauth2 passdb at `introspection`.
  explicit DovecotServer(OAuthIntrospection introspection);

  // Starts a server on an existing maildir, served in place and left in place
  // on stop (the server adds its index files to it). As root its ownership is
  // handed to the server's account, and it must lie where that account can
  // reach it (e.g. under /tmp). An empty path means a maildir of its own.
  // For benchmarks on generated mailboxes.
  //
  // `certificateNames` is the subjectAltName of the server certificate.
  explicit DovecotServer(const std::filesystem::path& maildir,
                         std::string_view certificateNames = TestCertificates::kLoopbackNames,
                         OAuthIntrospection introspection = {});

  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;
  ~DovecotServer();

  const std::string& Host() const { return host_; }
  std::uint16_t Port() const { return port_; }
  std::uint16_t TlsPort() const { return tlsPort_; }
  const std::filesystem::path& CaFile() const { return certificates_.caFile; }
  // The SHA-256 fingerprint of the server certificate, "AB:CD:...".
  const std::string& ServerFingerprint() const { return certificates_.serverFingerprint; }
  std::string User() const { return std::string(kUser); }
  std::string Password() const { return std::string(kPassword); }
  const std::filesystem::path& Maildir() const { return maildir_; }
  // The server's main process, which leads the process group of all of it.
  pid_t ProcessId() const { return server_->Pid(); }
  // The folder with the configuration, state and log (removed on stop).
  const std::filesystem::path& WorkFolder() const;

  // Adds a message, the raw bytes as given (LF or CR LF line ends; the server
  // sends LF as CR LF), under the file name `uidl` in new/ or cur/. The file
  // appears whole or not at all, so it may be added while a session runs (a
  // session sees it from its next login). Throws std::invalid_argument when
  // `uidl` is empty, longer than 200 bytes, holds anything but letters,
  // digits and ". _ - , =" or is in the mailbox already.
  void AddMessage(std::string_view uidl, std::string_view raw, Folder folder = Folder::kNew);

  // The unique ids of the messages in the mailbox now, sorted. A message
  // deleted in a session is gone only after that session's QUIT.
  std::vector<std::string> MessagesOnServer() const;

  // Takes the server's read permission on a message. Done before a login,
  // it makes the login fail ("-ERR [SYS/TEMP] ..."); after STAT, the server
  // answers RETR or TOP of it with "-ERR". Throws std::invalid_argument for
  // an unknown id.
  void MakeUnreadable(std::string_view uidl);

  // Kills every logged-in session now: each connection is closed by the
  // server without another byte (what it had already sent still arrives).
  // Returns how many sessions were ended.
  int DropSessions();

  // The server's log so far, for failure messages.
  std::string LogText() const;

 private:
  class Workspace;

  void Start();
  void WriteConfig(std::uint16_t port, std::uint16_t tlsPort) const;
  bool WaitUntilServing(ChildProcess& server, std::uint16_t port) const;
  std::filesystem::path FindMessage(std::string_view uidl) const;
  void GiveToServer(const std::filesystem::path& path) const;

  OAuthIntrospection introspection_;  // no url: password logins only
  SystemAccount account_;
  std::unique_ptr<Workspace> workspace_;
  std::filesystem::path maildir_;
  std::string host_ = "127.0.0.1";
  std::uint16_t port_ = 0;
  std::uint16_t tlsPort_ = 0;
  TestCertificates certificates_;
  std::unique_ptr<ChildProcess> server_;
};

}  // namespace vexalo
