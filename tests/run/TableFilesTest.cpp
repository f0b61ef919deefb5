#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "ParserUnderTest.h"
#include "TempFolder.h"
#include "platform/InOutError.h"
#include "run/TableFiles.h"
#include "table/DataTable.h"
#include "table/RowText.h"

namespace vexalo {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A picked message with these items.
ParsedMessage Items(std::vector<std::string> names, std::vector<std::string> values) {
  ParsedMessage message;
  message.picked = true;
  message.names = std::move(names);
  message.values = std::move(values);
  return message;
}

class TableFilesTest : public ::testing::Test {
 protected:
  TableFilesTest()
      : files(table, {folder.Path("AllData.csv"), folder.Path("FirstRow.csv"),
                      folder.Path("Unpicked.txt")}) {}

  void Load() {
    files.Load([](const std::exception& error) { ADD_FAILURE() << error.what(); });
  }

  TempFolder folder;
  DataTable table;
  TableFiles files;
};

// Rows wait for WriteRows to go into AllData.csv together, and count as
// taken only then; a write that fails takes none of them (the first row
// too, which the grid shows, empty, from the start), and the next row goes
// where the first of them went.
TEST_F(TableFilesTest, TakenRowsCountOnceTheirLinesAreWritten) {
  Load();
  // Another program has put a folder where the file goes: the write fails.
  fs::create_directory(folder.Path("AllData.csv"));
  files.TakeRow("s", "m0", Items({"a"}, {"1"}));
  files.TakeRow("s", "m1", Items({"a"}, {"2"}));
  EXPECT_FALSE(table.IsUidlTaken("m1"));
  EXPECT_THROW(files.WriteRows(), EInOutError);
  EXPECT_FALSE(table.IsUidlTaken("m0"));
  EXPECT_FALSE(table.IsUidlTaken("m1"));
  EXPECT_EQ(files.WorkingRow(), 1);

  fs::remove(folder.Path("AllData.csv"));
  files.TakeRow("s", "m2", Items({"a"}, {"3"}));
  files.TakeRow("s", "m3", Items({"a"}, {"4"}));
  files.WriteRows();
  EXPECT_TRUE(table.IsUidlTaken("m3"));
  EXPECT_EQ(table.Cell(DataTable::kIdColumn, 1), "m2");
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(ReadBytes(folder.Path("AllData.csv")), "s,m2,3\r\ns,m3,4\r\n");
}

// Items go by position: the n-th item under the n-th title, the titles
// replaced by the latest message's names; the grid row and the AllData.csv
// line come from the same items.
TEST_F(TableFilesTest, TakenRowsFillColumnsByPosition) {
  WriteBytes(folder.Path("FirstRow.csv"), "stamp,id,old title,kept\r\n");
  WriteBytes(folder.Path("AllData.csv"), "s0,id0,x,y\r\n");
  Load();
  ASSERT_EQ(files.WorkingRow(), 2);

  EXPECT_TRUE(files.TakeRow("2024/06/04 10:20:00", StoredId("id,1"),
                            Items({"a", "", "sig"}, {"1", "2", ""})));
  EXPECT_EQ(table.Cell(2, 0), "a");
  EXPECT_EQ(table.Cell(3, 0), "");
  EXPECT_EQ(table.Cell(4, 0), "sig");
  EXPECT_EQ(table.Cell(1, 2),
            "id\x81\x43"
            "1");  // a comma in the id would split the line
  EXPECT_EQ(table.Cell(3, 2), "2");
  EXPECT_EQ(files.WorkingRow(), 3);

  // The same titles again leave FirstRow.csv as it is; a narrower row keeps
  // the wider titles.
  EXPECT_FALSE(files.TakeRow("2024/06/04 10:20:01", "id2", Items({"a"}, {"3"})));
  EXPECT_EQ(table.ColCount(), 5);
  files.WriteRows();
  EXPECT_EQ(ReadBytes(folder.Path("AllData.csv")),
            "s0,id0,x,y\r\n"
            "2024/06/04 10:20:00,id\x81\x43"
            "1,1,2,\r\n"
            "2024/06/04 10:20:01,id2,3\r\n");

  DataTable reloaded;
  TableFiles again(reloaded, files.Paths());
  again.Load([](const std::exception& error) { ADD_FAILURE() << error.what(); });
  for (int col = 0; col < 5; ++col) {
    for (int row = 0; row < 4; ++row) {
      EXPECT_EQ(reloaded.Cell(col, row), table.Cell(col, row)) << col << "," << row;
    }
  }
}

TEST_F(TableFilesTest, AMessageWithoutItemsStillTakesItsRow) {
  Load();
  EXPECT_FALSE(files.TakeRow("stamp", "id", Items({}, {})));
  files.WriteRows();
  EXPECT_EQ(ReadBytes(folder.Path("AllData.csv")), "stamp,id\r\n");
  EXPECT_EQ(files.WorkingRow(), 2);
}

// Mails through the parser and into the files with columns by item name:
// FirstRow.csv before, the bodies of the mails taken in turn, and both files
// after, byte for byte. 品名 is "\x95\x69\x96\xbc".
TEST(TableFilesByName, ItemsGoUnderTheColumnOfTheirName) {
  struct Case {
    const char* what;
    const char* firstRowBefore;  // nullptr: no FirstRow.csv yet
    std::vector<std::vector<std::string_view>> bodies;
    const char* firstRowAfter;
    const char* allDataAfter;
  };
  const Case cases[] = {
      {"reordered fields find their titles",
       "stamp,id,name,qty,note\r\n",
       {{"qty:2", "name:pen", "note:red"}, {"note:blue", "name:ink"}},
       "stamp,id,name,qty,note\r\n",
       "s,m0,pen,2,red\r\ns,m1,ink,,blue\r\n"},
      {"the k-th repeat of a name goes to the k-th column of that name",
       "stamp,id,\x95\x69\x96\xbc,qty,\x95\x69\x96\xbc\r\n",
       {{"\x95\x69\x96\xbc:a", "qty:1", "\x95\x69\x96\xbc:b", "\x95\x69\x96\xbc:c"}},
       "stamp,id,\x95\x69\x96\xbc,qty,\x95\x69\x96\xbc,\x95\x69\x96\xbc\r\n",
       "s,m0,a,1,b,c\r\n"},
      {"new names are added at the end, before the row goes in",
       nullptr,
       {{"a:1", "b:2"}, {"c:3", "a:4"}},
       ",,a,b,c\r\n",
       "s,m0,1,2\r\ns,m1,4,,3\r\n"},
      {"greetings, blank lines and comments are no items",
       "stamp,id,name\r\n",
       {{"Hello,", "", "name:pen", "%:comment", "  ", "Thanks"}},
       "stamp,id,name\r\n",
       "s,m0,pen\r\n"},
      {"an empty name has a column of its own, titled empty",
       "stamp,id,a\r\n",
       {{":x", "a:1"}, {"a:2", ":y"}},
       "stamp,id,a,\r\n",
       "s,m0,1,x\r\ns,m1,2,y\r\n"},
      {"a mail without items keeps its row",
       "stamp,id,a\r\n",
       {{"just text"}},
       "stamp,id,a\r\n",
       "s,m0\r\n"},
  };
  for (const Case& c : cases) {
    testing::TempFolder folder;
    if (c.firstRowBefore) testing::WriteBytes(folder.Path("FirstRow.csv"), c.firstRowBefore);
    DataTable table;
    TableFiles files(table, {folder.Path("AllData.csv"), folder.Path("FirstRow.csv"),
                             folder.Path("Unpicked.txt")});
    files.Load([](const std::exception& error) { ADD_FAILURE() << error.what(); });
    files.SetColumnsByName(true);
    testing::ParserUnderTest parser;
    int mail = 0;
    for (const auto& body : c.bodies) {
      std::vector<std::string_view> lines = {"X-VEXALO: default", ""};
      lines.insert(lines.end(), body.begin(), body.end());
      files.TakeRow("s", "m" + std::to_string(mail++), parser.Read(lines));
    }
    files.WriteRows();
    EXPECT_EQ(testing::ReadBytes(folder.Path("FirstRow.csv")), c.firstRowAfter) << c.what;
    EXPECT_EQ(testing::ReadBytes(folder.Path("AllData.csv")), c.allDataAfter) << c.what;

    // The same loader reads it back as the grid had it.
    DataTable reloaded;
    TableFiles again(reloaded, files.Paths());
    again.Load([](const std::exception& error) { ADD_FAILURE() << error.what(); });
    for (int row = 0; row < table.RowCount(); ++row) {
      for (int col = 0; col < table.ColCount(); ++col) {
        EXPECT_EQ(reloaded.Cell(col, row), table.Cell(col, row))
            << c.what << " " << col << "," << row;
      }
    }
  }
}

// Switching never rewrites a stored row; titles loaded but not shown (no
// AllData.csv yet) still claim their columns.
TEST_F(TableFilesTest, SwitchingToByNameKeepsStoredRowsAndTheTitlesOfFirstRow) {
  WriteBytes(folder.Path("FirstRow.csv"), "stamp,id,a,b,c\r\n");
  Load();
  ASSERT_EQ(table.ColCount(), 3);  // only the loaded rows widen the grid
  files.TakeRow("s", "m0", Items({"a", "b"}, {"1", "2"}));
  files.SetColumnsByName(true);
  EXPECT_FALSE(files.TakeRow("s", "m1", Items({"c", "a"}, {"3", "4"})));
  EXPECT_EQ(table.ColCount(), 5);
  files.SetColumnsByName(false);
  EXPECT_TRUE(files.TakeRow("s", "m2", Items({"x"}, {"5"})));
  files.WriteRows();
  EXPECT_EQ(ReadBytes(folder.Path("AllData.csv")), "s,m0,1,2\r\ns,m1,4,,3\r\ns,m2,5\r\n");
  EXPECT_EQ(ReadBytes(folder.Path("FirstRow.csv")), "stamp,id,x,b,c\r\n");
}

// A sender who invents a new name per line cannot push a row past what a
// line of AllData.csv loads back.
TEST_F(TableFilesTest, ColumnsByNameStopAtTheMostARowHolds) {
  Load();
  files.SetColumnsByName(true);
  ParsedMessage wide = Items({}, {});
  for (int i = 0; i < kMaxItemsPerMessage; ++i) {
    wide.names.push_back("n" + std::to_string(i));
    wide.values.push_back("v");
  }
  files.TakeRow("s", "m0", wide);
  files.TakeRow("s", "m1", Items({"late", "n7"}, {"lost", "kept"}));
  files.WriteRows();
  EXPECT_EQ(table.ColCount(), DataTable::kFirstItemColumn + kMaxItemsPerMessage);
  EXPECT_EQ(table.Cell(DataTable::kFirstItemColumn + 7, 2), "kept");

  DataTable reloaded;
  TableFiles again(reloaded, files.Paths());
  again.Load([](const std::exception& error) { ADD_FAILURE() << error.what(); });
  EXPECT_EQ(reloaded.Cell(DataTable::kFirstItemColumn + kMaxItemsPerMessage - 1, 1), "v");
  EXPECT_EQ(reloaded.Cell(DataTable::kFirstItemColumn + 7, 2), "kept");
  EXPECT_EQ(reloaded.Cell(DataTable::kFirstItemColumn + kMaxItemsPerMessage - 1, 0),
            "n" + std::to_string(kMaxItemsPerMessage - 1));
}

}  // namespace
}  // namespace vexalo
