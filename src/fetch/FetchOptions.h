#pragma once

#include <optional>
#include <string>

namespace vexalo {

// What the command line of vexalo-fetch asks for.
struct FetchOptions {
  enum class Mode {
    kRun,          // one processing run
    kSetPassword,  // store the password read from standard input
    kExport,       // write the whole table to exportFile, without fetching
    kSignIn,       // sign in with OAuth 2.0 and store the grant
    kHelp,         // explain the usage
  };
  // What a run prints besides its errors.
  enum class Output {
    kQuiet,        // nothing
    kSummary,      // one line when the run completes
    kEveryStatus,  // every status text as it is set, then the line
  };
  Mode mode = Mode::kRun;
  Output output = Output::kSummary;
  // The folder of Vexalo.ini, FirstRow.csv and AllData.csv; empty for the
  // program's data folder.
  std::string dir;
  // kExport: the file to write, CSV or Excel by its extension.
  std::string exportFile;
};

// Reads argv[1..argc-1]. Returns nothing for a command line that is not
// understood, with the reason in `error`. "--help" anywhere asks for help.
std::optional<FetchOptions> ParseFetchOptions(int argc, const char* const* argv,
                                              std::string& error);

// The text --help prints, UTF-8, ending in a line feed; `dataDir` is the
// folder the files are in without --dir.
std::string FetchUsageText(const std::string& dataDir);

}  // namespace vexalo
