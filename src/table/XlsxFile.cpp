#include "table/XlsxFile.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>
#include <vector>

#include "jconv/Cp932Codec.h"
#include "platform/SharedLibrary.h"
#include "platform/UserTexts.h"
#include "table/DataTable.h"

namespace vexalo {

namespace {

constexpr size_t kMostExactDigits = 15;
// Widths in characters of the sheet's font; a CP932 text is about as wide
// as its bytes (a double-byte character is shown twice as wide).
constexpr double kMinColumnWidth = 4;
constexpr double kMaxColumnWidth = 80;
constexpr double kColumnMargin = 2;

[[noreturn]] void Fail(const std::string& reason) {
  throw std::runtime_error(Cp932Text(UserText::kExcelWriteFailed, {reason}));
}

// libxlsxwriter, loaded for the first export: linked, it (and the libcrypto
// it needs) cost every start-up milliseconds.
struct XlsxLibrary {
  decltype(&lxw_strerror) strerror = nullptr;
  decltype(&workbook_new_opt) workbookNewOpt = nullptr;
  decltype(&workbook_close) workbookClose = nullptr;
  decltype(&workbook_add_worksheet) workbookAddWorksheet = nullptr;
  decltype(&worksheet_write_number) writeNumber = nullptr;
  decltype(&worksheet_write_string) writeString = nullptr;
  decltype(&worksheet_set_column) setColumn = nullptr;
  decltype(&worksheet_freeze_panes) freezePanes = nullptr;
  decltype(&worksheet_set_landscape) setLandscape = nullptr;
  decltype(&worksheet_fit_to_pages) fitToPages = nullptr;
  decltype(&worksheet_repeat_rows) repeatRows = nullptr;
};

XlsxLibrary LoadXlsx() {
  XlsxLibrary xlsx;
  try {
    const SharedLibrary library("libxlsxwriter.so.4");
    library.Bind("lxw_strerror", xlsx.strerror);
    library.Bind("workbook_new_opt", xlsx.workbookNewOpt);
    library.Bind("workbook_close", xlsx.workbookClose);
    library.Bind("workbook_add_worksheet", xlsx.workbookAddWorksheet);
    library.Bind("worksheet_write_number", xlsx.writeNumber);
    library.Bind("worksheet_write_string", xlsx.writeString);
    library.Bind("worksheet_set_column", xlsx.setColumn);
    library.Bind("worksheet_freeze_panes", xlsx.freezePanes);
    library.Bind("worksheet_set_landscape", xlsx.setLandscape);
    library.Bind("worksheet_fit_to_pages", xlsx.fitToPages);
    library.Bind("worksheet_repeat_rows", xlsx.repeatRows);
  } catch (const std::runtime_error& error) {
    Fail(error.what());
  }
  return xlsx;
}

// Loaded on the first call; a load that failed is tried again next time.
const XlsxLibrary& Xlsx() {
  static const XlsxLibrary xlsx = LoadXlsx();
  return xlsx;
}

void Check(lxw_error error, const char* doing) {
  if (error != LXW_NO_ERROR) Fail(std::string(doing) + ": " + Xlsx().strerror(error));
}

// Closes the workbook on every way out, which frees it: an error raised
// half-way must not leak a sheet of a million rows.
class Workbook {
 public:
  explicit Workbook(const std::string& path) {
    lxw_workbook_options options{};
    // Rows go to a temporary file as they are written, so memory stays flat
    // whatever the table's size; they are written in order anyway.
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    book_ = Xlsx().workbookNewOpt(path.c_str(), &options);
    if (book_ == nullptr) Fail(path);
  }
  ~Workbook() {
    if (book_ != nullptr) Xlsx().workbookClose(book_);
  }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  lxw_workbook* Get() const { return book_; }

  void Close() {
    lxw_workbook* book = std::exchange(book_, nullptr);
    Check(Xlsx().workbookClose(book), "close");
  }

 private:
  lxw_workbook* book_ = nullptr;
};

class SheetWriter {
 public:
  SheetWriter(lxw_worksheet* sheet, size_t columns) : sheet_(sheet), widths_(columns, 0) {}

