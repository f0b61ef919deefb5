#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Sjis.h"
#include "TempFolder.h"
#include "platform/InOutError.h"
#include "run/UnpickedIds.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RunLock.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::Sjis;
using testing::TempFolder;
using testing::WriteBytes;

const std::string kNotFound = Sjis("ファイルが見つかりません");
const std::string kBadName = Sjis("不正なファイル名です");
const std::string kTooMany = Sjis("オープンしたファイルが多すぎます");
const std::string kDenied = Sjis("ファイルへのアクセスが拒否されました");
const std::string kDiskFull = Sjis("ディスクがいっぱいです");
const std::string kNotAFile = Sjis("通常のファイルではありません");

// Where the user can do something about the failure, the text names the file.
std::string Naming(const std::string& text, const std::string& path) {
  return text + " (" + path + ")";
}

TEST(InOutError, ErrnoValuesGiveTheirTexts) {
  struct Case {
    int errorCode;
    std::string text;
  };
  const Case cases[] = {
      {ENOENT, kNotFound},
      {ENAMETOOLONG, kBadName},
      {ENOTDIR, kBadName},
      {ELOOP, kBadName},
      {EINVAL, kBadName},
      {EMFILE, kTooMany},
      {ENFILE, kTooMany},
      {EACCES, kDenied},
      {EPERM, kDenied},
      {EROFS, kDenied},
      {EISDIR, kDenied},
      {ENOSPC, kDiskFull},
      {EDQUOT, kDiskFull},
      {ENXIO, kNotAFile},
      {EIO, Sjis("I/O エラー (5)")},
      {EFBIG, Sjis("I/O エラー (27)")},
  };
  for (const Case& c : cases) {
    const EInOutError error(c.errorCode);
    EXPECT_EQ(error.what(), c.text) << c.errorCode;
    EXPECT_EQ(error.ErrorCode(), c.errorCode);
  }
}

// The text of the EInOutError that `action` raises; a distinct marker when it
// raises nothing.
std::string RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInOutError& error) {
    return error.what();
  }
  return "(no error)";
}

constexpr char kNoPrivilegeDrop[] = "(cannot drop privileges)";
constexpr char kChildDied[] = "(the child ended without an answer)";

// What `work` returns, computed in a child process; kChildDied when the child
// is killed first (by an alarm it set, say).
std::string TextFromChild(const std::function<std::string()>& work) {
  int channel[2];
  if (::pipe(channel) != 0) return "(no pipe)";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    const std::string text = work();
    [[maybe_unused]] const ssize_t put = ::write(channel[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string text;
  char piece[256];
  for (ssize_t got; (got = ::read(channel[0], piece, sizeof piece)) > 0;) text.append(piece, got);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? text : kChildDied;
}

// RaisedText in a child process, after `prepare` (such as lowering a limit)
// ran there. Permission bits do not stop root, so a child of a test running as
// root first becomes the unprivileged user "nobody".
std::string RaisedTextInChild(const std::function<void()>& prepare,
                              const std::function<void()>& action) {
  return TextFromChild([&]() -> std::string {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      return kNoPrivilegeDrop;
    }
    prepare();
    return RaisedText(action);
  });
}

// RaisedText of an action that might never return (an open that waits for a
// FIFO's writer, a read of an endless device): kChildDied when it takes more
// than a few seconds.
std::string RaisedTextInTime(const std::function<void()>& action) {
  return TextFromChild([&] {
    ::alarm(5);
    return RaisedText(action);
  });
}

TEST(FileErrors, FolderWhereTheFileShouldBe) {
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  std::filesystem::create_directory(path);
  DataTable table;
  CellPoint cellPos;
  const std::string denied = Naming(kDenied, path);
  EXPECT_EQ(RaisedText([&] { LoadAllData(table, path, cellPos); }), denied);
  EXPECT_EQ(RaisedText([&] { LoadFirstRow(table, path); }), denied);
  EXPECT_EQ(RaisedText([&] { AppendLine(path, "s,id"); }), denied);
  EXPECT_EQ(RaisedText([&] { SaveFirstRow(table, path); }), denied);
  // Nothing was loaded: the next message still goes into row 1.
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(cellPos.Y, 1);
}

// A FIFO would hold the run (and its lock) in open() until someone writes to
// it, a link to /dev/zero would fill the memory: a data file must be a file.
TEST(FileErrors, DataFileThatIsNoFileIsNamedAndNeverWaitedFor) {
  TempFolder folder;
  const std::string fifo = folder.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string toZero = folder.Path("zero");
  std::filesystem::create_symlink("/dev/zero", toZero);
  for (const std::string& path : {fifo, toZero, std::string("/dev/null")}) {
    const std::string notAFile = Naming(kNotAFile, path);
    EXPECT_EQ(RaisedTextInTime([&] {
                DataTable table;
                CellPoint cellPos;
                LoadAllData(table, path, cellPos);
              }),
              notAFile);
    EXPECT_EQ(RaisedTextInTime([&] {
                DataTable table;
                CellPoint cellPos;
                LoadAppendedRows(table, path, 0, cellPos);
              }),
              notAFile);
    EXPECT_EQ(RaisedTextInTime([&] {
                DataTable table;
                LoadFirstRow(table, path);
              }),
              notAFile);
    EXPECT_EQ(RaisedTextInTime([&] { AppendLine(path, "s,id"); }), notAFile);
    EXPECT_EQ(RaisedTextInTime([&] {
                DataTable table;
                SaveFirstRow(table, path);
              }),
              notAFile);
    EXPECT_EQ(RaisedTextInTime([&] { SyncFile(path); }), notAFile);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));  // not replaced by a plain file
  // Unpicked.txt is a shortcut only: one that is no file costs header reads,
  // but never a wait.
  EXPECT_EQ(TextFromChild([&]() -> std::string {
              ::alarm(5);
              return LoadUnpickedIds(fifo, "X-VEXALO: default") ? "loaded" : "nothing";
            }),
            "nothing");
}

