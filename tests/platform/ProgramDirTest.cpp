#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "TempFolder.h"
#include "platform/ProgramDir.h"

namespace vexalo {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(ProgramDir, IsTheFolderOfThisTestProgram) {
  EXPECT_EQ(ExecutableDir(), std::string(VEXALO_TEST_BINARY_DIR) + "/");
}

TEST(DataDir, PortableCopyOrTheUsersOwnFolder) {
  struct Case {
    const char* executableDir;
    bool settings;
    bool writable;
    const char* xdgDataHome;
    const char* expected;
  };
  const Case cases[] = {
      // A copy the user unpacked somewhere of their own.
      {"/home/ab/vexalo/", false, true, "/x", "/home/ab/vexalo/"},
      // A shared folder with its settings: used even where only reading works.
      {"/srv/orders/", true, false, "/x", "/srv/orders/"},
      {"/usr/local/bin/", true, true, "", "/usr/local/bin/"},
      // Installed: not writable, or writable only as root under /usr.
      {"/usr/bin/", false, false, "", "/home/ab/.local/share/vexalo/"},
      {"/usr/bin/", false, true, "", "/home/ab/.local/share/vexalo/"},
      {"/opt/vexalo/bin/", false, false, "/data/ab", "/data/ab/vexalo/"},
      {"/opt/vexalo/bin/", false, false, "/data/ab/", "/data/ab/vexalo/"},
      // A relative XDG_DATA_HOME is to be ignored.
      {"/usr/bin/", false, false, "data", "/home/ab/.local/share/vexalo/"},
  };
  for (const Case& c : cases) {
    const DataDirFacts facts{c.executableDir, c.settings, c.writable, c.xdgDataHome, "/home/ab"};
    EXPECT_EQ(ChooseDataDir(facts), c.expected)
        << c.executableDir << " settings " << c.settings << " writable " << c.writable
        << " XDG_DATA_HOME " << c.xdgDataHome;
  }
  EXPECT_THROW(ChooseDataDir({"/usr/bin/", false, false, "", ""}), std::runtime_error);
}

TEST(DataDir, WritableFolderBesideTheExecutableIsUsedAsItIs) {
  TempFolder exe;
  const std::string dir = exe.Root().string() + "/";
  chmod(dir.c_str(), 0755);
  EXPECT_EQ(FindDataDirBeside(dir), dir);
  MakeDataDir(dir);
  struct stat info {};
  ASSERT_EQ(stat(dir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u) << "an existing folder is left as it is";
}

// FindDataDirBeside and MakeDataDir for a program in `executableDir`, in a
// child that cannot write there (as root it becomes "nobody", for whom
// folder permissions hold), with XDG_DATA_HOME set. Gives the folder or the
// error text.
std::string DataDirOfUnprivilegedChild(const std::string& executableDir,
                                       const std::string& xdgDataHome) {
  int answer[2];
  if (pipe(answer) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(answer[0]);
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(2);
    }
    setenv("XDG_DATA_HOME", xdgDataHome.c_str(), 1);
    std::string text;
    try {
      text = FindDataDirBeside(executableDir);
      MakeDataDir(text);
    } catch (const std::exception& error) {
      text = std::string("error: ") + error.what();
    }
    const bool written =
        write(answer[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    _exit(written ? 0 : 3);
  }
  close(answer[1]);
  std::string text;
  char buffer[512];
  for (ssize_t got; (got = read(answer[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(answer[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return text;
}

TEST(DataDir, ReadOnlyFolderSendsTheFilesToAPrivateUserFolder) {
  TempFolder scratch;
  // The unprivileged child must reach everything below.
  chmod(scratch.Root().c_str(), 0755);
  const std::string installed = scratch.Path("bin") + "/";
  const std::string shared = scratch.Path("shared") + "/";
  const std::string xdg = scratch.Path("xdg");
  for (const std::string& dir : {installed, shared, xdg}) ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
  chmod(xdg.c_str(), 0777);
  WriteBytes(shared + "Vexalo.ini", "[POP3]\r\n");
  chmod(installed.c_str(), 0555);
  chmod(shared.c_str(), 0555);

  const std::string userDir = xdg + "/vexalo/";
  EXPECT_EQ(DataDirOfUnprivilegedChild(installed, xdg), userDir);
  struct stat info {};
  ASSERT_EQ(stat(userDir.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  // Missing parents are made private too.
  EXPECT_EQ(DataDirOfUnprivilegedChild(installed, xdg + "/deep/share"),
            xdg + "/deep/share/vexalo/");
  ASSERT_EQ(stat((xdg + "/deep").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);

  EXPECT_EQ(DataDirOfUnprivilegedChild(shared, xdg + "/unused"), shared);
  EXPECT_NE(stat((xdg + "/unused").c_str(), &info), 0) << "made for nothing";

  // A user folder that cannot be made is an error, not a silent fallback.
  chmod(xdg.c_str(), 0555);
  EXPECT_EQ(DataDirOfUnprivilegedChild(installed, xdg + "/blocked").rfind("error: ", 0), 0u);
  chmod(xdg.c_str(), 0777);
  chmod(installed.c_str(), 0755);
  chmod(shared.c_str(), 0755);
}

}  // namespace
}  // namespace vexalo
