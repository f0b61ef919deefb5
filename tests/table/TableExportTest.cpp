#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "TempFolder.h"
#include "XlsxCells.h"
#include "table/DataTable.h"
#include "table/TableExport.h"

namespace vexalo {
namespace {

using testing::ReadBack;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class TableExportTest : public ::testing::Test {
 protected:
  TableExportTest() {
    table.SetRow(0, {"stamp", "id", "name", "qty"});
    table.SetRow(1, {"s", "m1", "=cmd|' /C calc'!A0", "-2"});
  }

  // The file holds nothing but the old text, and no temporary file is left.
  void ExpectOnlyTheOldFile(const std::string& path) {
    EXPECT_EQ(ReadBytes(path), "old");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Root())) {
      ++files;
    }
    EXPECT_EQ(files, 1);
  }

  DataTable table;
  TempFolder folder;
  const CellBlock all{0, 3, {0, 1}};
};

TEST_F(TableExportTest, TheNameChoosesCsvOrExcel) {
  const std::string csv = folder.Path("out.csv");
  WriteBytes(csv, "old");
  ExportCells(table, all, csv, FormulaGuard::kOn);
  EXPECT_EQ(ReadBytes(csv), "stamp,id,name,qty\r\ns,m1,'=cmd|' /C calc'!A0,-2\r\n");

  const std::string xlsx = folder.Path("out.XLSX");
  ExportCells(table, all, xlsx, FormulaGuard::kOn);
  const auto cells = ReadBack(xlsx);
  EXPECT_EQ(cells.at("C2"), "s \"=cmd|' /C calc'!A0\"");  // text in a workbook: no quote needed
  EXPECT_EQ(cells.at("D2"), "n -2");

  EXPECT_TRUE(IsXlsxFileName("a.Xlsx"));
  EXPECT_FALSE(IsXlsxFileName("a.xlsx.csv"));
  EXPECT_FALSE(IsXlsxFileName("xlsx"));
}

TEST_F(TableExportTest, ANewFileIsReadableAsAnyNewFileOfTheUser) {
  const mode_t before = ::umask(022);
  ExportCells(table, all, folder.Path("shared.csv"), FormulaGuard::kOn);
  ::umask(before);
  struct stat info {};
  ASSERT_EQ(::stat(folder.Path("shared.csv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644U);
}

TEST_F(TableExportTest, AFailedExportLeavesTheOldFileAndNoTemporaryOne) {
  const std::string xlsx = folder.Path("out.xlsx");
  WriteBytes(xlsx, "old");
  EXPECT_THROW(ExportCells(table, {0, 20000, {0, 1}}, xlsx, FormulaGuard::kOn), std::runtime_error);
  ExpectOnlyTheOldFile(xlsx);
}

}  // namespace
}  // namespace vexalo
