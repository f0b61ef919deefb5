#include "fetch/FetchOptions.h"

#include <string_view>

namespace vexalo {

std::optional<FetchOptions> ParseFetchOptions(int argc, const char* const* argv,
                                              std::string& error) {
  FetchOptions options;
  bool dirGiven = false;
  bool setPassword = false;
  bool signIn = false;
  bool outputGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      options.mode = FetchOptions::Mode::kHelp;
      return options;
    }
    if (arg == "--set-password" && !setPassword && !signIn && options.exportFile.empty()) {
      setPassword = true;
    } else if (arg == "--sign-in" && !signIn && !setPassword && options.exportFile.empty()) {
      signIn = true;
    } else if ((arg == "--quiet" || arg == "--verbose") && !outputGiven) {
      outputGiven = true;
      options.output =
          arg == "--quiet" ? FetchOptions::Output::kQuiet : FetchOptions::Output::kEveryStatus;
    } else if (arg == "--export" && options.exportFile.empty() && !setPassword && !signIn) {
      if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
        error = "--export needs a file";
        return std::nullopt;
      }
      options.exportFile = argv[++i];
    } else if (arg == "--dir" && !dirGiven) {
      if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
        error = "--dir needs a folder";
        return std::nullopt;
      }
      dirGiven = true;
      options.dir = argv[++i];
    } else {
      error = "unexpected argument: " + std::string(arg);
      return std::nullopt;
    }
  }
  options.mode = setPassword                   ? FetchOptions::Mode::kSetPassword
                 : signIn                      ? FetchOptions::Mode::kSignIn
                 : !options.exportFile.empty() ? FetchOptions::Mode::kExport
                                               : FetchOptions::Mode::kRun;
  return options;
}

std::string FetchUsageText(const std::string& dataDir) {
  return "Usage: vexalo-fetch [--dir DIR] [--quiet | --verbose]\n"
         "       vexalo-fetch [--dir DIR] --set-password\n"
         "       vexalo-fetch [--dir DIR] --export FILE\n"
         "       vexalo-fetch [--dir DIR] --sign-in\n"
         "       vexalo-fetch --help\n"
         "\n"
         "Without --set-password, performs one processing run: loads Vexalo.ini,\n"
         "FirstRow.csv and AllData.csv, fetches the new picked messages from the\n"
         "POP3 server, appends them to AllData.csv and rewrites FirstRow.csv, as the\n"
         "fetch command of the desktop program does. A completed run prints one line\n"
         "on standard output: the time, the mails looked at, the rows taken and the\n"
         "mails deleted. Errors go to standard error. --quiet prints errors only;\n"
         "--verbose prints every status text of the run as well.\n"
         "\n"
         "With --set-password, reads one line of UTF-8 text from standard input (not\n"
         "echoed on a terminal) and stores it as the password: in the desktop\n"
         "keyring when one is running, else encrypted in Vexalo.ini (every other\n"
         "line of the file stays as it was). Runs without a keyring read the file.\n"
         "\n"
         "With --export, fetches nothing: writes the whole table (the title row,\n"
         "then every row of AllData.csv) to FILE, an Excel workbook when its name\n"
         "ends in .xlsx, CSV otherwise (cells that would start a formula get a\n"
         "leading ' unless CSV_GUARD=0 in [MAIL]). FILE is written under a\n"
         "temporary name beside it and then renamed, so it is never seen half\n"
         "written.\n"
         "\n"
         "With --sign-in, signs in with OAuth 2.0 as [POP3] of Vexalo.ini says\n"
         "(OAUTH_PROVIDER, OAUTH_CLIENT_ID, OAUTH_TENANT, ...): where the provider\n"
         "has a device code (Microsoft), prints the address to open on any device\n"
         "and the code to enter there; otherwise (Google) prints an address to open\n"
         "in a browser on this computer. The grant is kept in the desktop keyring\n"
         "when one is running, otherwise encrypted in OAuthGrant.dat (mode 0600) in\n"
         "the data folder. Runs with AUTH=1 log in with it (SASL XOAUTH2).\n"
         "\n"
         "The files are those in DIR, or in the data folder: the folder of this\n"
         "program when it holds a Vexalo.ini or you can write it, otherwise\n"
         "$XDG_DATA_HOME/vexalo (by default ~/.local/share/vexalo), made private\n"
         "on first use. The data folder now: " +
         dataDir +
         "\n"
         "\n"
         "The connection follows section [POP3] of Vexalo.ini: SECURITY=0 plain,\n"
         "1 SSL/TLS, 2 STARTTLS; TIMEOUT=seconds of silence before a wait fails\n"
         "(default 60). The server certificate must be trusted by the system's\n"
         "store (SSL_CERT_FILE and SSL_CERT_DIR apply) and name the server, or\n"
         "match TLS_FINGERPRINT (SHA-256). An untrusted certificate is printed with\n"
         "the TLS_FINGERPRINT line that would trust it, and the run ends.\n"
         "\n"
         "Exit status: 0 after a completed run, a stored password or grant, or a\n"
         "written export; 1 when the run does not complete (an error message, or\n"
         "no server set in Vexalo.ini), the password or grant cannot be stored,\n"
         "the sign-in fails or the export cannot be written (the reason on\n"
         "standard error); 2 for a command line that is not understood.\n";
}

}  // namespace vexalo
