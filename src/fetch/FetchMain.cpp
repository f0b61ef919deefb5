// vexalo-fetch: one processing run without a desktop, for offices that collect
// their orders from cron or a systemd timer, and for our own end-to-end tests.

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

#include "auth/PasswordPlace.h"
#include "fetch/ConsoleReporter.h"
#include "fetch/FetchOptions.h"
#include "fetch/PasswordInput.h"
#include "fetch/SignInCommand.h"
#include "fetch/TerminalText.h"
#include "jconv/Cp932Codec.h"
#include "jconv/JisConv.h"
#include "platform/CoreDumps.h"
#include "platform/ProgramDir.h"
#include "pop3/PollEventLoop.h"
#include "pop3/Pop3Client.h"
#include "run/ProcessingRun.h"
#include "run/TableFiles.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/GridSelection.h"
#include "table/TableExport.h"

namespace vexalo {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// How long one round of the loop sleeps in poll() when nothing is due.
constexpr int kLoopWaitMs = 60 * 1000;

// An error of our own (not a text of the run), UTF-8, on standard error. It
// may quote a file's text or path: control characters are shown escaped.
void PrintError(const std::string& utf8) {
  std::fprintf(stderr, "vexalo-fetch: %s\n", EscapeControls(utf8).c_str());
}

std::string FolderWithSlash(std::string dir) {
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

DataFilePaths FilesIn(const std::string& dir) {
  return {dir + kAllDataFileName, dir + kFirstRowFileName, dir + kUnpickedFileName};
}

// The whole table, as select-all and save would write it in the desktop
// program, with the file order of the rows.
int ExportTable(const std::string& dir, const std::string& file) {
  PlainSettingsFields fields;
  LoadSettings(fields, dir + std::string(kSettingsFileName));
  DataTable table;
  TableFiles files(table, FilesIn(dir));
  bool loaded = true;
  files.Load([&](const std::exception& error) {
    PrintError(Cp932ToUtf8(error.what()));
    loaded = false;
  });
  if (!loaded) return kExitFailed;
  const GridRect all = SelectAllRect(table);
  CellBlock cells{all.Left, all.Right, {}};
  cells.Rows.reserve(static_cast<size_t>(table.RowCount()));
  for (int32_t row = 0; row < table.RowCount(); ++row) cells.Rows.push_back(row);
  try {
    ExportCells(table, cells, file, fields.CsvGuard() ? FormulaGuard::kOn : FormulaGuard::kOff);
  } catch (const std::exception& error) {
    PrintError(Cp932ToUtf8(error.what()));
    return kExitFailed;
  }
  return kExitDone;
}

int RunOnce(const std::string& dir, FetchOptions::Output output) {
  PlainSettingsFields fields;
  LoadSettingsAndPassword(fields, dir);

  DataTable table;
  ConsoleReporter reporter(stdout, stderr, output);
  PollEventLoop loop;
  TPop3Client client(loop);
  TJisConv jisConv;
  TProcessingRun run(table, fields, client, jisConv, FilesIn(dir), reporter);
  bool loaded = true;
  run.LoadTable([&](const std::exception& error) {
    // What the desktop program would show in its error box at start-up.
    reporter.ShowMessage(error.what());
    loaded = false;
  });
  if (!loaded) return kExitFailed;

  run.MenuProcessClick();
  // Every wait on the server is bounded by the TIMEOUT setting, so the run
  // ends even when a server stops answering.
  while (run.IsBusy()) loop.RunOnce(kLoopWaitMs);
  if (run.Phase() != runCompleted) {
    reporter.ShowRunFailed();
    return kExitFailed;
  }
  const RunCounts& counts = run.Counts();
  reporter.ShowRunSummary(std::time(nullptr), counts.messages, counts.taken, counts.deleted);
  // Every row is on disk and the lock given back. What the run still holds
  // (the table, a slot for every message) goes back with the process: freed
  // piece by piece, a poll of ten thousand mails spent milliseconds on it.
  std::exit(kExitDone);
}

int SetPassword(const std::string& dir) {
  std::string typed;
  switch (ReadPasswordLine(STDIN_FILENO, "Password: ", typed)) {
    case PasswordReadResult::kRead:
      break;
    case PasswordReadResult::kNoInput:
      PrintError("no password line on standard input; nothing stored");
      return kExitFailed;
    case PasswordReadResult::kTooLong:
      PrintError("the password is longer than " + std::to_string(kMaxPasswordBytes) +
                 " bytes; nothing stored");
      return kExitFailed;
    case PasswordReadResult::kFailed:
      PrintError("standard input cannot be read; nothing stored");
      return kExitFailed;
  }
  // Typed text is UTF-8; the settings hold CP932. A character CP932 lacks
  // would be stored as a stand-in and never match on the server.
  const std::string password = Utf8ToCp932(typed);
  if (Cp932ToUtf8(password) != typed) {
    PrintError("the password holds characters that cannot be stored; nothing stored");
    return kExitFailed;
  }

  try {
    SavePasswordAlone(password, dir);
  } catch (const std::exception& error) {
    PrintError(Cp932ToUtf8(error.what()));
    return kExitFailed;
  }
  return kExitDone;
}

int Main(int argc, char** argv) {
  std::string usageError;
  const auto options = ParseFetchOptions(argc, argv, usageError);
  if (!options) {
    PrintError(usageError + " (see vexalo-fetch --help)");
    return kExitUsage;
  }
  if (options->mode == FetchOptions::Mode::kHelp) {
    std::fputs(FetchUsageText(FindDataDir()).c_str(), stdout);
    return kExitDone;
  }

  std::string dir;
  if (options->dir.empty()) {
    dir = DataDir();
  } else {
    struct stat info {};
    if (stat(options->dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      PrintError("no such folder: " + options->dir);
      return kExitUsage;
    }
    dir = FolderWithSlash(options->dir);
  }

  if (options->mode == FetchOptions::Mode::kSetPassword) return SetPassword(dir);
  if (options->mode == FetchOptions::Mode::kExport) return ExportTable(dir, options->exportFile);
  if (options->mode == FetchOptions::Mode::kSignIn) return SignInCommand(dir, stdout, stderr);
  return RunOnce(dir, options->output);
}

}  // namespace
}  // namespace vexalo

int main(int argc, char** argv) {
  vexalo::DisableCoreDumps();
  // A peer or a reader of our output that goes away, or a data file at the
  // file-size limit, must end in an error we report, not in a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return vexalo::Main(argc, argv);
  } catch (const std::exception& error) {
    vexalo::PrintError(vexalo::Cp932ToUtf8(error.what()));
    return 1;
  }
}
