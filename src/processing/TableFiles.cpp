#include "processing/TableFiles.h"

#include <algorithm>
#include <vector>

#include "processing/DataFiles.h"
#include "processing/DataTable.h"
#include "processing/RowText.h"

namespace vexalo {

void TableFiles::Load(const std::function<void(const std::exception&)>& failed) {
  try {
    LoadFirstRow(table_, paths_.firstRow);
  } catch (const std::exception& error) {
    failed(error);
  }
  try {
    allDataEnd_ = LoadAllData(table_, paths_.allData, cellPos_);
  } catch (const std::exception& error) {
    failed(error);
  }
}

void TableFiles::LoadAppended() {
  allDataEnd_ = LoadAppendedRows(table_, paths_.allData, allDataEnd_, cellPos_);
}

bool TableFiles::TakeRow(std::string_view runStamp, std::string_view storedId,
                         const ParsedMessage& items) {
  const int32_t row = cellPos_.Y;
  table_.SetCell(DataTable::kStampColumn, row, runStamp);
  table_.SetCell(DataTable::kIdColumn, row, storedId);
  std::string line;
  BeginRowText(line, runStamp, storedId);
  for (const std::string& value : items.values) line.append(",").append(value);
  std::vector<std::string_view> cells(items.values.begin(), items.values.end());
  table_.SetCellsFrom(row, DataTable::kFirstItemColumn, cells);
  const int columns = DataTable::kFirstItemColumn + static_cast<int>(items.values.size());
  // A narrower message must not hide the titles and cells of wider rows
  // from FirstRow.csv and from a select-all export.
  table_.SetColCount(std::max(table_.ColCount(), columns));
  const bool titlesChanged = WriteTitles(items);
  if (titlesChanged) SaveTitles();
  allDataEnd_ = AppendLine(paths_.allData, line);
  cellPos_.Y = row + 1;
  table_.SetRowCount(cellPos_.Y);
  return titlesChanged;
}

// Orders of one form give every row the same titles: rewriting equal titles
// would rebuild row 0, and FirstRow.csv, for every message.
bool TableFiles::WriteTitles(const ParsedMessage& items) {
  if (items.names.empty()) return false;
  const std::vector<std::string_view> names(items.names.begin(), items.names.end());
  std::vector<std::string_view> titles;
  table_.CellsInRange(0, DataTable::kFirstItemColumn,
                      DataTable::kFirstItemColumn + static_cast<int>(names.size()) - 1, titles);
  if (titles == names) return false;
  table_.SetCellsFrom(0, DataTable::kFirstItemColumn, names);
  return true;
}

void TableFiles::SaveTitles() { SaveFirstRow(table_, paths_.firstRow); }

void TableFiles::SyncRows() { SyncFile(paths_.allData); }

}  // namespace vexalo
