#include <gtest/gtest.h>

#include <string>

#include "table/DataTable.h"

namespace vexalo {
namespace {

TEST(DataTable, StartsWithThreeByTwoEmptyCells) {
  DataTable table;
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Cell(0, 0), "");
  EXPECT_EQ(table.Cell(50, 70), "");
}

TEST(DataTable, CellsOutsideTheVisibleAreaKeepTheirText) {
  DataTable table;
  table.SetCell(7, 4, "far");
  table.SetColCount(1);
  table.SetRowCount(1);
  EXPECT_EQ(table.Cell(7, 4), "far");
  EXPECT_EQ(table.Cell(6, 4), "");
  table.SetColCount(8);
  table.SetRowCount(5);
  EXPECT_EQ(table.Cell(7, 4), "far");
}

TEST(DataTable, OverwritesKeepNeighbours) {
  DataTable table;
  table.SetRow(1, {"a", "b", "c"});
  table.SetCell(1, 1, std::string(300, 'x'));  // a length that needs two digits
  EXPECT_EQ(table.Cell(0, 1), "a");
  EXPECT_EQ(table.Cell(1, 1), std::string(300, 'x'));
  EXPECT_EQ(table.Cell(2, 1), "c");
  table.SetCell(1, 1, "");
  EXPECT_EQ(table.Cell(1, 1), "");
  EXPECT_EQ(table.Cell(2, 1), "c");
  table.SetRow(1, {"z"});
  EXPECT_EQ(table.Cell(0, 1), "z");
  EXPECT_EQ(table.Cell(2, 1), "");
}

}  // namespace
}  // namespace vexalo
