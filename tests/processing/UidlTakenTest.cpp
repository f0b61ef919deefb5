#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "processing/DataTable.h"

namespace vexalo {
namespace {

// What the already-taken test has to answer, by plain scan of column 1.
bool ScanColumnOne(const DataTable& table, const std::string& id) {
  for (int row = 0; row < table.RowCount(); ++row) {
    if (table.Cell(DataTable::kIdColumn, row) == id) return true;
  }
  return false;
}

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

TEST(IsUidlTaken, AgreesWithAScanOverRandomWrites) {
  std::vector<std::string> ids = {"", "a", "A", "ab", "\x82\xa0", "\x82\xa0\x82\xa0"};
  for (int i = 0; i < 300; ++i) ids.push_back("id" + std::to_string(i));
  std::mt19937 random(20240501);
  const auto pick = [&](int below) { return static_cast<int>(random() % below); };
  const auto anyId = [&] { return ids[pick(static_cast<int>(ids.size()))]; };
  constexpr int kRows = 400;

  DataTable table;
  for (int step = 0; step < 20000; ++step) {
    std::vector<std::string> touched = {anyId(), anyId(), ""};
    const int row = pick(kRows);
    touched.push_back(std::string(table.Cell(1, row)));
    switch (pick(6)) {
      case 0:
      case 1:
        touched.push_back(anyId());
        table.SetCell(1, row, touched.back());
        break;
      case 2:
        table.SetCell(pick(4), row, anyId());
        break;
      case 3: {
        const std::vector<std::string> cells = {anyId(), anyId(), anyId()};
        const size_t count = static_cast<size_t>(pick(4));
        touched.insert(touched.end(), cells.begin(), cells.begin() + count);
        const std::vector<std::string_view> views(cells.begin(), cells.begin() + count);
        if (pick(2) == 0) {
          table.SetRow(row, views);
        } else {
          table.SetLeadingCells(row, views);
        }
        break;
      }
      default:
        table.SetRowCount(pick(kRows + 20));
        break;
    }
    for (const std::string& id : touched) {
      ASSERT_EQ(table.IsUidlTaken(id), ScanColumnOne(table, id))
          << "step " << step << ", id \"" << id << "\", rows " << table.RowCount();
    }
  }
  for (const std::string& id : ids) EXPECT_EQ(table.IsUidlTaken(id), ScanColumnOne(table, id));
}

}  // namespace
}  // namespace vexalo
