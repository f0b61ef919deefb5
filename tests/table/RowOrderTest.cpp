#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "table/DataTable.h"
#include "table/RowOrder.h"

namespace vexalo {
namespace {

// Rows 1 .. 6 of a table whose column 2 holds these texts; the titles in row 0.
class RowOrderTest : public testing::Test {
 protected:
  RowOrderTest() {
    const std::vector<std::string> texts = {"10", "", "9", "b", "10", "a"};
    table_.SetRow(0, {"stamp", "id", "item"});
    for (size_t i = 0; i < texts.size(); ++i) {
      table_.SetRow(static_cast<int>(i) + 1, {"s", "id" + std::to_string(i + 1), texts[i]});
    }
    table_.SetRowCount(static_cast<int>(texts.size()) + 1);
  }

  std::vector<int32_t> Shown() const { return order_.TableRows(1, table_.RowCount() - 1); }

  DataTable table_;
  RowOrder order_;
};

TEST_F(RowOrderTest, SortsStablyWithEmptyCellsLastBothWays) {
  EXPECT_EQ(Shown(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  order_.SortBy(table_, 2, false);
  // 9, 10, 10 (file order), a, b, then the empty cell.
  EXPECT_EQ(Shown(), (std::vector<int32_t>{3, 1, 5, 6, 4, 2}));
  order_.SortBy(table_, 2, true);
  EXPECT_EQ(Shown(), (std::vector<int32_t>{4, 6, 1, 5, 3, 2}));
  EXPECT_EQ(order_.Column(), 2);
  EXPECT_TRUE(order_.Descending());
  EXPECT_EQ(order_.TableRow(0), 0);  // the titles never move
  EXPECT_EQ(order_.GridRow(1), 3);
  EXPECT_EQ(order_.GridRow(7), -1);

  order_.Clear();
  EXPECT_FALSE(order_.IsSorted());
  EXPECT_EQ(Shown(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(order_.GridRow(7), 7);
}

// Amounts as a mail gives them: every comma stored full-width ("，").
TEST(RowOrder, AmountsWithThousandsSeparatorsSortByValue) {
  const std::vector<std::string> amounts = {"1",
                                            "1\x81\x43"
                                            "000",
                                            "2",
                                            "2\x81\x43"
                                            "500",
                                            "3",
                                            "5",
                                            "12"};
  DataTable table;
  table.SetRow(0, {"stamp", "id", "amount"});
  for (size_t i = 0; i < amounts.size(); ++i) {
    table.SetRow(static_cast<int>(i) + 1, {"s", "id", amounts[i]});
  }
  table.SetRowCount(static_cast<int>(amounts.size()) + 1);
  RowOrder order;
  order.SortBy(table, 2, false);
  // 1, 2, 3, 5, 12, 1，000, 2，500
  EXPECT_EQ(order.TableRows(1, table.RowCount() - 1), (std::vector<int32_t>{1, 3, 5, 6, 7, 2, 4}));
}

TEST_F(RowOrderTest, AddedRowsGoAfterTheirEqualsIntoPlace) {
  order_.SortBy(table_, 2, false);
  for (const char* text : {"10", "", "1", "c"}) {
    const int32_t row = table_.RowCount();
    table_.SetRow(row, {"s", "new", text});
    table_.SetRowCount(row + 1);
    order_.InsertAt(order_.PlaceFor(table_, row), row);
  }
  // 1, 9, 10, 10, 10 (the new one last), a, b, c, then the empty cells.
  EXPECT_EQ(Shown(), (std::vector<int32_t>{9, 3, 1, 5, 7, 6, 4, 10, 2, 8}));
  EXPECT_EQ(order_.GridRow(7), 5);

  // Sorting afresh gives the same order.
  const std::vector<int32_t> inserted = Shown();
  order_.SortBy(table_, 2, false);
  EXPECT_EQ(Shown(), inserted);
}

}  // namespace
}  // namespace vexalo
