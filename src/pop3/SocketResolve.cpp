#include "pop3/SocketResolve.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "pop3/SocketErrors.h"
#include "text/CommFuncs.h"

namespace vexalo {
namespace {

// Resolvers answer with a handful of addresses; a cap keeps a hostile answer
// from growing the lists without end.
constexpr std::size_t kMaxHostAddresses = 64;

// Service and protocol entries are a line of /etc/services or
// /etc/protocols; the buffer grows on ERANGE but not past this.
constexpr std::size_t kMaxDatabaseBuffer = std::size_t{64} * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number after leading blanks, up to the first other byte. Values
// above `cap` come back as cap + 1, so a long run of digits cannot overflow.
long ReadLeadingDecimal(std::string_view text, long cap) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > cap) return cap + 1;
  }
  return value;
}

bool IsReservedInvalidName(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kInvalid = "invalid";
  if (host.size() < kInvalid.size()) return false;
  const std::string_view last = host.substr(host.size() - kInvalid.size());
  if (!EqualIgnoringAsciiCase(last, "INVALID")) return false;
  return host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.';
}

[[noreturn]] void Raise(const std::string& message, FailureKind kind = FailureKind::kOther) {
  throw ESocketException(message, kind);
}

}  // namespace

bool IsDottedAddress(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  for (int group = 0; group < 4; ++group) {
    if (group > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    const std::size_t start = i;
    int value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      value = value * 10 + (text[i] - '0');
      if (value > 255) return false;
    }
    if (i == start) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return i == text.size();
}

void HostAddress::SetPort(std::uint16_t port) {
  if (Family() == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
  } else {
    reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
  }
}

HostAddress Ipv4Address(std::uint32_t address) {
  HostAddress host;
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = address;
  std::memcpy(&host.storage, &v4, sizeof v4);
  host.length = sizeof v4;
  return host;
}

namespace {

HostAddress FromAddrInfo(const addrinfo& entry) {
  HostAddress host;
  std::memcpy(&host.storage, entry.ai_addr, entry.ai_addrlen);
  host.length = entry.ai_addrlen;
  return host;
}

bool IsAddressEntry(const addrinfo& entry) {
  return (entry.ai_family == AF_INET && entry.ai_addrlen == sizeof(sockaddr_in)) ||
         (entry.ai_family == AF_INET6 && entry.ai_addrlen == sizeof(sockaddr_in6));
}

}  // namespace

std::optional<HostAddress> ParseIpv6Literal(std::string_view text) {
  text = TrimText(text);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  // Only a text with a colon can be one; this keeps names away from the
  // resolver's numeric parser altogether.
  if (text.find(':') == std::string_view::npos || text.size() > INET6_ADDRSTRLEN + IF_NAMESIZE) {
    return std::nullopt;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(std::string(text).c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
  if (found == nullptr || !IsAddressEntry(*found)) return std::nullopt;
  return FromAddrInfo(*found);
}

std::string AddressText(const HostAddress& address) {
  char text[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address.storage), address.length, text,
                  sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
    return {};
  }
  return text;
}

int LookupHostAddresses(const std::string& host, std::vector<HostAddress>& addresses) {
  addresses.clear();
  // Reserved names must fail at once (RFC 6761), whatever the network says.
  if (IsReservedInvalidName(host)) return kWsaHostNotFound;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) return WinSockErrorFromAddrInfo(result, errno);
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
  for (const addrinfo* entry = found; entry && addresses.size() < kMaxHostAddresses;
       entry = entry->ai_next) {
    if (IsAddressEntry(*entry)) addresses.push_back(FromAddrInfo(*entry));
  }
  std::stable_partition(addresses.begin(), addresses.end(),
                        [](const HostAddress& address) { return address.Family() == AF_INET; });
  return addresses.empty() ? kWsaNoData : 0;
}

HostAddress SocketResolveHost(std::string_view text) {
  const std::string quoted = "'" + std::string(text) + "'";
  if (text.empty() || text.size() > 256)
    Raise("SocketResolveHost: " + quoted + " Invalid Hostname.");
  const std::string trimmed(TrimText(text));
  if (IsDottedAddress(text)) {
    // inet_addr as in DnsLookup, so both read a dotted text the same way.
    const in_addr_t address = inet_addr(trimmed.c_str());
    if (address == INADDR_NONE && trimmed != "255.255.255.255") {
      Raise("SocketResolveHost: " + quoted + " Invalid IP address.");
    }
    return Ipv4Address(address);
  }
  if (const std::optional<HostAddress> v6 = ParseIpv6Literal(trimmed)) return *v6;
  std::vector<HostAddress> addresses;
  const int error = LookupHostAddresses(trimmed, addresses);
  if (error != 0) {
    Raise("SocketResolveHost: Cannot convert host address " + quoted + ", Error #" +
          std::to_string(error));
  }
  return addresses.front();
}

std::uint16_t SocketResolvePort(std::string_view port, std::string_view proto) {
  if (port.empty() || port.size() >= 32)
    Raise("SocketResolvePort: Invalid Port.", FailureKind::kBadPort);
  if (IsDigit(port.front())) {
    // A larger number would silently become some other port once cut to 16
    // bits, and "110abc" is a typing error, not port 110.
    const std::string_view digits = TrimText(port);
    if (!std::all_of(digits.begin(), digits.end(), IsDigit))
      Raise("SocketResolvePort: Invalid Port.", FailureKind::kBadPort);
    const long number = ReadLeadingDecimal(digits, 65535);
    if (number > 65535) Raise("SocketResolvePort: Invalid Port.", FailureKind::kBadPort);
    return static_cast<std::uint16_t>(number);
  }
  const std::string name(TrimText(port));
  const std::string protoName(TrimText(proto));
  std::vector<char> buffer(1024);
  servent entry{};
  servent* found = nullptr;
  int result = 0;
  while ((result = getservbyname_r(name.c_str(), protoName.empty() ? nullptr : protoName.c_str(),
                                   &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < kMaxDatabaseBuffer) {
    buffer.resize(buffer.size() * 2);
  }
  if (result != 0 || found == nullptr) {
    Raise("SocketResolvePort: Cannot convert port '" + std::string(port) + "', Error #" +
              std::to_string(kWsaNoData),
          FailureKind::kBadPort);
  }
  return ntohs(static_cast<std::uint16_t>(found->s_port));
}

int SocketResolveProto(std::string_view text) {
  if (text.empty() || text.size() >= 32) Raise("SocketResolveProto: Invalid Protocol.");
  const std::string trimmed(TrimText(text));
  if (!trimmed.empty() && IsDigit(trimmed.front())) {
    return static_cast<int>(ReadLeadingDecimal(trimmed, 65535));
  }
  std::vector<char> buffer(1024);
  protoent entry{};
  protoent* found = nullptr;
  int result = 0;
  while ((result = getprotobyname_r(trimmed.c_str(), &entry, buffer.data(), buffer.size(),
                                    &found)) == ERANGE &&
         buffer.size() < kMaxDatabaseBuffer) {
    buffer.resize(buffer.size() * 2);
  }
  if (result != 0 || found == nullptr) {
    Raise("SocketResolveProto: Cannot convert protocol '" + std::string(text) + "', Error #" +
          std::to_string(kWsaNoData));
  }
  return found->p_proto;
}

bool IsLoopbackAddress(std::string_view address) {
  constexpr std::string_view kMapped = "::ffff:";
  if (address.starts_with(kMapped)) address.remove_prefix(kMapped.size());
  if (address == "::1") return true;
  return address.starts_with("127.") && IsDottedAddress(address);
}

}  // namespace vexalo
