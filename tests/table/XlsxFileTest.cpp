#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "XlsxCells.h"
#include "table/DataTable.h"
#include "table/XlsxFile.h"

namespace vexalo {
namespace {

using testing::ReadBack;
using testing::TempFolder;

TEST(XlsxFile, CellsReadBackAsNumbersOrTextNeverAsFormulas) {
  struct Case {
    const char* cell;
    const char* found;  // type and JSON value; nullptr: no cell at all
  };
  const Case cases[] = {
      {"3", "n 3"},
      {"-2", "n -2"},
      {"1.5", "n 1.5"},
      {"0", "n 0"},
      {"0.25", "n 0.25"},
      {"123456789012345", "n 123456789012345"},
      {"1234567890123456", "s \"1234567890123456\""},  // past what a sheet keeps exactly
      {"007", "s \"007\""},
      {"0120-123-456", "s \"0120-123-456\""},
      {"-0", "s \"-0\""},
      {"1e5", "s \"1e5\""},
      {"1.", "s \"1.\""},
      {".5", "s \".5\""},
      {"=HYPERLINK(\"http://x/\",\"y\")", "s \"=HYPERLINK(\\\"http://x/\\\",\\\"y\\\")\""},
      {"+81 3 1234", "s \"+81 3 1234\""},
      {"@SUM(A1)", "s \"@SUM(A1)\""},
      {"\x8e\x52\x93\x63", "s \"\xe5\xb1\xb1\xe7\x94\xb0\""},  // 山田, CP932 in, UTF-8 out
      // XML cannot hold a control character: the file's own escape, which a
      // spreadsheet reads back as the character.
      {"a\x01z", "s \"a_x0001_z\""},
      {"", nullptr},
  };
  DataTable table;
  table.SetCell(2, 0, "2024");  // a title stays text whatever it looks like
  int row = 1;
  for (const Case& c : cases) table.SetCell(2, row++, c.cell);
  std::vector<int32_t> rows;
  for (int r = 0; r < row; ++r) rows.push_back(r);
  TempFolder folder;
  const std::string path = folder.Path("cells.xlsx");
  SaveCellsAsXlsx(table, {2, 2, rows}, path);

  const auto found = ReadBack(path);
  EXPECT_EQ(found.at("A1"), "s \"2024\"");
  row = 2;
  for (const Case& c : cases) {
    const std::string ref = "A" + std::to_string(row++);
    if (c.found == nullptr) {
      EXPECT_EQ(found.count(ref), 0U) << c.cell;
    } else {
      EXPECT_EQ(found.count(ref) ? found.at(ref) : "(none)", c.found) << c.cell;
    }
  }
}

// The titles of the selected columns always head the sheet, frozen, once;
// the rows follow in the order shown; each column is as wide as its text.
TEST(XlsxFile, TitlesFrozenAboveTheSelectedRowsInTheirOrder) {
  DataTable table;
  table.SetRow(0, {"stamp", "id", "name", "note"});
  table.SetRow(1, {"s1", "m1", "pen", "a rather long note of forty characters.."});
  table.SetRow(2, {"s2", "m2", "ink", "short"});
  TempFolder folder;
  const std::string path = folder.Path("rows.xlsx");
  SaveCellsAsXlsx(table, {3, 2, {2, 0, 1}}, path);  // right to left, as a drag gives it

  const auto found = ReadBack(path);
  const std::map<std::string, std::string> expected = {
      {"A1", "s \"name\""}, {"B1", "s \"note\""},
      {"A2", "s \"ink\""},  {"B2", "s \"short\""},
      {"A3", "s \"pen\""},  {"B3", "s \"a rather long note of forty characters..\""},
      {"freeze", "A2"},     {"sheets", "1"},
      {"width A", "7"},     {"width B", "43"},  // text and margin, as the reader counts
  };
  EXPECT_EQ(found, expected);
}

TEST(XlsxFile, ASelectionWiderThanASheetIsRefusedWithTheReason) {
  DataTable table;
  TempFolder folder;
  try {
    SaveCellsAsXlsx(table, {0, 16384, {0}}, folder.Path("wide.xlsx"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("16385 columns"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace vexalo
