#include "DovecotServer.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "DovecotConfigTemplate.h"
#include "LoopbackLineClient.h"
#include "ProcessList.h"

namespace vexalo {
namespace {

constexpr const char* kDovecotProgram = "/usr/sbin/dovecot";
constexpr const char* kServerAccountName = "vexalotest";
constexpr const char* kFolderPattern = "/tmp/vexalo-dovecot-XXXXXX";
// Unix socket paths are short (108 bytes) and Dovecot puts its sockets in
// base_dir, so the folder lives right in /tmp whatever TMPDIR says.
constexpr std::size_t kFolderPrefixLength = std::char_traits<char>::length("/tmp/vexalo-dovecot-");
constexpr int kStartAttempts = 10;
constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr auto kProbeTimeout = std::chrono::seconds(2);
constexpr auto kProbeInterval = std::chrono::milliseconds(20);
// Dovecot takes a second to shut down orderly, and there is nothing to wait
// for: what a session committed is on disk before its QUIT is answered.
constexpr auto kStopGrace = std::chrono::milliseconds::zero();
constexpr std::size_t kMaxUidlLength = 200;
// The pop3 process serves one logged-in session.
constexpr const char* kSessionProcessName = "pop3";

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

bool IsUidlByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("._-,=").find(c) != std::string_view::npos;
}

// The server's configuration takes a path as it is: no blanks, no '%'
// (Dovecot's variables) and nothing a config line could misread.
bool IsPlainPath(const std::string& path) {
  return !path.empty() && std::all_of(path.begin(), path.end(),
                                      [](char c) { return IsUidlByte(c) || c == '/' || c == '+'; });
}

// A maildir file in cur/ is named "<unique>:2,<flags>"; the unique part is
// the id.
std::string UidlOfFile(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  return name.substr(0, name.find(':'));
}

}  // namespace

// The fresh folder that holds the server's configuration, state and log,
// removed with everything in it when the server is gone.
class DovecotServer::Workspace {
 public:
  Workspace() {
    std::string pattern = kFolderPattern;
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    root_ = pattern;
    token_ = pattern.substr(kFolderPrefixLength);
    // The server's own account must reach the files inside.
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all |
                                            std::filesystem::perms::group_exec |
                                            std::filesystem::perms::others_exec);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  ~Workspace() {
    std::error_code error;
    std::filesystem::remove_all(root_, error);
    if (error) std::cerr << "cannot remove " << root_ << ": " << error.message() << '\n';
  }

  const std::filesystem::path& Root() const { return root_; }
  // Unique among the servers running now; tells this server's greeting apart.
  const std::string& Token() const { return token_; }

 private:
  std::filesystem::path root_;
  std::string token_;
};

DovecotServer::DovecotServer() : DovecotServer(std::filesystem::path()) {}

DovecotServer::DovecotServer(OAuthIntrospection introspection)
    : DovecotServer(std::filesystem::path(), TestCertificates::kLoopbackNames,
                    std::move(introspection)) {}

DovecotServer::DovecotServer(const std::filesystem::path& maildir,
                             std::string_view certificateNames, OAuthIntrospection introspection)
    : introspection_(std::move(introspection)),
      account_(::geteuid() == 0 ? EnsureSystemAccount(kServerAccountName) : CurrentAccount()),
      workspace_(std::make_unique<Workspace>()),
      maildir_(maildir.empty() ? workspace_->Root() / "Maildir"
                               : std::filesystem::absolute(maildir).lexically_normal()) {
  if (!IsPlainPath(maildir_.string())) {
    throw std::invalid_argument("maildir path must be plain (letters, digits, / . _ - , = +): " +
                                maildir_.string());
  }
  if (::access(kDovecotProgram, X_OK) != 0) {
    throw std::runtime_error(std::string(kDovecotProgram) +
                             " is missing (Debian package dovecot-pop3d)");
  }
  const auto& root = workspace_->Root();
  std::filesystem::create_directories(root / "state");
  std::filesystem::create_directories(root / "home");
  GiveToServer(root / "home");
  for (const char* sub : {"new", "cur", "tmp"}) {
    std::filesystem::create_directories(maildir_ / sub);
  }
  // The server renames and deletes the messages as its own account.
  GiveToServer(maildir_);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(maildir_)) {
    GiveToServer(entry.path());
  }
  certificates_ = MakeTestCertificates(root, certificateNames);
  WriteWholeFile(root / "passwd", User() + ":" + Password() + "::::::\n");
  GiveToServer(root / "passwd");
  if (!introspection_.url.empty()) {
    WriteWholeFile(root / "oauth2.conf",
                   "introspection_mode = post\n"
                   "introspection_url = " +
                       introspection_.url +
                       "\n"
                       "username_attribute = username\n"
                       "active_attribute = active\n"
                       "active_value = true\n"
                       "force_introspection = yes\n");
    GiveToServer(root / "oauth2.conf");
  }
  Start();
}

DovecotServer::~DovecotServer() { server_->Stop(kStopGrace); }

