// The message parser over 10 MB of ISO-2022-JP body lines, cut into order
// mails of a dozen items as the run meets them: each message its header, its
// items, and the finish that hands them over.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "OrderText.h"
#include "ParserUnderTest.h"

namespace vexalo::bench {
namespace {

constexpr size_t kBodyBytes = 10 << 20;
constexpr size_t kItemsPerMessage = 12;

void BM_MessageParser(benchmark::State& state) {
  static const OrderText text = MakeOrderText(kBodyBytes);
  const char* header[] = {"Subject: order", "Content-Type: text/plain;",
                          "\tcharset=\"ISO-2022-JP\"", "X-VEXALO: default", ""};
  testing::ParserUnderTest rig;
  TMessageParser& parser = rig.parser;
  for (auto _ : state) {
    for (size_t first = 0; first < text.jis.size(); first += kItemsPerMessage) {
      for (const char* line : header) parser.Line(line);
      const size_t last = std::min(first + kItemsPerMessage, text.jis.size());
      for (size_t i = first; i < last; ++i) parser.Line(text.jis[i]);
      const ParsedMessage message = parser.Finish();
      benchmark::DoNotOptimize(message.values.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.jisBytes));
}
BENCHMARK(BM_MessageParser)->Unit(benchmark::kMillisecond);

// One message of N item lines, as a run reads it: the time per item must not
// grow with N (the complexity fit should say O(N)).
void BM_WideMessage(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  std::vector<std::string> lines;
  for (int i = 0; i < items; ++i) lines.push_back("item" + std::to_string(i) + ":value");
  testing::ParserUnderTest rig;
  for (auto _ : state) {
    for (const char* line : {"X-VEXALO: default", ""}) rig.parser.Line(line);
    for (const std::string& line : lines) rig.parser.Line(line);
    const ParsedMessage message = rig.parser.Finish();
    benchmark::DoNotOptimize(message.names.data());
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
