#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexalo {

// One address of a host, IPv4 or IPv6, as connect() takes it; its port is 0
// until the connect sets it.
struct HostAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int Family() const { return storage.ss_family; }
  // Sets the port, given in host byte order.
  void SetPort(std::uint16_t port);
};

// The IPv4 address `address`, in network byte order.
HostAddress Ipv4Address(std::uint32_t address);

// The IPv6 address `text` holds, after optional blanks, bare or in brackets
// as in a URL ("::1", "[::1]", "fe80::1%eth0"); nothing for any other text.
std::optional<HostAddress> ParseIpv6Literal(std::string_view text);

// The numeric text of an address: "10.0.0.1", "::1".
std::string AddressText(const HostAddress& address);

// Whether the numeric address text `address` (as AddressText gives it) is
// this machine's own: 127.0.0.0/8, ::1, or an IPv4-mapped 127.x address.
// Anything that is no such text is not.
bool IsLoopbackAddress(std::string_view address);

// Conversions of the socket's text properties into what connect() needs. All
// of them raise ESocketException (SocketErrors.h) with the texts quoted here.

// True when `text`, after optional leading blanks, is four groups of decimal
// digits joined by single dots, each group at most 255, followed only by
// optional blanks ("10.0.0.1", " 10.0.0.1 "); false for "10.0.0",
// "10.0.0.256", ".10.0.0.1", "10..0.1" and anything else.
bool IsDottedAddress(std::string_view text);

// The address of `text`. A dotted IPv4 address or an IPv6 one
// (ParseIpv6Literal) is converted directly; anything else is looked up with a
// blocking resolver call (the socket only reaches that when its Addr is no
// address) and gives the first address LookupHostAddresses gives. Raises:
//   "SocketResolveHost: '<text>' Invalid Hostname."   (empty or > 256 bytes)
//   "SocketResolveHost: '<text>' Invalid IP address."
//   "SocketResolveHost: Cannot convert host address '<text>', Error #<n>"
HostAddress SocketResolveHost(std::string_view text);

// The port number in host byte order. A text whose first byte is a digit is
// read as a decimal number and never looked up; anything else is a service
// name looked up for the (trimmed) protocol, "pop3" with "tcp" giving 110.
// Raises:
//   "SocketResolvePort: Invalid Port."    (empty, 32 bytes or more, a number
//                                           above 65535, or one followed by
//                                           anything but blanks: "110abc")
//   "SocketResolvePort: Cannot convert port '<text>', Error #<n>"
std::uint16_t SocketResolvePort(std::string_view port, std::string_view proto);

// The protocol number: decimal when the trimmed text starts with a digit,
// otherwise looked up by name ("tcp" gives 6). Raises:
//   "SocketResolveProto: Invalid Protocol."   (empty or 32 bytes or more)
//   "SocketResolveProto: Cannot convert protocol '<text>', Error #<n>"
int SocketResolveProto(std::string_view text);

// Looks up the IPv4 and IPv6 addresses of a host name, blocking, and stores
// them (at most 64): the IPv4 ones first, so that a host reached over IPv4
// before is reached the same way, then the IPv6 ones, each kind in the order
// the resolver gives. Returns 0 or the Windows Sockets error number of the
// failure; a name under the reserved ".invalid" domain gives 11001 without
// asking anyone.
int LookupHostAddresses(const std::string& host, std::vector<HostAddress>& addresses);

}  // namespace vexalo
