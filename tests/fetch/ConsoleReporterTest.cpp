#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "fetch/ConsoleReporter.h"

namespace vexalo {
namespace {

// An output stream whose text can be read back.
class Capture {
 public:
  Capture() : file_(std::tmpfile(), &std::fclose) {}
  std::FILE* File() const { return file_.get(); }
  std::string Text() const {
    std::rewind(file_.get());
    std::string text;
    for (int c; (c = std::fgetc(file_.get())) != EOF;) text.push_back(static_cast<char>(c));
    return text;
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

// "受信中" and "エラー" in CP932.
constexpr char kStatus[] = "\x8e\xf3\x90\x4d\x92\x86";
constexpr char kError[] = "\x83\x47\x83\x89\x81\x5b";

TEST(ConsoleReporter, EachOutputChoiceOnACompletedRun) {
  struct Case {
    FetchOptions::Output output;
    const char* out;  // a pattern
  };
  const Case cases[] = {
      {FetchOptions::Output::kQuiet, ""},
      {FetchOptions::Output::kSummary,
       R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d 5 mails looked at, 2 rows taken, 1 deleted\n)"},
      {FetchOptions::Output::kEveryStatus,
       "受信中\n受信中\n"
       R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d 5 mails looked at, 2 rows taken, 1 deleted\n)"},
  };
  for (const Case& c : cases) {
    Capture out, errors;
    ConsoleReporter reporter(out.File(), errors.File(), c.output);
    reporter.ShowStatus(kStatus);
    reporter.ShowStatus(kStatus);
    reporter.ShowRunSummary(std::time(nullptr), 5, 2, 1);
    EXPECT_TRUE(std::regex_match(out.Text(), std::regex(c.out))) << out.Text();
    EXPECT_EQ(errors.Text(), "");
  }
}

TEST(ConsoleReporter, FailureIsNeverSilentEvenUnderQuiet) {
  // A message box text: on the error stream, CR LF as line feeds, once.
  Capture out, errors;
  ConsoleReporter reporter(out.File(), errors.File(), FetchOptions::Output::kQuiet);
  reporter.ShowStatus(kStatus);
  reporter.ShowMessage(std::string(kError) + "\r\n" + kError);
  reporter.ShowRunFailed();
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(errors.Text(), "エラー\nエラー\n");

  // A run that stopped on a status text alone: that text is the error.
  Capture statusOut, statusErrors;
  ConsoleReporter stopped(statusOut.File(), statusErrors.File(), FetchOptions::Output::kQuiet);
  stopped.ShowStatus(kError);
  stopped.ShowRunFailed();
  EXPECT_EQ(statusOut.Text(), "");
  EXPECT_EQ(statusErrors.Text(), "エラー\n");
}

// A server's text reaches the terminal of whoever reads the output: its
// control characters are shown, never obeyed (no escape sequence may clear
// the screen, retitle the window or hide the lines before it).
TEST(ConsoleReporter, ControlCharactersFromTheServerAreShownEscaped) {
  const std::string hostile = "-ERR \x1b[2J\x1b]0;owned\x07 gone\rfake line\x7f\x01 tab\tstays";
  const std::string shown = R"(-ERR \x1B[2J\x1B]0;owned\x07 gone\x0Dfake line\x7F\x01 tab)"
                            "\tstays";

  Capture out, errors;
  ConsoleReporter reporter(out.File(), errors.File(), FetchOptions::Output::kEveryStatus);
  reporter.ShowStatus(hostile);
  reporter.ShowRunError(hostile + "\r\n" + kError, RunFailure{});
  EXPECT_EQ(out.Text(), shown + "\n");
  // The box's own line breaks stay line breaks.
  EXPECT_EQ(errors.Text(), shown + "\nエラー\n");
}

}  // namespace
}  // namespace vexalo
