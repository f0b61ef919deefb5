// Our conversions against glibc iconv turning the same lines into CP932, one
// line per call as the message parser converts them.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "OrderText.h"
#include "jconv/JisConv.h"

namespace vexalo::bench {
namespace {

const OrderText& Text() {
  static const OrderText text = MakeOrderText(1 << 20);
  return text;
}

void BM_ConvertJisToSjis(benchmark::State& state) {
  const TJisConv conv;
  for (auto _ : state) {
    for (const std::string& line : Text().jis)
      benchmark::DoNotOptimize(conv.ConvertJisToSjis(line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().jisBytes));
}
BENCHMARK(BM_ConvertJisToSjis);

void BM_ConvertEucToSjis(benchmark::State& state) {
  const TJisConv conv;
  for (auto _ : state) {
    for (const std::string& line : Text().euc)
      benchmark::DoNotOptimize(conv.ConvertEucToSjis(line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().eucBytes));
}
BENCHMARK(BM_ConvertEucToSjis);

// iconv gets the same chance: one descriptor for the whole run, reset per line,
// and a result string per line like ours.
void IconvLines(benchmark::State& state, const char* from, const std::vector<std::string>& lines,
                size_t bytes) {
  const iconv_t cd = iconv_open("CP932", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  for (auto _ : state) {
    for (const std::string& line : lines) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      std::string out(line.size(), '\0');
      char* in = const_cast<char*>(line.data());
      size_t inLeft = line.size();
      char* outPtr = out.data();
      size_t outLeft = out.size();
      if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
        state.SkipWithError("iconv refused the text");
        break;
      }
      out.resize(out.size() - outLeft);
      benchmark::DoNotOptimize(out);
    }
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_IconvJisToCp932(benchmark::State& state) {
  IconvLines(state, "ISO-2022-JP", Text().jis, Text().jisBytes);
}
BENCHMARK(BM_IconvJisToCp932);

void BM_IconvEucToCp932(benchmark::State& state) {
  IconvLines(state, "EUC-JP", Text().euc, Text().eucBytes);
}
BENCHMARK(BM_IconvEucToCp932);

}  // namespace
}  // namespace vexalo::bench