  void Row(lxw_row_t row, const std::vector<std::string_view>& cells, bool titles) {
    for (size_t col = 0; col < cells.size(); ++col) {
      const std::string_view cell = cells[col];
      if (cell.empty()) continue;
      const auto sheetCol = static_cast<lxw_col_t>(col);
      if (!titles && IsSheetNumber(cell)) {
        Check(Xlsx().writeNumber(sheet_, row, sheetCol,
                                 std::strtod(std::string(cell).c_str(), nullptr), nullptr),
              "number");
      } else {
        Check(Xlsx().writeString(sheet_, row, sheetCol, Cp932ToUtf8(cell).c_str(), nullptr),
              "text");
      }
      widths_[col] = std::max(widths_[col], cell.size());
    }
  }

  void SetWidths() {
    for (size_t col = 0; col < widths_.size(); ++col) {
      const double width = std::clamp(static_cast<double>(widths_[col]) + kColumnMargin,
                                      kMinColumnWidth, kMaxColumnWidth);
      const auto sheetCol = static_cast<lxw_col_t>(col);
      Check(Xlsx().setColumn(sheet_, sheetCol, sheetCol, width, nullptr), "width");
    }
  }

 private:
  lxw_worksheet* sheet_;
  std::vector<size_t> widths_;
};

}  // namespace

bool IsSheetNumber(std::string_view cell) {
  const bool negative = !cell.empty() && cell.front() == '-';
  if (negative) cell.remove_prefix(1);
  const size_t point = cell.find('.');
  const std::string_view whole = cell.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : cell.substr(point + 1);
  const auto allDigits = [](std::string_view part) {
    return !part.empty() &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!allDigits(whole)) return false;
  if (point != std::string_view::npos && !allDigits(fraction)) return false;
  if (whole.size() > 1 && whole.front() == '0') return false;
  if (whole.size() + fraction.size() > kMostExactDigits) return false;
  const auto isZero = [](char c) { return c == '0'; };
  return !negative || !std::all_of(whole.begin(), whole.end(), isZero) ||
         !std::all_of(fraction.begin(), fraction.end(), isZero);
}

void SaveCellsAsXlsx(const DataTable& table, const CellBlock& cells, const std::string& path) {
  const CellBlock block{std::min(cells.Left, cells.Right), std::max(cells.Left, cells.Right),
                        cells.Rows};
  const size_t columns = static_cast<size_t>(block.Right) - static_cast<size_t>(block.Left) + 1;
  const size_t dataRows = static_cast<size_t>(
      std::count_if(block.Rows.begin(), block.Rows.end(), [](int32_t row) { return row != 0; }));
  if (columns > LXW_COL_MAX)
    Fail(std::to_string(columns) + " columns > " + std::to_string(LXW_COL_MAX));
  if (dataRows + 1 > LXW_ROW_MAX)
    Fail(std::to_string(dataRows + 1) + " rows > " + std::to_string(LXW_ROW_MAX));

  Workbook book(path);
  lxw_worksheet* sheet = Xlsx().workbookAddWorksheet(book.Get(), nullptr);
  if (sheet == nullptr) Fail("sheet");
  SheetWriter writer(sheet, columns);
  std::vector<std::string_view> rowCells;
  table.CellsInRange(0, block.Left, block.Right, rowCells);
  writer.Row(0, rowCells, true);
  lxw_row_t sheetRow = 1;
  for (const int32_t row : block.Rows) {
    if (row == 0) continue;
    table.CellsInRange(row, block.Left, block.Right, rowCells);
    writer.Row(sheetRow++, rowCells, false);
  }
  writer.SetWidths();
  Xlsx().freezePanes(sheet, 1, 0);
  // Printed, the columns fit the width of a landscape page and every page
  // repeats the titles.
  Xlsx().setLandscape(sheet);
  Xlsx().fitToPages(sheet, 1, 0);
  Check(Xlsx().repeatRows(sheet, 0, 0), "titles");
  book.Close();
}

}  // namespace vexalo
