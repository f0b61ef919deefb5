#pragma once

#include <cstdio>
#include <string>

namespace vexalo {

// vexalo-fetch --sign-in: signs in with OAuth 2.0 as Vexalo.ini in `dir`
// (ending in '/') says, showing on `out` what the user has to do (the device
// code, or the address to open in a browser), and stores the grant
// (OpenSecretStore). Returns the exit status: 0 stored, 1 with the reason on
// `errors`.
int SignInCommand(const std::string& dir, std::FILE* out, std::FILE* errors);

}  // namespace vexalo
