#include "table/CsvLine.h"

#include "table/DataFiles.h"
#include "text/ByteScan.h"
#include "text/CommFuncs.h"

namespace vexalo {

void SplitCsvLine(std::string_view line, size_t maxFields, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t start = 0;
  if (maxFields > 1) {
    // Inlined: it runs for every field of every line of the data file.
    ForEachByte(
        line, ',', [&](size_t comma) __attribute__((always_inline)) {
          fields.push_back(TrimText(line.substr(start, comma - start)));
          start = comma + 1;
          return fields.size() + 1 < maxFields;
        });
  }
  const std::string_view last = TrimText(line.substr(start));
  if (fields.empty() || !last.empty()) fields.push_back(last);
}

void BlankLineBreakers(char* begin, char* end) {
  for (const char breaker : {'\r', '\n', kEndOfFileMark}) ReplaceEvery(begin, end, breaker, ' ');
}

}  // namespace vexalo
