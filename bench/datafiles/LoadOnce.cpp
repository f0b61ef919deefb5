// One cold start-up load in a fresh process, as the program does it: reads
// and counts the lines of the file first (the yardstick), then loads it, and
// reports both times, their ratio and the process's peak resident memory
// against the file's size.
//
//   datafiles_load_once [FILE]   loads FILE, or a generated 1,000,000-line
//                                AllData.csv in a temporary folder
//   datafiles_load_once --write FILE [LINES]
//                                only writes that generated file (LINES lines,
//                                default 1,000,000) to FILE, for scripts that
//                                time other programs over the same bytes

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "AllDataGenerator.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"

namespace {

constexpr long long kGeneratedLines = 1000000;

struct Times {
  double cpuMs = 0;
  double wallMs = 0;
};

template <typename Work>
Times Measure(Work work) {
  timespec cpu0{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
  const auto wall0 = std::chrono::steady_clock::now();
  work();
  timespec cpu1{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
  const auto wall1 = std::chrono::steady_clock::now();
  return {(cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6,
          std::chrono::duration<double, std::milli>(wall1 - wall0).count()};
}

long long CountLines(const std::string& path) {
  std::vector<char> buffer(size_t{1} << 20);
  const int fd = ::open(path.c_str(), O_RDONLY);
  long long lines = 0;
  for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
    lines += std::count(buffer.data(), buffer.data() + got, '\r');
  }
  ::close(fd);
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string_view(argv[1]) == "--write") {
    vexalo::bench::WriteAllDataFile(argv[2], argc > 3 ? std::atoll(argv[3]) : kGeneratedLines);
    return 0;
  }
  std::string folder;
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else {
    folder = (std::filesystem::temp_directory_path() / "vexalo-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return 1;
    path = folder + "/" + vexalo::kAllDataFileName;
    vexalo::bench::WriteAllDataFile(path, kGeneratedLines);
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 1;
  const double fileMb = info.st_size / 1048576.0;

  long long lines = 0;
  const Times read = Measure([&] { lines = CountLines(path); });
  vexalo::DataTable table;
  vexalo::CellPoint cellPos;
  const Times load = Measure([&] { vexalo::LoadAllData(table, path, cellPos); });

  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const double peakMb = usage.ru_maxrss / 1024.0;
  std::printf("file: %.1f MiB, %lld lines, %d rows loaded\n", fileMb, lines, cellPos.Y - 1);
  std::printf("read and count lines: %.1f ms CPU, %.1f ms wall\n", read.cpuMs, read.wallMs);
  std::printf("LoadAllData:          %.1f ms CPU, %.1f ms wall\n", load.cpuMs, load.wallMs);
  std::printf("ratio: %.2fx CPU, %.2fx wall (goal <= 4x)\n", load.cpuMs / read.cpuMs,
              load.wallMs / read.wallMs);
  std::printf("peak RSS: %.1f MiB (goal <= 2 x file + 50 = %.1f MiB)\n", peakMb, 2 * fileMb + 50);
  if (!folder.empty()) std::filesystem::remove_all(folder);
  return 0;
}
