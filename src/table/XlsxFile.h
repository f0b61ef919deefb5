#pragma once

#include <string>
#include <string_view>

#include "table/GridSelection.h"

namespace vexalo {

class DataTable;

// Whether `cell` goes into a sheet as a number: a plain decimal ("3", "-2",
// "1.5") of at most 15 digits, the most a spreadsheet keeps exactly, without
// a leading zero ("0" and "0.5" are numbers, "007" and "0120" stay text).
// A negative zero stays text: as a number it would lose its sign.
bool IsSheetNumber(std::string_view cell);

// Writes an Excel workbook to `path`, replacing any file there: one sheet,
// first the titles (row 0) of columns cells.Left .. Right, frozen, then the
// rows of `cells` other than row 0 in their order. A cell IsSheetNumber takes
// is a number; every other cell is text, never a formula; cells never written
// are left empty. Each column is as wide as its widest text. Raises
// std::runtime_error with the reason, in CP932, when the cells do not fit a
// sheet (over 1,048,576 rows or 16,384 columns, a text over 32,767
// characters) or the file cannot be written; a file may then be left at
// `path`.
void SaveCellsAsXlsx(const DataTable& table, const CellBlock& cells, const std::string& path);

}  // namespace vexalo
