#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mail/MessageParser.h"
#include "table/AllDataAppender.h"
#include "table/ProcessingState.h"

namespace vexalo {

class DataTable;

// Where a data folder keeps its table.
struct DataFilePaths {
  std::string allData;   // full path of AllData.csv
  std::string firstRow;  // full path of FirstRow.csv
  std::string unpicked;  // full path of Unpicked.txt
};

// The table and the files that keep it: the one place that loads them, and
// the one writer that takes a message into both, so a row in the grid and its
// line in AllData.csv are always built from the same items.
class TableFiles {
 public:
  TableFiles(DataTable& table, DataFilePaths paths) : table_(table), paths_(std::move(paths)) {}

  const DataFilePaths& Paths() const { return paths_; }
  DataTable& Table() const { return table_; }

  // FirstRow.csv, then AllData.csv, into the table, each on its own: titles
  // that cannot be read must not keep the rows, and with them the record of
  // taken messages, out of the table. A file that fails goes to `failed`
  // and loading goes on.
  void Load(const std::function<void(const std::exception&)>& failed);
  // The rows another program appended to AllData.csv since they were loaded.
  void LoadAppended();

  // How TakeRow puts items into columns: the n-th item into the n-th item
  // column, its name as that column's title (the default); or each item
  // under the column titled with its name (see PlaceItemsByName), titles
  // added for new names. Rows already taken stay as they are either way.
  void SetColumnsByName(bool byName) { columnsByName_ = byName; }

  // Takes a picked message as the next row: its titles into row 0 (on disk
  // first when they changed: a mail once taken is never read again, so a run
  // that stops after this row would otherwise leave its columns without
  // titles for good), and its line to wait for WriteRows. Raises what
  // FirstRow.csv raises; the row is then not taken. Returns whether
  // FirstRow.csv was rewritten.
  bool TakeRow(std::string_view runStamp, std::string_view storedId, const ParsedMessage& items);
  // Writes the lines of the rows taken since the last call into AllData.csv
  // in one go, and only then lets the rows into the visible table, so that a
  // row counts as taken once its line is written. Raises what AllData.csv
  // raises; none of those rows is taken then.
  void WriteRows();
  // Whether rows taken wait for WriteRows.
  bool RowsWaiting() const { return rowsWaiting_ > 0; }

  // Rewrites FirstRow.csv from the table's title row.
  void SaveTitles();
  // Makes the rows written so far durable.
  void SyncRows();
  // AllData.csv stays open from one write to the next; these close it, the
  // first raising what the system reports at close (a network file system
  // may report a failed write only then) after writing the rows still
  // waiting, the second for a run that is ending with an error of its own
  // already: rows still waiting are not taken.
  void CloseRows();
  void DropRows();

  // The row the next message taken goes into.
  int32_t WorkingRow() const { return cellPos_.Y; }

 private:
  // Each gives the row's item cells (views into `items`) and writes the
  // titles they need into row 0; returns whether the titles changed.
  bool PlaceByPosition(const ParsedMessage& items, std::vector<std::string_view>& cells);
  bool PlaceByName(const ParsedMessage& items, std::vector<std::string_view>& cells);
  bool WriteTitles(const ParsedMessage& items);
  void ForgetWaitingRows();

  DataTable& table_;
  DataFilePaths paths_;
  CellPoint cellPos_;
  bool columnsByName_ = false;
  // How many bytes of AllData.csv the table holds: what was loaded, then the
  // file's length after each line this program wrote. What lies beyond was
  // appended by another program.
  long long allDataEnd_ = 0;
  std::optional<AllDataAppender> appender_;  // open while rows are being taken
  int32_t rowsWaiting_ = 0;                  // taken, their lines not written yet
  // Kept from row to row: a row then costs no allocation for its line.
  std::vector<std::string_view> cells_;
  std::string line_;
};

}  // namespace vexalo
