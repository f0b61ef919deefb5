#include "processing/CsvLine.h"

#include "processing/ByteScan.h"
#include "processing/CommFuncs.h"

namespace vexalo {

void SplitCsvLine(std::string_view line, size_t maxFields, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t start = 0;
  while (fields.size() + 1 < maxFields) {
    const size_t comma = FindByte(line, start, ',');
    if (comma == line.size()) break;
    fields.push_back(TrimText(line.substr(start, comma - start)));
    start = comma + 1;
  }
  const std::string_view last = TrimText(line.substr(start));
  if (fields.empty() || !last.empty()) fields.push_back(last);
}

}  // namespace vexalo
