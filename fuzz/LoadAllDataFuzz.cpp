// AllData.csv as a damaged disk, another program or an editor may leave it:
// loaded whole, then loaded again as rows appended after its first half, and
// a line appended to it must load back as the last row.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace {

// One file for every input, in a folder of the fuzzer's own; in memory where
// the system has /dev/shm, since a disk file system flushes a file emptied and
// written again on every close, which would make each input cost a disk write.
const std::string& FilePath() {
  static const std::string path = [] {
    char inMemory[] = "/dev/shm/vexalo-fuzz-XXXXXX";
    char onDisk[] = "/tmp/vexalo-fuzz-XXXXXX";
    const char* folder = ::mkdtemp(inMemory);
    if (folder == nullptr) folder = ::mkdtemp(onDisk);
    if (folder == nullptr) ::abort();
    return std::string(folder) + "/AllData.csv";
  }();
  static const bool cleanupSet = std::atexit([] {
                                   ::unlink(path.c_str());
                                   ::rmdir(path.substr(0, path.rfind('/')).c_str());
                                 }) == 0;
  (void)cleanupSet;
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) ::abort();
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) ::abort();
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  WriteFile(path, data, size / 2);
  vexalo::DataTable table;
  vexalo::CellPoint cellPos;
  long long held = vexalo::LoadAllData(table, path, cellPos);
  WriteFile(path, data, size);
  held = vexalo::LoadAppendedRows(table, path, held, cellPos);

  vexalo::AppendLine(path, "stamp,fuzz-id,value");
  vexalo::DataTable reloaded;
  vexalo::CellPoint reloadedPos;
  vexalo::LoadAllData(reloaded, path, reloadedPos);
  if (reloaded.Cell(1, reloadedPos.Y - 1) != "fuzz-id") __builtin_trap();
  return 0;
}
