#pragma once

#include <stdexcept>
#include <string>

#include "platform/FailureKind.h"

namespace vexalo {

// Raised at once by an operation that refuses (wrong state, bad property) or
// by a system call that failed while the operation ran. Failures of a started
// operation arrive later as the Error argument of a notification instead.
class ESocketException : public std::runtime_error {
 public:
  explicit ESocketException(const std::string& text, FailureKind kind = FailureKind::kOther)
      : std::runtime_error(text), kind_(kind) {}

  FailureKind Kind() const { return kind_; }

 private:
  FailureKind kind_;
};

// The socket layer speaks in Windows Sockets error numbers: they are what the
// POP3 client reports in its completion codes and embeds in its error texts,
// so every errno and resolver failure is mapped onto them at the one place it
// is read.

inline constexpr int kWsaEIntr = 10004;  // also: a host lookup was cancelled
inline constexpr int kWsaEInval = 10022;
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaENotSock = 10038;
inline constexpr int kWsaENoBufs = 10055;
inline constexpr int kWsaEConnAborted = 10053;
inline constexpr int kWsaEConnReset = 10054;
inline constexpr int kWsaENotConn = 10057;
inline constexpr int kWsaENetDown = 10050;
inline constexpr int kWsaENetUnreach = 10051;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEConnRefused = 10061;
inline constexpr int kWsaEHostDown = 10064;
inline constexpr int kWsaEHostUnreach = 10065;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaTryAgain = 11002;
inline constexpr int kWsaNoRecovery = 11003;
inline constexpr int kWsaNoData = 11004;

// The fixed English description of a Windows Sockets error number, for
// example "Connection refused" for 10061; numbers without one give
// "Not a WinSock error".
std::string SocketErrorText(int error);

// A text that may hold socket error texts, as a user on this system reads
// it: the words and numbers stay, the name of the Windows library goes
// ("Winsock error #10061" reads "socket error #10061", "Not a WinSock error"
// reads "Unknown socket error"). Bytes that are no ASCII letters pass
// unchanged, so CP932 text stays CP932.
std::string ShownSocketText(std::string text);

// The Windows Sockets number for an errno value (ECONNREFUSED gives 10061,
// EAGAIN 10035, ...). 0 stays 0; an errno without a counterpart is returned
// unchanged, so its text reads "Not a WinSock error" but the number still
// tells what happened.
int WinSockErrorFromErrno(int err);

// The kind of failure a Windows Sockets number (or 0) stands for.
FailureKind SocketFailureKind(int error);

// The Windows Sockets number for a getaddrinfo result (EAI_NONAME gives 11001,
// EAI_AGAIN 11002, ...); `savedErrno` is consulted for EAI_SYSTEM.
int WinSockErrorFromAddrInfo(int gaiResult, int savedErrno);

}  // namespace vexalo