void DovecotServer::Start() {
  const auto output = workspace_->Root() / "dovecot.out";
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    const std::uint16_t port = PickFreeLoopbackPort();
    std::uint16_t tlsPort = PickFreeLoopbackPort();
    while (tlsPort == port) tlsPort = PickFreeLoopbackPort();
    WriteConfig(port, tlsPort);
    auto server = std::make_unique<ChildProcess>(
        std::vector<std::string>{kDovecotProgram, "-F", "-c",
                                 (workspace_->Root() / "dovecot.conf").string()},
        output);
    if (WaitUntilServing(*server, port)) {
      port_ = port;
      tlsPort_ = tlsPort;
      server_ = std::move(server);
      return;
    }
    server->Stop(kStopGrace);
    // Another process took the port between our probe and the server's bind.
    if (ReadWholeFile(output).find("Address already in use") == std::string::npos) {
      throw std::runtime_error("Dovecot did not start:\n" + LogText());
    }
  }
  throw std::runtime_error("Dovecot found no free port in " + std::to_string(kStartAttempts) +
                           " attempts:\n" + LogText());
}

void DovecotServer::WriteConfig(std::uint16_t port, std::uint16_t tlsPort) const {
  std::string config(kDovecotConfigTemplate);
  ReplaceAll(config, "{{ROOT}}", workspace_->Root().string());
  ReplaceAll(config, "{{TOKEN}}", workspace_->Token());
  ReplaceAll(config, "{{USER}}", account_.user);
  ReplaceAll(config, "{{GROUP}}", account_.group);
  ReplaceAll(config, "{{MAILDIR}}", maildir_.string());
  ReplaceAll(config, "{{PORT}}", std::to_string(port));
  ReplaceAll(config, "{{TLS_PORT}}", std::to_string(tlsPort));
  const bool oauth = !introspection_.url.empty();
  ReplaceAll(config, "{{OAUTH_MECHANISMS}}", oauth ? " xoauth2 oauthbearer" : "");
  ReplaceAll(config, "{{OAUTH_PASSDB}}",
             oauth ? "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " +
                         (workspace_->Root() / "oauth2.conf").string() + "\n}\n"
                   : "");
  WriteWholeFile(workspace_->Root() / "dovecot.conf", config);
}

bool DovecotServer::WaitUntilServing(ChildProcess& server, std::uint16_t port) const {
  const std::string ownGreeting = "+OK Vexalo test server " + workspace_->Token() + " ready.";
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!server.Running()) return false;
    try {
      LoopbackLineClient probe(port, kProbeTimeout);
      if (probe.ReadLine().starts_with(ownGreeting)) {
        probe.SendLine("QUIT");
        return true;
      }
    } catch (const std::runtime_error&) {
      // Not listening yet.
    }
    std::this_thread::sleep_for(kProbeInterval);
  }
  throw std::runtime_error("Dovecot did not answer within " + std::to_string(kStartLimit.count()) +
                           " s:\n" + LogText());
}

void DovecotServer::GiveToServer(const std::filesystem::path& path) const {
  if (::geteuid() != 0) return;
  if (::lchown(path.c_str(), account_.uid, account_.gid) != 0) {
    throw std::system_error(errno, std::generic_category(), "chown " + path.string());
  }
}

void DovecotServer::AddMessage(std::string_view uidl, std::string_view raw, Folder folder) {
  if (uidl.empty() || uidl.size() > kMaxUidlLength ||
      !std::all_of(uidl.begin(), uidl.end(), IsUidlByte)) {
    throw std::invalid_argument("bad message id: " + std::string(uidl));
  }
  if (!FindMessage(uidl).empty()) {
    throw std::invalid_argument("message id already in the mailbox: " + std::string(uidl));
  }
  // Written in tmp/ and renamed, as maildir wants, so no session ever sees
  // half a message.
  const auto draft = maildir_ / "tmp" / std::string(uidl);
  WriteWholeFile(draft, raw);
  GiveToServer(draft);
  const auto target = folder == Folder::kNew ? maildir_ / "new" / std::string(uidl)
                                             : maildir_ / "cur" / (std::string(uidl) + ":2,");
  std::filesystem::rename(draft, target);
}

std::filesystem::path DovecotServer::FindMessage(std::string_view uidl) const {
  for (const char* sub : {"new", "cur"}) {
    for (const auto& entry : std::filesystem::directory_iterator(maildir_ / sub)) {
      if (UidlOfFile(entry.path()) == uidl) return entry.path();
    }
  }
  return {};
}

std::vector<std::string> DovecotServer::MessagesOnServer() const {
  std::vector<std::string> uidls;
  for (const char* sub : {"new", "cur"}) {
    for (const auto& entry : std::filesystem::directory_iterator(maildir_ / sub)) {
      uidls.push_back(UidlOfFile(entry.path()));
    }
  }
  std::sort(uidls.begin(), uidls.end());
  return uidls;
}

void DovecotServer::MakeUnreadable(std::string_view uidl) {
  const auto file = FindMessage(uidl);
  if (file.empty()) throw std::invalid_argument("no such message: " + std::string(uidl));
  std::filesystem::permissions(file, std::filesystem::perms::none);
}

int DovecotServer::DropSessions() {
  int dropped = 0;
  for (const auto& process : ListProcesses()) {
    if (process.parent == server_->Pid() && process.name == kSessionProcessName &&
        !process.zombie && ::kill(process.pid, SIGKILL) == 0) {
      ++dropped;
    }
  }
  return dropped;
}

const std::filesystem::path& DovecotServer::WorkFolder() const { return workspace_->Root(); }

std::string DovecotServer::LogText() const {
  const auto& root = workspace_->Root();
  return ReadWholeFile(root / "dovecot.out") + ReadWholeFile(root / "dovecot.log");
}

}  // namespace vexalo
