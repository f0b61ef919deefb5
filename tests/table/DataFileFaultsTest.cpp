// The data files when the disk, the system or another program gets in the
// way: a row goes in whole or not at all, an end-of-file mark hides nothing,
// and the titles are replaced in one step.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "FileSizeLimit.h"
#include "Sjis.h"
#include "TempFolder.h"
#include "platform/InOutError.h"
#include "table/AllDataAppender.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace vexalo {
namespace {

using testing::FileSizeLimit;
using testing::ReadBytes;
using testing::Sjis;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

constexpr char kTwoRows[] = "s,id-1,a\r\ns,id-2,b\r\n";

// The ids in column 1 of the loaded rows, in order.
std::vector<std::string> LoadedIds(const std::string& path) {
  DataTable table;
  CellPoint cellPos;
  LoadAllData(table, path, cellPos);
  std::vector<std::string> ids;
  for (int row = 1; row < cellPos.Y; ++row) ids.emplace_back(table.Cell(1, row));
  return ids;
}

TEST(AppendLineFaults, FileSizeLimitLeavesNoCutRow) {
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  WriteBytes(path, kTwoRows);
  {
    const FileSizeLimit limit(sizeof kTwoRows + 8);  // room for part of the row
    try {
      AppendLine(path, "s,id-3," + std::string(100, 'x'));
      ADD_FAILURE() << "the append past the limit succeeded";
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.ErrorCode(), EFBIG);
    }
  }
  EXPECT_EQ(ReadBytes(path), kTwoRows);
  AppendLine(path, "s,id-3,c");
  EXPECT_EQ(LoadedIds(path), (std::vector<std::string>{"id-1", "id-2", "id-3"}));
}

// A real full disk: a 64 KB tmpfs, when this test may mount one.
TEST(AppendLineFaults, FullDiskLeavesNoCutRowAndNamesTheFile) {
  TempFolder folder;
  const std::string disk = folder.Path("disk");
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  const std::string path = disk + "/" + kAllDataFileName;
  std::string fill;
  for (int i = 0; i < 10; ++i)
    fill += "s,id-" + std::to_string(i) + "," + std::string(4000, 'v') + "\r\n";
  WriteBytes(path, fill);
  std::string text;
  const std::string wide = "s,id-new," + std::string(200 * 1024, 'w');
  try {
    AppendLine(path, wide);
  } catch (const EInOutError& error) {
    text = error.what();
  }
  const std::string content = ReadBytes(path);
  ::umount(disk.c_str());
  EXPECT_EQ(text, Sjis("ディスクがいっぱいです") + " (" + path + ")");
  EXPECT_EQ(content, fill);
}

TEST(AppendLineFaults, EndOfFileMarkHidesNoRowAndGoesBeforeTheNextRow) {
  struct Case {
    const char* what;
    std::string before;
    std::string after;  // the file after appending "s,id-3,c"
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"mark after the last line end",
       std::string(kTwoRows) + "\x1a",
       std::string(kTwoRows) + "s,id-3,c\r\n",
       {"id-1", "id-2", "id-3"}},
      {"mark right after the last row",
       "s,id-1,a\r\ns,id-2,b\x1a",
       std::string(kTwoRows) + "s,id-3,c\r\n",
       {"id-1", "id-2", "id-3"}},
      // Written by an older version: rows after a mark in the middle.
      {"mark in the middle",
       "s,id-1,a\r\n\x1as,id-2,b\r\n",
       "s,id-1,a\r\n\x1as,id-2,b\r\ns,id-3,c\r\n",
       {"id-1", "id-2", "id-3"}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string path = folder.Path(kAllDataFileName);
    WriteBytes(path, c.before);
    const long long end = AppendLine(path, "s,id-3,c");
    EXPECT_EQ(ReadBytes(path), c.after) << c.what;
    EXPECT_EQ(end, static_cast<long long>(c.after.size())) << c.what;
    EXPECT_EQ(LoadedIds(path), c.ids) << c.what;
  }
}

