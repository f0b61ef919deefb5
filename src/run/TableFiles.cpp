#include "run/TableFiles.h"

#include <algorithm>
#include <vector>

#include "run/ColumnsByName.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RowText.h"

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
  std::vector<std::string_view>& cells = cells_;
  cells.clear();
  const bool titlesChanged =
      columnsByName_ ? PlaceByName(items, cells) : PlaceByPosition(items, cells);
  table_.SetCellsFrom(row, DataTable::kFirstItemColumn, cells);
  const int columns = DataTable::kFirstItemColumn + static_cast<int>(cells.size());
  // A narrower message must not hide the titles and cells of wider rows
  // from FirstRow.csv and from a select-all export.
  table_.SetColCount(std::max(table_.ColCount(), columns));
  if (titlesChanged) SaveTitles();
  line_.clear();
  BeginRowText(line_, runStamp, storedId);
  for (const std::string_view cell : cells) line_.append(",").append(cell);
  if (!appender_) appender_.emplace(paths_.allData);
  appender_->Add(line_);
  ++rowsWaiting_;
  cellPos_.Y = row + 1;
  return titlesChanged;
}

void TableFiles::WriteRows() {
  if (rowsWaiting_ == 0) return;
  try {
    allDataEnd_ = appender_->Write();
  } catch (...) {
    ForgetWaitingRows();
    throw;
  }
  rowsWaiting_ = 0;
  table_.SetRowCount(cellPos_.Y);
}

// The next row taken goes where the first of them went. Their ids go at once:
// the table's first row is shown before anything is taken, and an id there
// would count as taken until the program starts again.
void TableFiles::ForgetWaitingRows() {
  for (; rowsWaiting_ > 0; --rowsWaiting_) table_.SetCell(DataTable::kIdColumn, --cellPos_.Y, "");
}

bool TableFiles::PlaceByPosition(const ParsedMessage& items, std::vector<std::string_view>& cells) {
  cells.assign(items.values.begin(), items.values.end());
  return WriteTitles(items);
}

bool TableFiles::PlaceByName(const ParsedMessage& items, std::vector<std::string_view>& cells) {
  // The titles as FirstRow.csv gave them and runs added them, hidden by the
  // column count or not: the grid's first columns are shown before any title.
  std::vector<std::string_view> titles;
  table_.CellsInRange(0, DataTable::kFirstItemColumn, table_.StoredCellCount(0) - 1, titles);
  const NamedColumns placed = PlaceItemsByName(titles, items);
  for (size_t item = 0; item < placed.itemColumns.size(); ++item) {
    const int col = placed.itemColumns[item];
    if (col < 0) continue;
    if (static_cast<size_t>(col) >= cells.size()) cells.resize(static_cast<size_t>(col) + 1);
    cells[static_cast<size_t>(col)] = items.values[item];
  }
  const int titleCount = static_cast<int>(titles.size() + placed.newTitles.size());
  // FirstRow.csv holds every title, so the title row is shown whole.
  table_.SetColCount(std::max(table_.ColCount(), DataTable::kFirstItemColumn + titleCount));
  if (placed.newTitles.empty()) return false;
  table_.SetCellsFrom(0, DataTable::kFirstItemColumn + static_cast<int>(titles.size()),
                      placed.newTitles);
  return true;
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

void TableFiles::CloseRows() {
  if (!appender_) return;
  WriteRows();
  appender_->Close();
  appender_.reset();
}

void TableFiles::DropRows() {
  ForgetWaitingRows();
  appender_.reset();
}

}  // namespace vexalo
