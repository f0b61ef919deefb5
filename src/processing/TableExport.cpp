#include "processing/TableExport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "processing/DataFiles.h"
#include "processing/InOutError.h"
#include "processing/XlsxFile.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kXlsxSuffix = ".xlsx";
constexpr char kTemporarySuffix[] = ".XXXXXX";

// mkstemp's file is the owner's alone; an export is read by others as any
// new file of the user's would be.
void GiveNewFilePermissions(const std::string& path) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::chmod(path.c_str(), 0666 & ~mask) != 0) throw EInOutError(errno, path);
}

}  // namespace

bool IsXlsxFileName(std::string_view path) {
  return path.size() >= kXlsxSuffix.size() &&
         EqualIgnoringAsciiCase(path.substr(path.size() - kXlsxSuffix.size()), kXlsxSuffix);
}

void ExportCells(const DataTable& table, const CellBlock& cells, const std::string& path,
                 FormulaGuard guard) {
  // A fresh name that no one else can have put there: in a shared folder a
  // fixed name could be a link planted to make us write elsewhere.
  std::string temporary = path + kTemporarySuffix;
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw EInOutError(errno, path);
  ::close(fd);
  try {
    GiveNewFilePermissions(temporary);
    if (IsXlsxFileName(path)) {
      SaveCellsAsXlsx(table, cells, temporary);
    } else {
      SaveCells(table, cells, temporary, guard);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) throw EInOutError(errno, path);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

}  // namespace vexalo
