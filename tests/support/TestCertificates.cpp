#include "TestCertificates.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace vexalo {
namespace {

constexpr const char* kKeyOptions = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

// The paths come from the fixture's own folders (letters, digits, / . _ -),
// so they need no quoting beyond the single quotes.
std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

void RunOpenssl(const std::string& arguments) {
  const std::string command = "openssl " + arguments + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string ReadFingerprint(const std::filesystem::path& certificate) {
  const std::string command = "openssl x509 -noout -fingerprint -sha256 -in " + Quoted(certificate);
  const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
  char line[256] = {};
  if (!pipe || std::fgets(line, sizeof line, pipe.get()) == nullptr) {
    throw std::runtime_error("failed: " + command);
  }
  std::string text = line;
  const auto equals = text.find('=');
  if (equals == std::string::npos) throw std::runtime_error("odd fingerprint: " + text);
  text.erase(0, equals + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

TestCertificates MakeTestCertificates(const std::filesystem::path& folder, std::string_view names) {
  TestCertificates made{folder / "ca.pem", folder / "server.pem", folder / "server.key", {}};
  const auto caKey = folder / "ca.key";
  const auto request = folder / "server.csr";
  const auto extensions = folder / "server.ext";
  RunOpenssl(std::string("req -x509 ") + kKeyOptions + " -days 2 -subj '/CN=Vexalo Test CA'" +
             " -addext basicConstraints=critical,CA:TRUE" +
             " -addext keyUsage=critical,keyCertSign,cRLSign -keyout " + Quoted(caKey) + " -out " +
             Quoted(made.caFile));
  RunOpenssl(std::string("req ") + kKeyOptions + " -subj '/O=Vexalo Test/CN=localhost' -keyout " +
             Quoted(made.serverKeyFile) + " -out " + Quoted(request));
  {
    std::ofstream out(extensions);
    out << "basicConstraints=CA:FALSE\n"
           "extendedKeyUsage=serverAuth\n"
           "subjectAltName="
        << names << "\n";
  }
  RunOpenssl("x509 -req -days 2 -in " + Quoted(request) + " -CA " + Quoted(made.caFile) +
             " -CAkey " + Quoted(caKey) + " -set_serial 2 -extfile " + Quoted(extensions) +
             " -out " + Quoted(made.serverCertFile));
  made.serverFingerprint = ReadFingerprint(made.serverCertFile);
  return made;
}

}  // namespace vexalo