// A run keeps AllData.csv open between rows; whatever happens to the file
// at its path between two rows, the second goes where a fresh open would
// have put it, as a line of its own, and the size-limit fault still leaves
// no cut row behind.
TEST(AllDataAppender, EachRowGoesToTheFileAtThePath) {
  struct Case {
    const char* what;
    void (*meanwhile)(const std::string& path);
    std::string after;  // the file at the path after the second row
  };
  const Case cases[] = {
      {"nothing", [](const std::string&) {}, "s,id-1\r\ns,id-2\r\n"},
      {"replaced by another file",
       [](const std::string& path) {
         WriteBytes(path + ".new", "s,id-0\r\n");
         fs::rename(path + ".new", path);
       },
       "s,id-0\r\ns,id-2\r\n"},
      {"removed", [](const std::string& path) { fs::remove(path); }, "s,id-2\r\n"},
      {"a line added by hand without its end",
       [](const std::string& path) { WriteBytes(path, ReadBytes(path) + "s,id-x"); },
       "s,id-1\r\ns,id-x\r\ns,id-2\r\n"},
      {"an end-of-file mark added",
       [](const std::string& path) { WriteBytes(path, ReadBytes(path) + "\x1a"); },
       "s,id-1\r\ns,id-2\r\n"},
      {"cut into the row", [](const std::string& path) { fs::resize_file(path, 3); },
       "s,i\r\ns,id-2\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string path = folder.Path(kAllDataFileName);
    AllDataAppender appender(path);
    appender.Append("s,id-1");
    c.meanwhile(path);
    const long long end = appender.Append("s,id-2");
    appender.Close();
    EXPECT_EQ(ReadBytes(path), c.after) << c.what;
    EXPECT_EQ(end, static_cast<long long>(c.after.size())) << c.what;
  }

  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  AllDataAppender appender(path);
  appender.Append("s,id-1,a");
  appender.Append("s,id-2,b");
  {
    const FileSizeLimit limit(sizeof kTwoRows + 8);
    EXPECT_THROW(appender.Append("s,id-3," + std::string(100, 'x')), EInOutError);
  }
  appender.Append("s,id-3,c");
  appender.Close();
  EXPECT_EQ(LoadedIds(path), (std::vector<std::string>{"id-1", "id-2", "id-3"}));
}

TEST(LoadAppendedRows, TakesOnlyWhatAnotherProgramAppended) {
  struct Case {
    const char* what;
    std::string loaded;    // what the table was loaded from
    std::string appended;  // what another program added to the file then
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"rows after a line end",
       kTwoRows,
       "s,id-3,c\r\ns,id-4,d\r\n",
       {"id-1", "id-2", "id-3", "id-4"}},
      {"nothing appended", kTwoRows, "", {"id-1", "id-2"}},
      {"the line end another append put after an open last line",
       "s,id-1,a\r\ns,id-2,b",
       "\r\ns,id-3,c\r\n",
       {"id-1", "id-2", "id-3"}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string path = folder.Path(kAllDataFileName);
    WriteBytes(path, c.loaded);
    DataTable table;
    CellPoint cellPos;
    const long long held = LoadAllData(table, path, cellPos);
    EXPECT_EQ(held, static_cast<long long>(c.loaded.size())) << c.what;
    WriteBytes(path, c.loaded + c.appended);
    EXPECT_EQ(LoadAppendedRows(table, path, held, cellPos),
              static_cast<long long>(c.loaded.size() + c.appended.size()))
        << c.what;
    std::vector<std::string> ids;
    for (int row = 1; row < cellPos.Y; ++row) ids.emplace_back(table.Cell(1, row));
    EXPECT_EQ(ids, c.ids) << c.what;
    EXPECT_EQ(table.RowCount(), cellPos.Y) << c.what;
  }
}

TEST(SaveFirstRowFaults, ReplacedWholeAndCleanOfLineBreakers) {
  TempFolder folder;
  const std::string path = folder.Path(kFirstRowFileName);
  WriteBytes(path, ",,old\r\n");
  DataTable table;
  table.SetRow(0, {"", "", "na\rme", "li\nne", "e\x1aof"});
  table.SetColCount(5);
  SaveFirstRow(table, path);
  EXPECT_EQ(ReadBytes(path), ",,na me,li ne,e of\r\n");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.Root()), {}),
            std::vector<fs::path>{path});  // no temporary file stays behind
}

// Every run saves the titles at its end; the same titles again leave the file
// as it is (no new file renamed over it), a single byte of difference does not.
TEST(SaveFirstRowFaults, SameTitlesLeaveTheFileAlone) {
  TempFolder folder;
  const std::string path = folder.Path(kFirstRowFileName);
  DataTable table;
  table.SetRow(0, {"", "", "name", "qty"});
  table.SetColCount(4);
  for (const std::string before : {",,name,qty\r\n", ",,name,qty\r\n\x1a", ",,name,qty"}) {
    WriteBytes(path, before);
    const auto inode = [&] {
      struct stat info {};
      ::stat(path.c_str(), &info);
      return info.st_ino;
    };
    const auto old = inode();
    SaveFirstRow(table, path);
    EXPECT_EQ(ReadBytes(path), ",,name,qty\r\n") << ::testing::PrintToString(before);
    EXPECT_EQ(inode() == old, before == ",,name,qty\r\n") << ::testing::PrintToString(before);
  }
}

// Renaming over the name would put a plain file where the user's link, or a
// device such as /dev/full, stood.
TEST(SaveFirstRowFaults, LinkIsWrittenThroughNotReplaced) {
  TempFolder folder;
  const std::string target = folder.Path("titles-kept-elsewhere.csv");
  const std::string link = folder.Path(kFirstRowFileName);
  WriteBytes(target, ",,old\r\n");
  fs::create_symlink(target, link);
  DataTable table;
  table.SetRow(0, {"", "", "new"});
  SaveFirstRow(table, link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), ",,new\r\n");
}

TEST(SaveFirstRowFaults, FailedWriteKeepsTheOldTitles) {
  TempFolder folder;
  const std::string path = folder.Path(kFirstRowFileName);
  WriteBytes(path, ",,old\r\n");
  DataTable table;
  table.SetRow(0, {"", "", "a title longer than the file-size limit"});
  {
    // The new titles cannot be written whole; the signal the system sends
    // for that would end the test program.
    const FileSizeLimit limit(8);
    const auto before = std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_THROW(SaveFirstRow(table, path), EInOutError);
    std::signal(SIGXFSZ, before);
  }
  EXPECT_EQ(ReadBytes(path), ",,old\r\n");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.Root()), {}),
            std::vector<fs::path>{path});  // the temporary file is gone
}

}  // namespace
}  // namespace vexalo
