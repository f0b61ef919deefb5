#include "SystemAccount.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

extern char** environ;

namespace vexalo {
namespace {

constexpr const char* kLockFile = "/tmp/vexalo-test-account.lock";
constexpr const char* kUserAdd = "/usr/sbin/useradd";

std::optional<SystemAccount> FindAccount(const passwd* user) {
  if (user == nullptr) return std::nullopt;
  SystemAccount account;
  account.user = user->pw_name;
  account.uid = user->pw_uid;
  account.gid = user->pw_gid;
  const group* primary = ::getgrgid(user->pw_gid);
  if (primary == nullptr) return std::nullopt;
  account.group = primary->gr_name;
  return account;
}

// Runs useradd for `name` and returns its exit status, or -1 when it could
// not be run.
int AddSystemUser(const std::string& name) {
  const char* argv[] = {kUserAdd,     "--system",     "--user-group", "--no-create-home",
                        "--home-dir", "/nonexistent", "--shell",      "/usr/sbin/nologin",
                        name.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, kUserAdd, nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
      0) {
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FileLock {
 public:
  explicit FileLock(const char* path) : fd_(::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) throw std::runtime_error(std::string("cannot open lock file ") + path);
    while (::flock(fd_, LOCK_EX) < 0) {
      if (errno != EINTR) {
        ::close(fd_);
        throw std::runtime_error(std::string("cannot lock ") + path);
      }
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { ::close(fd_); }  // closing releases the lock

 private:
  int fd_;
};

}  // namespace

SystemAccount CurrentAccount() {
  auto account = FindAccount(::getpwuid(::geteuid()));
  if (!account) {
    throw std::runtime_error("the current user or its group has no name in the account database");
  }
  // Files are created with the effective group, which may differ from the
  // primary group of the user.
  account->gid = ::getegid();
  const group* effective = ::getgrgid(account->gid);
  if (effective == nullptr) throw std::runtime_error("the current group has no name");
  account->group = effective->gr_name;
  return *account;
}

SystemAccount EnsureSystemAccount(const std::string& name) {
  if (auto existing = FindAccount(::getpwnam(name.c_str()))) return *existing;
  if (::geteuid() != 0) throw std::runtime_error("only root can create the account " + name);

  const FileLock lock(kLockFile);
  if (auto madeMeanwhile = FindAccount(::getpwnam(name.c_str()))) return *madeMeanwhile;
  const int status = AddSystemUser(name);
  // The account database has the last word: useradd also fails when a
  // process that does not take our lock made the account meanwhile.
  if (auto created = FindAccount(::getpwnam(name.c_str()))) return *created;
  throw std::runtime_error("useradd " + name + " failed with status " + std::to_string(status) +
                           " (package passwd)");
}

}  // namespace vexalo
