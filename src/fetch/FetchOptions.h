#pragma once

#include <optional>
#include <string>

namespace vexalo {

// What the command line of vexalo-fetch asks for.
struct FetchOptions {
  enum class Mode {
    kRun,          // one processing run
    kSetPassword,  // store the password read from standard input
    kHelp,         // explain the usage
  };
  Mode mode = Mode::kRun;
  // The folder of Vexalo.ini, FirstRow.csv and AllData.csv; empty for the
  // folder of the executable.
  std::string dir;
};

// Reads argv[1..argc-1]. Returns nothing for a command line that is not
// understood, with the reason in `error`. "--help" anywhere asks for help.
std::optional<FetchOptions> ParseFetchOptions(int argc, const char* const* argv,
                                              std::string& error);

// The text --help prints, UTF-8, ending in a line feed.
const char* FetchUsageText();

}  // namespace vexalo
