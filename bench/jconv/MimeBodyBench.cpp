// The parser over mail as it is sent today: UTF-8 order lines in base64 and in
// quoted-printable bodies (cut into mails of a dozen items, as the plain
// parser's benchmark does), one picked mail carrying a 10 MB base64
// attachment next to reading the same lines, and the UTF-8 -> CP932 step
// against glibc iconv doing the same conversion.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "OrderText.h"
#include "ParserUnderTest.h"
#include "cipher/Base64.h"
#include "jconv/IconvText.h"
#include "jconv/UnicodeToCp932.h"

namespace vexalo::bench {
namespace {

constexpr size_t kBodyBytes = 10 << 20;
constexpr size_t kItemsPerMessage = 12;

IconvSkip Refuse(std::string_view /*rest*/) { throw std::runtime_error("EUC-JP text refused"); }

// The order text's lines in UTF-8.
std::vector<std::string> Utf8OrderLines(size_t minBytes) {
  const OrderText text = MakeOrderText(minBytes * 2 / 3);  // UTF-8 is 3 bytes a kanji
  const IconvHandle toUtf8("UTF-8", "EUC-JP");
  std::vector<std::string> lines;
  for (const std::string& euc : text.euc) lines.push_back(IconvConvert(toUtf8, euc, Refuse));
  return lines;
}

std::vector<std::string> CutLines(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size(); at += width) lines.push_back(text.substr(at, width));
  return lines;
}

std::vector<std::string> Base64Lines(const std::string& bytes) {
  return CutLines(Base64Encode(bytes), 76);
}

// Quoted-printable as mailers write it: every non-ASCII byte escaped, soft
// line breaks before 76 characters.
std::vector<std::string> QuotedPrintableLines(const std::vector<std::string>& textLines) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> lines;
  for (const std::string& text : textLines) {
    std::string line;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (line.size() > 72) {
        lines.push_back(line + "=");
        line.clear();
      }
      if (byte >= 0x80 || c == '=') {
        line += '=';
        line += kHex[byte >> 4];
        line += kHex[byte & 15];
      } else {
        line += c;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

struct Message {
  std::vector<std::string> lines;
  size_t bodyBytes = 0;
};

// Mails of a dozen items each, their bodies encoded by `encode`.
template <typename Encode>
std::vector<Message> OrderMails(const char* encoding, Encode encode) {
  const std::vector<std::string> text = Utf8OrderLines(kBodyBytes);
  std::vector<Message> mails;
  for (size_t first = 0; first < text.size(); first += kItemsPerMessage) {
    const std::vector<std::string> items(
        text.begin() + static_cast<ptrdiff_t>(first),
        text.begin() + static_cast<ptrdiff_t>(std::min(first + kItemsPerMessage, text.size())));
    Message mail;
    mail.lines = {"Subject: order", "X-VEXALO: default", "Content-Type: text/plain; charset=utf-8",
                  std::string("Content-Transfer-Encoding: ") + encoding, ""};
    for (std::string& line : encode(items)) {
      mail.bodyBytes += line.size() + 2;
      mail.lines.push_back(std::move(line));
    }
    mails.push_back(std::move(mail));
  }
  return mails;
}

const std::string& Utf8Text() {
  static const std::string text = [] {
    std::string joined;
    for (const std::string& line : Utf8OrderLines(kBodyBytes)) joined.append(line).append("\n");
    return joined;
  }();
  return text;
}

size_t ParseAll(const std::vector<Message>& mails) {
  testing::ParserUnderTest rig;
  size_t items = 0;
  for (const Message& mail : mails) {
    const ParsedMessage message = rig.Read(mail.lines);
    items += message.values.size();
    benchmark::DoNotOptimize(message.values.data());
  }
  return items;
}

size_t TotalBodyBytes(const std::vector<Message>& mails) {
  return std::accumulate(mails.begin(), mails.end(), size_t{0},
                         [](size_t sum, const Message& mail) { return sum + mail.bodyBytes; });
}

void RunParser(benchmark::State& state, const std::vector<Message>& mails) {
  size_t items = 0;
  for (auto _ : state) items = ParseAll(mails);
  state.counters["items"] = static_cast<double>(items);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBodyBytes(mails)));
}

void BM_ParseUtf8Base64Bodies(benchmark::State& state) {
  static const std::vector<Message> mails = OrderMails("base64", [](const auto& items) {
    std::string text;
    for (const std::string& item : items) text.append(item).append("\r\n");
    return Base64Lines(text);
  });
  RunParser(state, mails);
}
BENCHMARK(BM_ParseUtf8Base64Bodies)->Unit(benchmark::kMillisecond);

void BM_ParseUtf8QuotedPrintableBodies(benchmark::State& state) {
  static const std::vector<Message> mails =
      OrderMails("quoted-printable", [](const auto& items) { return QuotedPrintableLines(items); });
  RunParser(state, mails);
}
BENCHMARK(BM_ParseUtf8QuotedPrintableBodies)->Unit(benchmark::kMillisecond);

// The same text as one picked mail of 20 lines of 512 KB each: long lines
// are built from many base64 lines and must still cost linear time.
void BM_ParseBase64BodyOfLongLines(benchmark::State& state) {
  static const std::vector<Message> mails = [] {
    const std::string& text = Utf8Text();
    std::string longLines;
    for (size_t at = 0; at < text.size(); at += 512 * 1024) {
      std::string piece = text.substr(at, 512 * 1024);
      std::replace(piece.begin(), piece.end(), '\n', ' ');
      longLines.append("item:").append(piece).append("\r\n");
    }
    Message mail;
    mail.lines = {"Subject: order", "X-VEXALO: default", "Content-Type: text/plain; charset=utf-8",
                  "Content-Transfer-Encoding: base64", ""};
    for (std::string& line : Base64Lines(longLines)) {
      mail.bodyBytes += line.size() + 2;
      mail.lines.push_back(std::move(line));
    }
    return std::vector<Message>{std::move(mail)};
  }();
  RunParser(state, mails);
}
BENCHMARK(BM_ParseBase64BodyOfLongLines)->Unit(benchmark::kMillisecond);

// One picked order whose customer attached a 10 MB file.
const std::vector<Message>& MailWithAttachment() {
  static const std::vector<Message> mails = [] {
    std::string file(kBodyBytes, '\0');
    uint32_t seed = 777;
    for (char& byte : file) {
      seed = seed * 1103515245u + 12345u;
      byte = static_cast<char>(seed >> 24);
    }
    Message mail;
    mail.lines = {"Subject: order",
                  "X-VEXALO: default",
                  "Content-Type: multipart/mixed; boundary=\"==b==\"",
                  "",
                  "--==b==",
                  "Content-Type: text/plain; charset=utf-8",
                  ""};
    for (const std::string& item : Utf8OrderLines(400)) mail.lines.push_back(item);
    mail.lines.insert(mail.lines.end(),
                      {"--==b==", "Content-Type: application/pdf; name=\"order.pdf\"",
                       "Content-Disposition: attachment; filename=\"order.pdf\"",
                       "Content-Transfer-Encoding: base64", ""});
    for (std::string& line : Base64Lines(file)) {
      mail.bodyBytes += line.size() + 2;
      mail.lines.push_back(std::move(line));
    }
    mail.lines.push_back("--==b==--");
    return std::vector<Message>{std::move(mail)};
  }();
  return mails;
}

void BM_ParseMailWith10MBAttachment(benchmark::State& state) {
  RunParser(state, MailWithAttachment());
}
BENCHMARK(BM_ParseMailWith10MBAttachment)->Unit(benchmark::kMillisecond);

// What reading the same mail costs at the least: every byte of every line
// looked at once.
void BM_ReadMailWith10MBAttachment(benchmark::State& state) {
  const std::vector<Message>& mails = MailWithAttachment();
  for (auto _ : state) {
    size_t sum = 0;
    for (const std::string& line : mails.front().lines) {
      for (const char c : line) sum += static_cast<unsigned char>(c);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBodyBytes(mails)));
}
BENCHMARK(BM_ReadMailWith10MBAttachment)->Unit(benchmark::kMillisecond);

void BM_Utf8ToCp932Table(benchmark::State& state) {
  const std::string& text = Utf8Text();
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendUtf8AsCp932(out, text);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8ToCp932Table)->Unit(benchmark::kMillisecond);

// glibc iconv on the same text in one call, its best case.
void BM_Utf8ToCp932Iconv(benchmark::State& state) {
  const std::string& text = Utf8Text();
  const iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string out(text.size(), '\0');
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      state.SkipWithError("iconv refused the text");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8ToCp932Iconv)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vexalo::bench
