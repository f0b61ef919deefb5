#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vexalo {

// A throw-away certificate authority and one server certificate it signed,
// made with the `openssl` command for TLS tests and benchmarks. Keys are
// ECDSA P-256, certificates valid for two days from now.
struct TestCertificates {
  // The names the server certificate holds unless a test asks for others.
  static constexpr std::string_view kLoopbackNames = "DNS:localhost,IP:127.0.0.1";

  std::filesystem::path caFile;  // the authority's certificate (PEM): what clients trust
  std::filesystem::path serverCertFile;
  std::filesystem::path serverKeyFile;
  std::string serverFingerprint;  // SHA-256, "AB:CD:..." as `openssl x509` prints it
};

// Writes the files into `folder` (which must exist). `names` is the server
// certificate's subjectAltName, e.g. "DNS:localhost,IP:127.0.0.1". Throws
// std::runtime_error when the command fails.
TestCertificates MakeTestCertificates(const std::filesystem::path& folder,
                                      std::string_view names = TestCertificates::kLoopbackNames);

}  // namespace vexalo
