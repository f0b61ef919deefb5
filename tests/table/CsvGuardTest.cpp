#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "TempFolder.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/FormulaGuard.h"
#include "table/GridSelection.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

struct GuardCase {
  const char* cell;
  const char* guarded;  // as a saved CSV line holds it
};

// What a spreadsheet would run gets a leading quote; amounts and ordinary
// text stay exactly as they are.
const GuardCase kGuardCases[] = {
    {"=HYPERLINK(\"http://x\",\"\x8c\xa9\x82\xe9\")",
     "'=HYPERLINK(\"http://x\",\"\x8c\xa9\x82\xe9\")"},
    {"+81 3 1234 5678", "'+81 3 1234 5678"},
    {"-2+3", "'-2+3"},
    {"@SUM(A1:A2)", "'@SUM(A1:A2)"},
    {"\tcmd", "'\tcmd"},
    {"-", "'-"},
    {"-.5", "'-.5"},
    {"-1.", "'-1."},
    {"+3", "'+3"},
    {"3", "3"},
    {"-2", "-2"},
    {"1.5", "1.5"},
    {"-1.25", "-1.25"},
    {"", ""},
    {"a=b", "a=b"},
    {"\x81\x81x", "\x81\x81x"},  // ＝ (full-width) is no formula
};

// A field as a saved CSV holds it: in double quotes, its quotes doubled, when
// it holds a quote, a comma or a line break.
std::string CsvField(std::string_view cell) {
  if (cell.find_first_of("\",\r\n") == std::string_view::npos) return std::string(cell);
  std::string field = "\"";
  for (const char c : cell) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}

TEST(CsvGuard, SavedCellsThatStartLikeFormulasGetAQuote) {
  TempFolder folder;
  DataTable table;
  for (size_t i = 0; i < std::size(kGuardCases); ++i) {
    table.SetCell(0, static_cast<int>(i), kGuardCases[i].cell);
    table.SetCell(1, static_cast<int>(i), kGuardCases[i].cell);
  }
  CellBlock all{0, 1, {}};
  for (size_t i = 0; i < std::size(kGuardCases); ++i) all.Rows.push_back(static_cast<int>(i));

  const std::string path = folder.Path("out.csv");
  SaveCells(table, all, path, FormulaGuard::kOn);
  std::string expected;
  for (const GuardCase& c : kGuardCases) {
    expected.append(CsvField(c.guarded)).append(",").append(CsvField(c.guarded)).append("\r\n");
  }
  EXPECT_EQ(ReadBytes(path), expected);

  // Off, and for the program's own files, cells are written as they are.
  SaveCells(table, all, path, FormulaGuard::kOff);
  std::string plain;
  for (const GuardCase& c : kGuardCases)
    plain.append(CsvField(c.cell)).append(",").append(CsvField(c.cell)).append("\r\n");
  EXPECT_EQ(ReadBytes(path), plain);
}

TEST(CsvGuard, ALeadingCarriageReturnIsGuardedInsideTheQuotes) {
  TempFolder folder;
  DataTable table;
  table.SetCell(0, 0, "\r=1+1");
  const std::string path = folder.Path("out.csv");
  SaveCells(table, {0, 0, {0}}, path, FormulaGuard::kOn);
  EXPECT_EQ(ReadBytes(path), "\"'\r=1+1\"\r\n");
}

// On the clipboard the quote sits inside the double quotes a tab or a quote
// calls for, so the spreadsheet still sees it first.
TEST(CsvGuard, CopiedCellsGetTheQuoteInsideTheirDoubleQuotes) {
  DataTable table;
  table.SetCell(0, 0, "=1+1");
  table.SetCell(1, 0, "\tx");
  table.SetCell(2, 0, "@\"a\"");
  table.SetCell(3, 0, "-2");
  table.SetCell(4, 0, "plain\ttab");
  const CellBlock row{0, 4, {0}};
  EXPECT_EQ(SelectionAsTabText(table, row, FormulaGuard::kOn),
            "'=1+1\t\"'\tx\"\t\"'@\"\"a\"\"\"\t-2\t\"plain\ttab\"\n");
  EXPECT_EQ(SelectionAsTabText(table, row, FormulaGuard::kOff),
            "=1+1\t\"\tx\"\t\"@\"\"a\"\"\"\t-2\t\"plain\ttab\"\n");
}

}  // namespace
}  // namespace vexalo
