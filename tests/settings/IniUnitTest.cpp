#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iterator>

#include "TempFolder.h"
#include "platform/ProgramDir.h"
#include "settings/IniUnit.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// "%s に書き込めません" for `path`.
std::string CannotWrite(const std::string& path) {
  return path + " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
}

std::string WriteError(const std::string& path, std::string_view value) {
  try {
    WriteIniString(path, "POP3", "HOST", value);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// "%s は大きすぎて設定ファイルとして読めません" for `path`.
std::string TooLarge(const std::string& path) {
  return path +
         " \x82\xcd\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xc4\x90\xdd\x92\xe8\x83\x74\x83\x40"
         "\x83\x43\x83\x8b\x82\xc6\x82\xb5\x82\xc4\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
}

std::string ReadError(const std::function<void()>& read) {
  try {
    read();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing raised)";
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(IniUnit, ReadsDefaultsEmptyValuesAndCutsLongOnes) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  EXPECT_EQ(ReadIniString(ini, "POP3", "PORT", "110"), "110");  // no file at all
  const std::string long3000(3000, 'v');
  WriteBytes(ini, "[POP3]\r\nPORT=\r\nHOST=" + long3000 + "\r\n");
  EXPECT_EQ(ReadIniString(ini, "POP3", "PORT", "110"), "");
  EXPECT_EQ(ReadIniString(ini, "POP3", "USERNAME", "none"), "none");
  EXPECT_EQ(ReadIniString(ini, "POP3", "HOST", ""), long3000.substr(0, 2047));
  EXPECT_EQ(ReadIniString(dir.Path("missing/Vexalo.ini"), "POP3", "PORT", "110"), "110");
  // A folder where the file should be reads as no file.
  EXPECT_EQ(ReadIniString(dir.Root().string(), "POP3", "PORT", "110"), "110");
}

TEST(IniUnit, ReadsBooleansAsIntegers) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  const struct {
    const char* stored;
    bool whenDefaultFalse, whenDefaultTrue;
  } cases[] = {
      {"1", true, true},           {"2", true, true},
      {"0x10", true, true},        {"0X0", false, false},
      {"$1", true, true},          {"x1F", true, true},
      {"-1", true, true},          {"+0", false, false},
      {"-0x1", true, true},        {"2147483647", true, true},
      {"-2147483648", true, true}, {"0xFFFFFFFF", true, true},
      {"0", false, false},         {"00", false, false},
      {"yes", false, true},        {"", false, true},
      {"0x", false, true},         {"$", false, true},
      {"1a", false, true},         {"0x1G", false, true},
      {"2147483648", false, true}, {"0x100000000", false, true},
      {"- 1", false, true},
  };
  std::string text = "[MAIL]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    text += "V" + std::to_string(i) + "=" + cases[i].stored + "\r\n";
  }
  WriteBytes(ini, text);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string key = "V" + std::to_string(i);
    EXPECT_EQ(ReadIniBool(ini, "MAIL", key, false), cases[i].whenDefaultFalse) << cases[i].stored;
    EXPECT_EQ(ReadIniBool(ini, "MAIL", key, true), cases[i].whenDefaultTrue) << cases[i].stored;
  }
  EXPECT_FALSE(ReadIniBool(ini, "MAIL", "DELETE", false));
  EXPECT_TRUE(ReadIniBool(ini, "MAIL", "DELETE", true));
}

TEST(IniUnit, NewFileIsPrivateAndAnExistingFileKeepsItsMode) {
  TempFolder dir;
  const std::string fresh = dir.Path("fresh.ini");
  const mode_t oldMask = umask(0);  // a lax umask must not widen the new file
  WriteIniString(fresh, "POP3", "HOST", "h");
  umask(oldMask);
  EXPECT_EQ(ModeOf(fresh), 0600u);

  const std::string shared = dir.Path("shared.ini");
  WriteBytes(shared, "[POP3]\r\nHOST=a\r\n");
  chmod(shared.c_str(), 0640);
  WriteIniBool(shared, "MAIL", "DELETE", true);
  EXPECT_EQ(ModeOf(shared), 0640u);
  EXPECT_EQ(ReadBytes(shared), "[POP3]\r\nHOST=a\r\n[MAIL]\r\nDELETE=1\r\n");
}

TEST(IniUnit, PasswordWriteTakesAWideOpenFileBackToTheOwner) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini, "[POP3]\r\nHOST=a\r\n");
  chmod(ini.c_str(), 0644);
  WriteIniString(ini, "POP3", "PORT", "110");
  EXPECT_EQ(ModeOf(ini), 0644u);  // nothing secret written yet
  WriteIniSecret(ini, "POP3", "PASSWORD", "c2VjcmV0");
  EXPECT_EQ(ModeOf(ini), 0600u);
  EXPECT_EQ(ReadIniString(ini, "POP3", "PASSWORD", ""), "c2VjcmV0");
}

