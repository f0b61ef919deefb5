#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexalo {

// Conversions of the socket's text properties into what connect() needs. All
// of them raise ESocketException (SocketErrors.h) with the texts quoted here.

// True when `text`, after optional leading blanks, is four groups of decimal
// digits joined by single dots, each group at most 255, followed only by
// optional blanks ("10.0.0.1", " 10.0.0.1 "); false for "10.0.0",
// "10.0.0.256", ".10.0.0.1", "10..0.1" and anything else.
bool IsDottedAddress(std::string_view text);

// The IPv4 address of `text` in network byte order. A dotted address is
// converted directly; anything else is looked up with a blocking resolver
// call (the socket only reaches that when its Addr is not dotted). Raises:
//   "SocketResolveHost: '<text>' Invalid Hostname."   (empty or > 256 bytes)
//   "SocketResolveHost: '<text>' Invalid IP address."
//   "SocketResolveHost: Cannot convert host address '<text>', Error #<n>"
std::uint32_t SocketResolveHost(std::string_view text);

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

// Looks up the IPv4 addresses of a host name, blocking, and stores them in
// network byte order in the order the resolver gives them (at most 64).
// Returns 0 or the Windows Sockets error number of the failure; a name under
// the reserved ".invalid" domain gives 11001 without asking anyone.
int LookupHostAddresses(const std::string& host, std::vector<std::uint32_t>& addresses);

// The dotted text of an IPv4 address in network byte order.
std::string DottedText(std::uint32_t address);

}  // namespace vexalo
