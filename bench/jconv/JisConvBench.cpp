// Our conversions against glibc iconv turning the same text into CP932: one
// line per call as the message parser converts them (arg 0), and the whole
// text in one call (arg 1), which shows the conversion without the per-call
// cost of a result string. BM_Decode* time the decoder the parser uses,
// which also checks that what it keeps is CP932; the goal is 4x iconv.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "OrderText.h"
#include "jconv/JisConv.h"
#include "jconv/MailTextDecoder.h"

namespace vexalo::bench {
namespace {

struct Input {
  std::vector<std::string> lines;
  size_t bytes = 0;
};

// Arg 0: the text's lines; arg 1: the lines joined by line feeds (each line
// ends in ASCII, so the joined text is valid in both encodings).
const Input& TextFor(const benchmark::State& state, bool euc) {
  static const OrderText text = MakeOrderText(1 << 20);
  static const Input inputs[2][2] = {
      {{text.jis, text.jisBytes}, {{Join(text.jis)}, text.jisBytes + text.jis.size()}},
      {{text.euc, text.eucBytes}, {{Join(text.euc)}, text.eucBytes + text.euc.size()}},
  };
  return inputs[euc][state.range(0)];
}

template <typename Convert>
void TimeOurs(benchmark::State& state, const Input& input, Convert convert) {
  for (auto _ : state) {
    for (const std::string& line : input.lines) benchmark::DoNotOptimize(convert(line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.bytes));
}

void BM_ConvertJisToSjis(benchmark::State& state) {
  const TJisConv conv;
  TimeOurs(state, TextFor(state, false),
           [&conv](const std::string& line) { return conv.ConvertJisToSjis(line); });
}
BENCHMARK(BM_ConvertJisToSjis)->Arg(0)->Arg(1);

void BM_ConvertEucToSjis(benchmark::State& state) {
  const TJisConv conv;
  TimeOurs(state, TextFor(state, true),
           [&conv](const std::string& line) { return conv.ConvertEucToSjis(line); });
}
BENCHMARK(BM_ConvertEucToSjis)->Arg(0)->Arg(1);

// The lines as the message parser stores them: through the mail text decoder,
// which also makes sure every byte kept is CP932, into one string that every
// line reuses, as the parser keeps one.
void TimeDecoder(benchmark::State& state, const char* charset, const Input& input) {
  const TJisConv conv;
  TMailTextDecoder decoder(conv);
  decoder.Start(charset);
  std::string text;
  TimeOurs(state, input, [&decoder, &text](const std::string& line) {
    decoder.DecodeLine(line, text);
    return text.data();
  });
}

void BM_DecodeJisLines(benchmark::State& state) {
  TimeDecoder(state, "ISO-2022-JP", TextFor(state, false));
}
BENCHMARK(BM_DecodeJisLines)->Arg(0)->Arg(1);

void BM_DecodeEucLines(benchmark::State& state) {
  TimeDecoder(state, "EUC-JP", TextFor(state, true));
}
BENCHMARK(BM_DecodeEucLines)->Arg(0)->Arg(1);

// iconv gets the same chance: one descriptor for the whole run, reset per
// call, and one result string that every call reuses like the decoder's.
void TimeIconv(benchmark::State& state, const char* from, const Input& input) {
  const iconv_t cd = iconv_open("CP932", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out;
  for (auto _ : state) {
    for (const std::string& line : input.lines) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out.resize(line.size());
      char* in = const_cast<char*>(line.data());
      size_t inLeft = line.size();
      char* outPtr = out.data();
      size_t outLeft = out.size();
      if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
        state.SkipWithError("iconv refused the text");
        break;
      }
      out.resize(out.size() - outLeft);
      benchmark::DoNotOptimize(out.data());
    }
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.bytes));
}

void BM_IconvJisToCp932(benchmark::State& state) {
  TimeIconv(state, "ISO-2022-JP", TextFor(state, false));
}
BENCHMARK(BM_IconvJisToCp932)->Arg(0)->Arg(1);

void BM_IconvEucToCp932(benchmark::State& state) {
  TimeIconv(state, "EUC-JP", TextFor(state, true));
}
BENCHMARK(BM_IconvEucToCp932)->Arg(0)->Arg(1);

}  // namespace
}  // namespace vexalo::bench