// A settings file the user may write in a folder he may not: saved in place.
// Permission bits do not stop root, so as root the write runs in a child that
// has become "nobody".
TEST(IniUnit, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
  TempFolder dir;
  const std::string folder = dir.Path("locked");
  std::filesystem::create_directory(folder);
  chmod(dir.Root().c_str(), 0755);
  const std::string ini = folder + "/Vexalo.ini";
  WriteBytes(ini, "[POP3]\r\nHOST=a\r\n");
  chmod(ini.c_str(), 0666);
  chmod(folder.c_str(), 0555);
  const pid_t child = fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    _exit(WriteError(ini, "b") == "(nothing raised)" ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  chmod(folder.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root without the right to drop it";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(ini), "[POP3]\r\nHOST=b\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST(IniUnit, ReadsAndWritesAFileStartingWithAByteOrderMark) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini, "\xEF\xBB\xBF[POP3]\r\nHOST=pop.example\r\nPORT=995\r\n");
  EXPECT_EQ(ReadIniString(ini, "POP3", "HOST", "default"), "pop.example");
  EXPECT_EQ(ReadIniString(ini, "POP3", "PORT", "110"), "995");
  WriteIniString(ini, "POP3", "HOST", "other.example");
  EXPECT_EQ(ReadBytes(ini), "\xEF\xBB\xBF[POP3]\r\nHOST=other.example\r\nPORT=995\r\n");
}

TEST(IniUnit, KeepsTheLineEndsTheFileHas) {
  TempFolder dir;
  const std::string unixStyle = dir.Path("lf.ini");
  WriteBytes(unixStyle, "[POP3]\nHOST=a\n");
  WriteIniString(unixStyle, "POP3", "PORT", "995");
  EXPECT_EQ(ReadBytes(unixStyle), "[POP3]\nHOST=a\nPORT=995\n");
  EXPECT_EQ(ReadIniString(unixStyle, "POP3", "PORT", ""), "995");
}

TEST(IniUnit, WriteFollowsASymbolicLink) {
  TempFolder dir;
  const std::string target = dir.Path("real.ini"), link = dir.Path("Vexalo.ini");
  WriteBytes(target, "[POP3]\r\nHOST=a\r\n");
  std::filesystem::create_symlink(target, link);
  WriteIniString(link, "POP3", "HOST", "b");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), "[POP3]\r\nHOST=b\r\n");
}

TEST(IniUnit, WriteFailuresNameTheFullPathAndLeaveNothingBehind) {
  TempFolder dir;
  // A folder where the file should be, and a file where its folder should be:
  // both stop root as well.
  const std::string folderInTheWay = dir.Path("Vexalo.ini");
  std::filesystem::create_directory(folderInTheWay);
  EXPECT_EQ(WriteError(folderInTheWay, "x"), CannotWrite(folderInTheWay));

  const std::string fileAsFolder = dir.Path("plain");
  WriteBytes(fileAsFolder, "not a folder");
  EXPECT_EQ(WriteError(fileAsFolder + "/Vexalo.ini", "x"),
            CannotWrite(fileAsFolder + "/Vexalo.ini"));
  EXPECT_EQ(WriteError(dir.Path("no/such/Vexalo.ini"), "x"),
            CannotWrite(dir.Path("no/such/Vexalo.ini")));

  for (const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
    EXPECT_EQ(entry.path().filename().string().rfind("Vexalo.ini.", 0), std::string::npos)
        << "left behind: " << entry.path();
  }
}

TEST(IniUnit, OddFilesAreNeitherReadNorReplaced) {
  TempFolder dir;
  // Far too large for a settings file: not parsed, and not rewritten from a
  // part of it. Reading it as if it were empty would run with settings the
  // user never made (in the clear, without deleting, ...): it is an error
  // naming the file.
  const std::string huge = dir.Path("huge.ini");
  const std::string hugeText = "[POP3]\r\nHOST=a\r\n;" + std::string(1 << 20, 'x') + "\r\n";
  WriteBytes(huge, hugeText);
  const std::string tooLarge = TooLarge(huge);
  EXPECT_EQ(ReadError([&] { ReadIniString(huge, "POP3", "HOST", "default"); }), tooLarge);
  EXPECT_EQ(ReadError([&] { ReadIniBool(huge, "MAIL", "DELETE", false); }), tooLarge);
  EXPECT_EQ(WriteError(huge, "b"), CannotWrite(huge));
  EXPECT_EQ(ReadBytes(huge), hugeText);

  // A FIFO must not block the read, nor be replaced by a plain file.
  const std::string fifo = dir.Path("fifo.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadIniString(fifo, "POP3", "HOST", "default"), "default");
  EXPECT_EQ(WriteError(fifo, "b"), CannotWrite(fifo));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST(IniUnit, ReadOnlyFileIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini, "[POP3]\r\nHOST=a\r\n");
  chmod(ini.c_str(), 0444);
  EXPECT_EQ(WriteError(ini, "b"), CannotWrite(ini));
  EXPECT_EQ(ReadBytes(ini), "[POP3]\r\nHOST=a\r\n");

  // An unreadable file is not rewritten either: what it holds would be lost.
  chmod(ini.c_str(), 0200);
  EXPECT_EQ(WriteError(ini, "b"), CannotWrite(ini));
  chmod(ini.c_str(), 0600);
  EXPECT_EQ(ReadBytes(ini), "[POP3]\r\nHOST=a\r\n");
}

TEST(IniUnit, BareNamesLiveInTheDataFolder) {
  EXPECT_EQ(ResolveIniFileName("Vexalo.ini"), DataDir() + "Vexalo.ini");
  EXPECT_EQ(ResolveIniFileName("/etc/x.ini"), "/etc/x.ini");
  EXPECT_EQ(ResolveIniFileName("sub/x.ini"), "sub/x.ini");
}

}  // namespace
}  // namespace vexalo
