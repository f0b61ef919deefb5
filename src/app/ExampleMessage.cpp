#include "app/ExampleMessage.h"

#include <utility>

#include "jconv/Cp932Codec.h"

namespace vexalo {

namespace {

constexpr std::string_view kRule = "------------------------------------------------";

// Shown only, never parsed: kept readable as UTF-8 and converted once.
std::string Cp932(std::string_view utf8) { return Utf8ToCp932(utf8); }

}  // namespace

std::string ExampleMessageText(std::string_view separator) {
  const std::pair<std::string_view, std::string_view> items[] = {
      {"品名", "薄口しょうゆ"},
      {"数量", "11"},
      {"住所（〒）", "222-2222"},
      {"住所（県名）", "神奈川"},
      {"住所（その他）", "横浜市中区港町9-99"},
      {"電話番号", "045-000-0000"},
      {"配達指定", "夜間"},
  };

  std::string text = Cp932("以下は反応するヘッダ行をX-VEXALO: defaultとした場合の例です。");
  text += kRule;
  const auto line = [&text](std::string_view cp932) {
    text += "\r\n";
    text += cp932;
  };
  line(Cp932("Subject: 商品ご注文"));
  line("From: order-form@shop.example");
  line("To: orders@vexalo.example");
  line("X-VEXALO: default");
  line("Date: Mon, 10 Sep 2001 11:43:30 +0900");
  line("MIME-Version: 1.0");
  line("Content-Type: text/plain; charset=iso-2022-jp");
  line("");
  for (const auto& [name, value] : items) {
    line(Cp932(name) + std::string(separator) + Cp932(value));
  }
  line(Cp932("%:このコメント行（パーセントとコロン）は処理されません。"));
  line(kRule);
  line(Cp932("詳しくは付属説明書をご覧下さい。"));
  return text;
}

}  // namespace vexalo
