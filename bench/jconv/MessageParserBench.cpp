// ProcessMessageLine over 10 MB of ISO-2022-JP body lines, cut into order
// mails of a dozen items as the run meets them: each message gets its header,
// its items in one working row, and a reset before the next.

#include <benchmark/benchmark.h>

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
      benchmark::DoNotOptimize(messageState.RowText);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.jisBytes));
}
BENCHMARK(BM_ProcessMessageLine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vexalo::bench
