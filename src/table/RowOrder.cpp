#include "table/RowOrder.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "table/DataTable.h"
#include "table/NaturalCompare.h"

namespace vexalo {

namespace {

// Whether a cell with text `a` is shown above one with text `b`.
bool ShownAbove(std::string_view a, std::string_view b, bool descending) {
  if (a.empty() || b.empty()) return !a.empty() && b.empty();
  const int order = CompareNatural(a, b);
  return descending ? order > 0 : order < 0;
}

struct SortEntry {
  std::string_view text;
  int32_t row;
};

}  // namespace

void RowOrder::SortBy(const DataTable& table, int32_t col, bool descending) {
  // The column's texts are copied side by side first: the comparisons of a
  // sort then read a few megabytes that stay in the cache, not cells spread
  // through the whole table: two to three times faster for a million rows.
  const auto rows = static_cast<size_t>(std::max(0, table.RowCount() - 1));
  std::vector<size_t> ends;
  ends.reserve(rows);
  std::string texts;
  for (int32_t row = 1; row < table.RowCount(); ++row) {
    texts.append(table.Cell(col, row));
    ends.push_back(texts.size());
  }
  std::vector<SortEntry> entries;
  entries.reserve(rows);
  size_t begin = 0;
  for (size_t i = 0; i < rows; ++i) {
    entries.push_back(
        {std::string_view(texts).substr(begin, ends[i] - begin), static_cast<int32_t>(i) + 1});
    begin = ends[i];
  }
  std::stable_sort(entries.begin(), entries.end(), [descending](const auto& a, const auto& b) {
    return ShownAbove(a.text, b.text, descending);
  });
  rows_.clear();
  rows_.reserve(entries.size());
  for (const SortEntry& entry : entries) rows_.push_back(entry.row);
  column_ = col;
  descending_ = descending;
}

void RowOrder::Clear() {
  column_ = -1;
  descending_ = false;
  rows_.clear();
  rows_.shrink_to_fit();
}

int32_t RowOrder::GridRow(int32_t tableRow) const {
  if (!IsSorted() || tableRow <= 0) return tableRow;
  const auto found = std::find(rows_.begin(), rows_.end(), tableRow);
  if (found == rows_.end()) return -1;
  return static_cast<int32_t>(found - rows_.begin()) + 1;
}

std::vector<int32_t> RowOrder::TableRows(int32_t first, int32_t last) const {
  std::vector<int32_t> rows;
  if (last < first) return rows;
  rows.reserve(static_cast<size_t>(int64_t{last} - first) + 1);
  // A 64-bit counter: a range reaching the largest index must still end.
  for (int64_t gridRow = first; gridRow <= last; ++gridRow) {
    rows.push_back(TableRow(static_cast<int32_t>(gridRow)));
  }
  return rows;
}

int32_t RowOrder::PlaceFor(const DataTable& table, int32_t tableRow) const {
  const std::string_view text = table.Cell(column_, tableRow);
  const auto place = std::upper_bound(
      rows_.begin(), rows_.end(), text, [&](std::string_view newText, int32_t shownRow) {
        return ShownAbove(newText, table.Cell(column_, shownRow), descending_);
      });
  return static_cast<int32_t>(place - rows_.begin()) + 1;
}

void RowOrder::InsertAt(int32_t gridRow, int32_t tableRow) {
  rows_.insert(rows_.begin() + (gridRow - 1), tableRow);
}

}  // namespace vexalo
