#pragma once

#include <string>
#include <string_view>

#include "table/FormulaGuard.h"
#include "table/GridSelection.h"

namespace vexalo {

class DataTable;

// Whether a file name asks for an Excel workbook: it ends in ".xlsx", in any
// case. Every other name gets CSV.
bool IsXlsxFileName(std::string_view path);

// Writes `cells` to `path` as its name asks: an Excel workbook
// (SaveCellsAsXlsx) or CSV (SaveCells, with `guard`). The file is written
// beside `path` under a fresh name and renamed over it once it is whole, so
// a reader of `path` (a shared folder, a nightly copy) finds the old file or
// the new one, never half of one; it gets the permissions a new file gets.
// Raises what the writers raise, or EInOutError for the temporary file and
// the rename; `path` is then as it was, and the temporary file is gone.
void ExportCells(const DataTable& table, const CellBlock& cells, const std::string& path,
                 FormulaGuard guard);

}  // namespace vexalo
