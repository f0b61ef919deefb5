#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "pop3/SocketErrors.h"

namespace vexalo {
namespace {

TEST(SocketErrorText, DescribesWinSockNumbersAndNothingElse) {
  const struct {
    int error;
    const char* text;
  } cases[] = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10035, "Operation would block"},
      {10047, "Address family not supported by protocol family"},
      {10053, "Connection aborted"},
      {10054, "Connection reset by peer"},
      {10057, "Socket is not connected"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10071, "Too many levels of remote in path"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11004, "No Data"},
      // Gaps inside and around the numbered ranges.
      {10001, "Not a WinSock error"},
      {10072, "Not a WinSock error"},
      {10090, "Not a WinSock error"},
      {11000, "Not a WinSock error"},
      {11005, "Not a WinSock error"},
      {12345, "Not a WinSock error"},
      {-1, "Not a WinSock error"},
  };
  for (const auto& c : cases) EXPECT_EQ(SocketErrorText(c.error), c.text) << c.error;
}

TEST(WinSockError, MapsSystemErrorsOntoWinSockNumbers) {
  const struct {
    int err;
    int expected;
  } cases[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ETIMEDOUT, 10060},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ECONNABORTED, 10053},
      {ENOTCONN, 10057},
      {EAGAIN, 10035},
      {EWOULDBLOCK, 10035},
      {EINPROGRESS, 10036},
      {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065},
      {EADDRNOTAVAIL, 10049},
      {EBADF, 10009},
      {ENOENT, ENOENT},  // no counterpart: kept as it is
  };
  for (const auto& c : cases) EXPECT_EQ(WinSockErrorFromErrno(c.err), c.expected) << c.err;

  EXPECT_EQ(WinSockErrorFromAddrInfo(EAI_NONAME, 0), 11001);
  EXPECT_EQ(WinSockErrorFromAddrInfo(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(WinSockErrorFromAddrInfo(EAI_FAIL, 0), 11003);
  EXPECT_EQ(WinSockErrorFromAddrInfo(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(ShownSocketText, NamesNoWindowsLibraryAndKeepsEverythingElse) {
  EXPECT_EQ(ShownSocketText("-ERR Connection refused (Winsock error #10061)"),
            "-ERR Connection refused (socket error #10061)");
  EXPECT_EQ(ShownSocketText("-ERR Not a WinSock error (Winsock error #99)"),
            "-ERR Unknown socket error (socket error #99)");
  EXPECT_EQ(ShownSocketText("WinSock not initialized"), "socket not initialized");
  const std::string cp932 = "\x83\x81\x81[\x83\x8B(-ERR bad password)";
  EXPECT_EQ(ShownSocketText(cp932), cp932);
}

}  // namespace
}  // namespace vexalo
