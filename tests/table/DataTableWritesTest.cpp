#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "table/CsvLine.h"
#include "table/DataTable.h"

namespace vexalo {
namespace {

TEST(IsUidlTaken, MatchesVisibleRowsOfColumnOneExactly) {
  DataTable table;
  EXPECT_TRUE(table.IsUidlTaken(""));  // the empty title cell (1, 0)
  table.SetCell(1, 0, "title");
  table.SetCell(1, 1, "AbC");
  table.SetCell(2, 1, "notAnId");
  EXPECT_TRUE(table.IsUidlTaken("title"));
  EXPECT_TRUE(table.IsUidlTaken("AbC"));
  EXPECT_FALSE(table.IsUidlTaken("abc"));
  EXPECT_FALSE(table.IsUidlTaken("AbC "));
  EXPECT_FALSE(table.IsUidlTaken("notAnId"));
  EXPECT_FALSE(table.IsUidlTaken(""));  // no visible empty cell left in column 1

  table.SetCell(1, 5, "far");  // stored, but beyond the visible rows
  EXPECT_FALSE(table.IsUidlTaken("far"));
  table.SetRowCount(6);
  EXPECT_TRUE(table.IsUidlTaken("far"));
  EXPECT_TRUE(table.IsUidlTaken(""));  // rows 2 to 4 hold nothing
  table.SetRowCount(1);
  EXPECT_FALSE(table.IsUidlTaken("AbC"));
  EXPECT_TRUE(table.IsUidlTaken("title"));
  table.SetRowCount(2);
  EXPECT_TRUE(table.IsUidlTaken("AbC"));
  table.SetCell(1, 1, "new");
  EXPECT_FALSE(table.IsUidlTaken("AbC"));
}

// A load writes tens of thousands of rows before the first lookup, more than
// the index takes in one batch; ids held by two rows, one of them hidden, and
// a rewrite after the load must still come out as they stand.
TEST(IsUidlTaken, RowsWrittenInBulkBeforeAnyLookup) {
  constexpr int kRows = 300000;
  constexpr int kDistinct = 200000;  // rows from kDistinct on repeat earlier ids
  const auto id = [](int n) { return "id" + std::to_string(n); };
  DataTable table;
  for (int row = 1; row <= kRows; ++row) {
    table.SetLeadingCells(row, {"stamp", id(row % kDistinct), "item"});
  }
  table.SetRowCount(kRows + 1);
  for (int n = 0; n < kDistinct; ++n) ASSERT_TRUE(table.IsUidlTaken(id(n))) << n;
  EXPECT_FALSE(table.IsUidlTaken(id(kDistinct)));

  table.SetRowCount(10001);  // rows 1 .. 10000 shown, every repeat hidden
  EXPECT_TRUE(table.IsUidlTaken(id(1)));
  EXPECT_TRUE(table.IsUidlTaken(id(10000)));
  EXPECT_FALSE(table.IsUidlTaken(id(0)));  // only row 200000 holds it
  EXPECT_FALSE(table.IsUidlTaken(id(10001)));

  table.SetCell(DataTable::kIdColumn, 5, "other");
  EXPECT_FALSE(table.IsUidlTaken(id(5)));  // row 200005 still holds it, hidden
  EXPECT_TRUE(table.IsUidlTaken("other"));
  table.SetRowCount(kRows + 1);
  EXPECT_TRUE(table.IsUidlTaken(id(5)));
}

// The table as plain strings: what every read of the real one must give.
class PlainTable {
 public:
  explicit PlainTable(int rows) : rows_(static_cast<size_t>(rows)) {}

