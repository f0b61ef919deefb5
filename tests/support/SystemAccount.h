#pragma once

#include <sys/types.h>

#include <string>

namespace vexalo {

// A user and its primary group, by name and number.
struct SystemAccount {
  std::string user;
  std::string group;
  uid_t uid = 0;
  gid_t gid = 0;
};

// The account this process runs as (its effective ids). Throws
// std::runtime_error when the user or group has no name, since servers are
// configured by name.
SystemAccount CurrentAccount();

// The unprivileged system account `name`, created (with a group of the same
// name, no home and no login shell) when it does not exist yet. Only root can
// create it. Safe when several processes ask at once: creation is serialised
// with a lock file and an account made meanwhile by someone else is taken as
// it is. Throws std::runtime_error when the account cannot be made.
SystemAccount EnsureSystemAccount(const std::string& name);

}  // namespace vexalo
