// The steps a picked body's text goes through before its lines become items:
// transfer decoding and HTML made text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/HtmlText.h"
#include "mail/TransferDecoder.h"

namespace vexalo {
namespace {

using Lines = std::vector<std::string>;

Lines Decode(TransferEncoding encoding, const Lines& input) {
  TTransferDecoder decoder;
  decoder.Start(encoding);
  Lines out;
  const TextLineSink sink = [&out](std::string_view line) { out.emplace_back(line); };
  for (const auto& line : input) decoder.Line(line, sink);
  decoder.Finish(sink);
  return out;
}

TEST(TransferDecoder, HandsOnTheLinesOfTheText) {
  struct Case {
    TransferEncoding encoding;
    Lines input;
    Lines output;
    const char* what;
  };
  const Case cases[] = {
      {teAsIs, {"a:1", "", " =41"}, {"a:1", "", " =41"}, "as is"},
      // "a:1\r\nb:2\nc:3" cut in the middle of its groups and lines
      {teBase64, {"YToxDQpi", "OjIKYzoz"}, {"a:1", "b:2", "c:3"}, "base64, last line unended"},
      {teBase64, {"YToxDQo="}, {"a:1"}, "base64 ending in a line end"},
      {teBase64, {"DQoNCg=="}, {"", ""}, "base64 of empty lines"},
      {teQuotedPrintable, {"a:=", "1", "b:2=0D=0Ac:3"}, {"a:1", "b:2", "c:3"}, "qp"},
      {teQuotedPrintable, {"a:1=", "=", "", "b="}, {"a:1", "b"}, "qp soft breaks, one at the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.encoding, c.input), c.output) << c.what;
}

TEST(TransferDecoder, OverlongDecodedLineKeepsItsCappedStartOnly) {
  // Quoted-printable soft breaks can build a line of any length from lines
  // the POP3 client takes.
  Lines input(kMaxDecodedLineBytes / 1000 + 5, std::string(1000, 'x') + "=");
  input.push_back("end");
  input.push_back("next:1");
  const Lines out = Decode(teQuotedPrintable, input);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], std::string(kMaxDecodedLineBytes, 'x'));
  EXPECT_EQ(out[1], "next:1");
}

Lines Html(const Lines& input) {
  THtmlToText html;
  Lines out;
  const TextLineSink sink = [&out](std::string_view line) { out.emplace_back(line); };
  for (const auto& line : input) html.Line(line, sink);
  html.Finish(sink);
  return out;
}

TEST(HtmlToText, LinesAReaderSees) {
  struct Case {
    Lines input;
    Lines output;
    const char* what;
  };
  const Case cases[] = {
      {{"a:1<br>b:2<BR/>c:3"}, {"a:1", "b:2", "c:3"}, "br, any case"},
      {{"a<br><br>b"}, {"a", "", "b"}, "br ends an empty line too"},
      {{"<div><p>a</p>", "  </div>", "<p>b</p>"}, {"a", "b"}, "block ends make no empty lines"},
      {{"<ul><li>a<li>b</ul>"}, {"a", "b"}, "list items"},
      {{"<tr><td>a:</td><td>1</td></tr><tr><td>b:</td>", "<td>2</td></tr>"},
       {"a: 1", "b: 2"},
       "table rows, cells apart"},
      {{"a  \t", "  b"}, {"a b"}, "runs of blanks and source line ends are one blank"},
      {{"<style>p>b{}", "</style >x<script type=\"a\">if(a<b)</script>y"}, {"xy"}, "hidden"},
      {{"<title>t</title><!-- a:1 --", "<p>-->z"}, {"z"}, "title and comments"},
      {{"&lt;&gt;&amp;&quot;&apos;&nbsp;&#65;&#x42;&#X43;"}, {"<>&\"' ABC"}, "entities"},
      {{"&#20870;&#x1F385;&#1;"}, {"\x89\x7E\x81\xAC\x81\xAC"}, "numeric: CP932 or geta"},
      {{"AT&T &unknown; &#xZZ; & x"}, {"AT&T &unknown; &#xZZ; & x"}, "no entity: as written"},
      {{"<a href=\"x>y\">link</a> <img src='a.gif' alt=\"&gt;\">"}, {"link"}, "quoted >"},
      {{"\x83\x5C<b>\x95\x5C</b>"}, {"\x83\x5C\x95\x5C"}, "double-byte text kept whole"},
  };
  for (const auto& c : cases) EXPECT_EQ(Html(c.input), c.output) << c.what;
}

}  // namespace
}  // namespace vexalo