  std::string Cell(int col, int row) const {
    if (row >= static_cast<int>(rows_.size())) return {};
    const std::vector<std::string>& cells = rows_[row];
    return col < static_cast<int>(cells.size()) ? cells[col] : std::string();
  }
  void SetCell(int col, int row, const std::string& text) {
    std::vector<std::string>& cells = rows_[row];
    if (static_cast<int>(cells.size()) <= col) cells.resize(col + 1);
    cells[col] = text;
  }
  void SetRow(int row, const std::vector<std::string>& cells) { rows_[row] = cells; }
  void SetLeadingCells(int row, const std::vector<std::string>& cells) {
    for (size_t col = 0; col < cells.size(); ++col) SetCell(static_cast<int>(col), row, cells[col]);
  }
  int CellCount(int row) const { return static_cast<int>(rows_[row].size()); }
  bool IsTaken(const std::string& id, int rowCount) const {
    for (int row = 0; row < rowCount; ++row) {
      if (Cell(DataTable::kIdColumn, row) == id) return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

TEST(DataTableWrites, AgreeWithPlainStringsOverRandomWrites) {
  std::vector<std::string> texts = {"", "a", "A", "ab", "\x82\xa0", "\x82\xa0\x82\xa0"};
  for (int i = 0; i < 300; ++i) texts.push_back("id" + std::to_string(i));
  // Lengths beyond one length byte, and beyond what a shared block takes.
  const std::vector<std::string> longTexts = {std::string(200, 'm'), std::string(20000, 'L')};
  std::mt19937 random(20240501);
  const auto pick = [&](size_t below) { return static_cast<int>(random() % below); };
  const auto anyText = [&]() -> const std::string& {
    return pick(50) == 0 ? longTexts[pick(2)] : texts[pick(texts.size())];
  };
  constexpr int kRows = 400;

  DataTable table;
  PlainTable plain(kRows);
  int rowCount = table.RowCount();
  for (int step = 0; step < 20000; ++step) {
    const int row = pick(kRows);
    std::vector<std::string> touched = {anyText(), "", plain.Cell(DataTable::kIdColumn, row)};
    std::vector<std::string> cells(static_cast<size_t>(pick(5)));
    for (std::string& cell : cells) cell = anyText();
    switch (pick(7)) {
      case 0:
      case 1:
        touched.push_back(anyText());
        table.SetCell(1, row, touched.back());
        plain.SetCell(1, row, touched.back());
        break;
      case 2: {
        const int col = pick(6);
        const std::string text = anyText();
        table.SetCell(col, row, text);
        plain.SetCell(col, row, text);
        break;
      }
      case 3:
        table.SetRow(row, std::vector<std::string_view>(cells.begin(), cells.end()));
        plain.SetRow(row, cells);
        break;
      case 4: {
        // Cut from one line, as the loader cuts them: back to back in one buffer.
        std::string line;
        for (const std::string& cell : cells) line += (line.empty() ? "" : ",") + cell;
        std::vector<std::string_view> views;
        SplitCsvLine(line, 100, views);
        const std::vector<std::string> copies(views.begin(), views.end());
        table.SetLeadingCells(row, views);
        plain.SetLeadingCells(row, copies);
        cells = copies;
        break;
      }
      case 5:
        table.SetLeadingCells(row, std::vector<std::string_view>(cells.begin(), cells.end()));
        plain.SetLeadingCells(row, cells);
        break;
      default:
        rowCount = pick(kRows + 20);
        table.SetRowCount(rowCount);
        break;
    }
    touched.insert(touched.end(), cells.begin(), cells.end());
    for (int col = 0; col <= plain.CellCount(row) + 1; ++col) {
      ASSERT_EQ(table.Cell(col, row), plain.Cell(col, row))
          << "step " << step << ", cell (" << col << ", " << row << ")";
    }
    for (const std::string& id : touched) {
      ASSERT_EQ(table.IsUidlTaken(id), plain.IsTaken(id, rowCount))
          << "step " << step << ", id \"" << id.substr(0, 20) << "\", rows " << rowCount;
    }
  }
  for (int row = 0; row < kRows; ++row) {
    for (int col = 0; col <= plain.CellCount(row); ++col) {
      EXPECT_EQ(table.Cell(col, row), plain.Cell(col, row)) << col << ", " << row;
    }
  }
  for (const std::string& id : texts) {
    EXPECT_EQ(table.IsUidlTaken(id), plain.IsTaken(id, rowCount)) << id;
  }
}

TEST(DataTableWrites, CopiesGoTheirOwnWay) {
  DataTable original;
  original.SetRow(1, {"s", "id1", "v"});
  original.SetRowCount(3);
  DataTable copy = original;
  copy.SetRow(2, {"s", "id2"});
  copy.SetCell(2, 1, "changed");
  original.SetRow(2, {"s", "id3", "w"});
  EXPECT_EQ(original.Cell(2, 1), "v");
  EXPECT_EQ(original.Cell(1, 2), "id3");
  EXPECT_EQ(copy.Cell(2, 1), "changed");
  EXPECT_EQ(copy.Cell(1, 2), "id2");
  EXPECT_TRUE(original.IsUidlTaken("id3"));
  EXPECT_FALSE(original.IsUidlTaken("id2"));
  EXPECT_TRUE(copy.IsUidlTaken("id2"));
  EXPECT_FALSE(copy.IsUidlTaken("id3"));
  original = copy;
  EXPECT_TRUE(original.IsUidlTaken("id2"));
  EXPECT_EQ(original.Cell(2, 1), "changed");
}

}  // namespace
}  // namespace vexalo
