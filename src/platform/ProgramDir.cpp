#include "platform/ProgramDir.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace vexalo {
namespace {

constexpr char kManualFileName[] = "index.html";
// Where an installation keeps the manual, from the folder above its bin/.
constexpr char kInstalledManual[] = "share/vexalo/index.html";
constexpr char kUserFolderName[] = "vexalo/";
constexpr mode_t kUserFolderMode = 0700;

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

// The folder above `dir` (which ends in "/"), with a trailing "/".
std::string ParentDir(const std::string& dir) {
  const std::size_t end = dir.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  return dir.substr(0, dir.rfind('/', end) + 1);
}

std::string HomeDir() {
  if (const char* home = getenv("HOME"); home != nullptr && *home != '\0') return home;
  // Started without a HOME (some cron daemons, a bare systemd unit): the
  // account's own entry says where it is.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "";
}

}  // namespace

std::string ExecutableDir() {
  // readlink does not say whether it cut the path short, so the buffer grows
  // until the answer fits, up to a bound no real path reaches.
  constexpr std::size_t kLimit = 1 << 16;
  for (std::size_t size = 256; size <= kLimit; size *= 2) {
    std::string path(size, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) break;
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path.substr(0, path.rfind('/') + 1);
    }
  }
  throw std::runtime_error("The folder of the executable cannot be found");
}

std::string ChooseDataDir(const DataDirFacts& facts) {
  const bool systemFolder = facts.executableDir.starts_with("/usr/");
  if (facts.settingsBesideExecutable || (facts.executableDirWritable && !systemFolder)) {
    return facts.executableDir;
  }
  // Relative values are to be ignored, not taken against the current folder.
  if (facts.xdgDataHome.starts_with('/')) return WithSlash(facts.xdgDataHome) + kUserFolderName;
  if (!facts.home.starts_with('/')) {
    throw std::runtime_error("There is no home folder to keep the data files in");
  }
  return WithSlash(facts.home) + ".local/share/" + kUserFolderName;
}

std::string FindDataDirBeside(const std::string& executableDir) {
  DataDirFacts facts;
  facts.executableDir = executableDir;
  facts.settingsBesideExecutable = Exists(executableDir + std::string(kSettingsFileName));
  facts.executableDirWritable = access(executableDir.c_str(), W_OK) == 0;
  if (const char* xdg = getenv("XDG_DATA_HOME")) facts.xdgDataHome = xdg;
  facts.home = HomeDir();
  return ChooseDataDir(facts);
}

std::string FindDataDir() { return FindDataDirBeside(ExecutableDir()); }

void MakeDataDir(const std::string& dir) {
  // Each missing folder on the way is private too, as freedesktop.org asks
  // for the folders of user data.
  for (std::size_t slash = dir.find('/', 1); slash != std::string::npos;
       slash = dir.find('/', slash + 1)) {
    const std::string part = dir.substr(0, slash);
    if (mkdir(part.c_str(), kUserFolderMode) != 0 && errno != EEXIST) break;
  }
  if (!IsFolder(dir)) throw std::runtime_error("The data folder " + dir + " cannot be made");
}

std::string DataDir() {
  std::string dir = FindDataDir();
  MakeDataDir(dir);
  return dir;
}

std::string ManualFile() {
  const std::string executableDir = ExecutableDir();
  std::string beside = executableDir + kManualFileName;
  if (Exists(beside)) return beside;
  const std::string installed = ParentDir(executableDir) + kInstalledManual;
  return Exists(installed) ? installed : beside;
}

}  // namespace vexalo
