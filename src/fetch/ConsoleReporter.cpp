#include "fetch/ConsoleReporter.h"

#include "jconv/Cp932Codec.h"

namespace vexalo {

void ConsoleReporter::ShowStatus(const std::string& text) { PrintLine(text); }

void ConsoleReporter::ShowMessage(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  PrintLine(lines);
}

bool ConsoleReporter::TrustCertificate(const CertificateQuestion& question) {
  ShowMessage(CertificateFactsText(question));
  PrintLine(
      "To trust this certificate for this server, add this line to section [POP3] of "
      "Vexalo.ini:");
  PrintLine(CertificateTrustLine(question));
  return false;
}

void ConsoleReporter::PrintLine(const std::string& cp932) {
  const std::string utf8 = Cp932ToUtf8(cp932);
  std::fwrite(utf8.data(), 1, utf8.size(), out_);
  std::fputc('\n', out_);
  // Each line goes out at once, so a log collected by cron or a timer shows
  // how far a run got even when it is killed.
  std::fflush(out_);
}

}  // namespace vexalo
