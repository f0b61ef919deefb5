#include "table/TableExport.h"

#include <sys/stat.h>

#include "platform/ReplacementFile.h"
#include "table/DataFiles.h"
#include "table/XlsxFile.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kXlsxSuffix = ".xlsx";

// An export is read by others as any new file of the user's would be, unlike
// the program's own files, which are the user's alone.
unsigned NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool IsXlsxFileName(std::string_view path) {
  return path.size() >= kXlsxSuffix.size() &&
         EqualIgnoringAsciiCase(path.substr(path.size() - kXlsxSuffix.size()), kXlsxSuffix);
}

// Written through a ReplacementFile: a fresh name nobody can have put there
// (in a shared folder a fixed one could be a planted link), renamed over
// `path` once whole.
void ExportCells(const DataTable& table, const CellBlock& cells, const std::string& path,
                 FormulaGuard guard) {
  ReplacementFile replacement(path);
  replacement.File().SetPermissions(NewFileMode());
  const std::string& temporary = replacement.File().Path();
  if (IsXlsxFileName(path)) {
    SaveCellsAsXlsx(table, cells, temporary);
  } else {
    SaveCells(table, cells, temporary, guard);
  }
  replacement.Commit();
}

}  // namespace vexalo
