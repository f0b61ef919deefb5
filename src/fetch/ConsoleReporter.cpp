#include "fetch/ConsoleReporter.h"

#include "fetch/TerminalText.h"
#include "jconv/Cp932Codec.h"
#include "pop3/SocketErrors.h"
#include "run/FailureCause.h"

namespace vexalo {

void ConsoleReporter::ShowStatus(const std::string& text) {
  lastStatus_ = text;
  if (output_ == FetchOptions::Output::kEveryStatus) PrintLine(out_, text);
}

void ConsoleReporter::ShowMessage(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  messageShown_ = true;
  PrintLine(errors_, lines);
}

void ConsoleReporter::ShowRunError(const std::string& text, const RunFailure& failure) {
  ShowMessage(ShownSocketText(text));
  const std::string cause = FailureCauseLine(failure);
  if (!cause.empty()) PrintLine(errors_, cause);
}

void ConsoleReporter::ShowRunSummary(std::time_t when, int32_t mails, int32_t taken,
                                     int32_t deleted) {
  if (output_ == FetchOptions::Output::kQuiet) return;
  char stamp[32] = "";
  std::tm local{};
  if (localtime_r(&when, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  }
  PrintLine(out_, std::string(stamp) + " " + std::to_string(mails) + " mails looked at, " +
                      std::to_string(taken) + " rows taken, " + std::to_string(deleted) +
                      " deleted");
}

void ConsoleReporter::MessageRefused(int32_t number, const std::string& serverText) {
  PrintLine(errors_, "message " + std::to_string(number) +
                         " not taken, the server refused it: " + serverText);
}

void ConsoleReporter::ShowRunFailed() {
  if (!messageShown_ && !lastStatus_.empty()) PrintLine(errors_, lastStatus_);
}

bool ConsoleReporter::TrustCertificate(const CertificateQuestion& question) {
  ShowMessage(CertificateFactsText(question));
  PrintLine(errors_,
            "To trust this certificate for this server, add this line to section [POP3] of "
            "Vexalo.ini:");
  PrintLine(errors_, CertificateTrustLine(question));
  return false;
}

void ConsoleReporter::PrintLine(std::FILE* to, const std::string& cp932) {
  // Status texts and message boxes carry what the server said.
  const std::string utf8 = EscapeControls(Cp932ToUtf8(cp932));
  std::fwrite(utf8.data(), 1, utf8.size(), to);
  std::fputc('\n', to);
  // Each line goes out at once, so a log collected by cron or a timer shows
  // how far a run got even when it is killed.
  std::fflush(to);
}

}  // namespace vexalo