TEST(FileErrors, MissingFolderAndBadNames) {
  TempFolder folder;
  const DataTable table;
  const std::string inMissing = folder.Path("missing/AllData.csv");
  EXPECT_EQ(RaisedText([&] { AppendLine(inMissing, "s,id"); }), kNotFound);
  EXPECT_EQ(RaisedText([&] { SaveFirstRow(table, inMissing); }), kNotFound);
  WriteBytes(folder.Path("plain"), "x");
  EXPECT_EQ(RaisedText([&] { AppendLine(folder.Path("plain/AllData.csv"), "s,id"); }), kBadName);
  EXPECT_EQ(RaisedText([&] { AppendLine(folder.Path(std::string(300, 'n')), "s,id"); }), kBadName);
}

// A CSV file saved where the user chose may be a device; it is written like
// any file, and the device's refusal is named.
TEST(FileErrors, FullDisk) {
  const DataTable table;
  EXPECT_EQ(RaisedText([&] {
              SaveCells(table, {0, 2, {0}}, "/dev/full");
            }),
            Naming(kDiskFull, "/dev/full"));
}

TEST(FileErrors, TooManyOpenFiles) {
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  const auto useUpDescriptors = [&] {
    // Raise and catch the same error once while descriptors are plenty: under
    // the sanitizers, the first check of an object's type needs a pipe.
    RaisedText([&] { AppendLine(folder.Path("missing/AllData.csv"), "s,id"); });
    const rlimit limit{3, 3};  // stdin, stdout, stderr; the pipe's end lies above
    ::setrlimit(RLIMIT_NOFILE, &limit);
  };
  EXPECT_EQ(RaisedTextInChild(useUpDescriptors, [&] { AppendLine(path, "s,id"); }), kTooMany);
}

TEST(FileErrors, ReadOnlyFolderAndUnreadableFile) {
  TempFolder folder;
  std::filesystem::permissions(
      folder.Root(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                         std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                         std::filesystem::perms::others_exec);
  const std::string locked = folder.Path("locked");
  std::filesystem::create_directory(locked);
  WriteBytes(locked + "/FirstRow.csv", "a,b\r\n");
  ::chmod(locked.c_str(), 0555);
  const std::string unreadable = folder.Path(kAllDataFileName);
  WriteBytes(unreadable, "s,id\r\n");
  ::chmod(unreadable.c_str(), 0);

  const auto nothing = [] {};
  const std::string newFile = locked + "/" + kAllDataFileName;
  const std::string text = RaisedTextInChild(nothing, [&] { AppendLine(newFile, "s,id"); });
  if (text == kNoPrivilegeDrop) GTEST_SKIP() << "running as root without the right to drop it";
  EXPECT_EQ(text, Naming(kDenied, newFile));
  const std::string titles = locked + "/FirstRow.csv";
  EXPECT_EQ(RaisedTextInChild(nothing, [&] { AppendLine(titles, "x"); }), Naming(kDenied, titles));
  EXPECT_EQ(RaisedTextInChild(nothing,
                              [&] {
                                DataTable table;
                                SaveFirstRow(table, newFile);
                              }),
            Naming(kDenied, newFile));
  EXPECT_EQ(RaisedTextInChild(nothing,
                              [&] {
                                DataTable table;
                                CellPoint cellPos;
                                LoadAllData(table, unreadable, cellPos);
                              }),
            Naming(kDenied, unreadable));
  EXPECT_EQ(RaisedTextInChild(nothing, [&] { AppendLine(unreadable, "s,id"); }),
            Naming(kDenied, unreadable));
}

// A program folder the user may not write, holding data files he may: a run
// still locks the folder, titles are written in place, rows appended.
TEST(FileErrors, ReadOnlyFolderWithWritableDataFilesStillRuns) {
  TempFolder folder;
  std::filesystem::permissions(folder.Root(), std::filesystem::perms::owner_all |
                                                  std::filesystem::perms::others_read |
                                                  std::filesystem::perms::others_exec);
  const std::string locked = folder.Path("locked");
  std::filesystem::create_directory(locked);
  const std::string allData = locked + "/" + kAllDataFileName;
  const std::string titles = locked + "/" + kFirstRowFileName;
  WriteBytes(allData, "s,id-1\r\n");
  WriteBytes(titles, ",,old\r\n");
  ::chmod(allData.c_str(), 0666);
  ::chmod(titles.c_str(), 0666);
  ::chmod(locked.c_str(), 0555);

  const std::string text = RaisedTextInChild(
      [] {},
      [&] {
        RunLock first;
        RunLock second;
        const std::string lockPath = allData + kRunLockSuffix;
        if (!first.TryAcquire(lockPath, allData) || second.TryAcquire(lockPath, allData)) {
          throw EInOutError(EBUSY);  // the lock did not hold the folder
        }
        DataTable table;
        table.SetRow(0, {"", "", "new"});
        SaveFirstRow(table, titles);
        AppendLine(allData, "s,id-2");
      });
  if (text == kNoPrivilegeDrop) GTEST_SKIP() << "running as root without the right to drop it";
  EXPECT_EQ(text, "(no error)");
  EXPECT_EQ(ReadBytes(titles), ",,new\r\n");
  EXPECT_EQ(ReadBytes(allData), "s,id-1\r\ns,id-2\r\n");
}

}  // namespace
}  // namespace vexalo
