#pragma once

#include <cstdint>

namespace vexalo {

// What kind of failure ended an operation, set where it happened (the socket,
// the TLS session, the client reading a reply, a file routine) and carried up
// with its error number and text, so that what the user is told to do is
// chosen by kind and never by searching the text.
enum class FailureKind : uint8_t {
  kNone,
  kOther,              // none of the kinds below
  kHostName,           // the server's name was not found
  kRefused,            // the connection was refused
  kUnreachable,        // no route to the network or host
  kTimedOut,           // the server stayed silent for the time-out
  kReset,              // the connection was reset or aborted
  kClosed,             // the server closed the connection
  kBadPort,            // the port setting names no port
  kTlsTrust,           // the server's certificate is not trusted
  kTls,                // any other failure of the TLS session
  kServerExpectsTls,   // a plain connection met a server waiting for TLS
  kServerSpeaksPlain,  // a TLS connection met a server speaking in the clear
  kServerReply,        // the server answered "-ERR"
  kLoginRefused,       // ... to the user name or password
  kSignInNeeded,       // the OAuth 2.0 grant is missing, withdrawn or refused
  kProtocol,           // the server's replies are no POP3 (too long, out of step)
  kFileAccess,         // a file refused: permissions, read-only, a folder in its place
  kDiskFull,           // no room on the disk or over quota
  kFile,               // any other failure of a file routine
};

}  // namespace vexalo
