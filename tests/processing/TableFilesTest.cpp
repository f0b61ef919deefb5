#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "processing/DataTable.h"
#include "processing/RowText.h"
#include "processing/TableFiles.h"

namespace vexalo {
namespace {

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
  EXPECT_EQ(ReadBytes(folder.Path("AllData.csv")), "stamp,id\r\n");
  EXPECT_EQ(files.WorkingRow(), 2);
}

}  // namespace
}  // namespace vexalo
