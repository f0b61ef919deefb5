// ProcessMessageLine over 10 MB of ISO-2022-JP body lines, cut into order
// mails of a dozen items as the run meets them: each message gets its header,
// its items in one working row, and a reset before the next.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "OrderText.h"
#include "ParserUnderTest.h"

namespace vexalo::bench {
namespace {

constexpr size_t kBodyBytes = 10 << 20;
constexpr size_t kItemsPerMessage = 12;

void BM_ProcessMessageLine(benchmark::State& state) {
  static const OrderText text = MakeOrderText(kBodyBytes);
  const char* header[] = {"Subject: order", "Content-Type: text/plain;",
                          "\tcharset=\"ISO-2022-JP\"", "X-VEXALO: default", ""};
  testing::ParserUnderTest rig;
  TMessageParser& parser = rig.parser;
  CellPoint& cellPos = rig.cellPos;
  MessageState& messageState = rig.state;
  for (auto _ : state) {
    for (size_t first = 0; first < text.jis.size(); first += kItemsPerMessage) {
      parser.ResetMessageState();
      cellPos.X = 2;
      for (const char* line : header)
        parser.ProcessMessageLine(line, "UID-0001", "2024/06/04 10:20:00");
      const size_t last = std::min(first + kItemsPerMessage, text.jis.size());
      for (size_t i = first; i < last; ++i) {
        parser.ProcessMessageLine(text.jis[i], "UID-0001", "2024/06/04 10:20:00");
      }
      parser.WriteItems();
      benchmark::DoNotOptimize(messageState.RowText);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.jisBytes));
}
BENCHMARK(BM_ProcessMessageLine)->Unit(benchmark::kMillisecond);

// One message of N item lines into the working row and the title row, as a
// run takes it: the time per item must not grow with N (the complexity fit
// should say O(N)). Twice, so that the second message meets N titles already
// in row 0.
void BM_WideMessage(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  std::vector<std::string> lines;
  for (int i = 0; i < items; ++i) lines.push_back("item" + std::to_string(i) + ":value");
  PlainSettingsFields fields;
  fields.headerToken = "X-VEXALO: default";
  fields.splitToken = ":";
  const TJisConv jisConv;
  for (auto _ : state) {
    DataTable table;
    CellPoint cellPos;
    MessageState messageState;
    TMessageParser parser(table, fields, jisConv, cellPos, messageState);
    for (int message = 0; message < 2; ++message) {
      parser.ResetMessageState();
      cellPos.X = 2;
      for (const char* line : {"X-VEXALO: default", ""}) parser.ProcessMessageLine(line, "U", "S");
      for (const std::string& line : lines) parser.ProcessMessageLine(line, "U", "S");
      parser.WriteItems();
      ++cellPos.Y;
    }
    benchmark::DoNotOptimize(table.Cell(items + 1, 2));
  }
  state.SetComplexityN(items);
}
BENCHMARK(BM_WideMessage)
    ->RangeMultiplier(4)
    ->Range(1000, 64000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace vexalo::bench
