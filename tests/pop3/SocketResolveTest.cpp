#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <functional>
#include <string>

#include "pop3/SocketErrors.h"
#include "pop3/SocketResolve.h"

namespace vexalo {
namespace {

// The message of the ESocketException `call` raises, or "" when it raises none.
std::string RaisedText(const std::function<void()>& call) {
  try {
    call();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "";
}

TEST(IsDottedAddress, AcceptsFourGroupsUpTo255WithBlanksAround) {
  const struct {
    const char* text;
    bool dotted;
  } cases[] = {
      {"10.0.0.1", true},
      {"  10.0.0.1  ", true},
      {"255.255.255.255", true},
      {"010.0.0.1", true},
      {"10.0.0", false},
      {"10.0.0.256", false},
      {".10.0.0.1", false},
      {"10..0.1", false},
      {"10.0.0.1.", false},
      {"10.0.0.1.5", false},
      {"10.0.0.x", false},
      {"10.0.0.1 x", false},
      {"99999999999999999999.0.0.1", false},
      {"", false},
      {"pop.example.com", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDottedAddress(c.text), c.dotted) << c.text;
}

// Where a bearer token may go without TLS.
TEST(IsLoopbackAddress, OnlyThisMachinesOwnAddresses) {
  for (const char* loopback : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"}) {
    EXPECT_TRUE(IsLoopbackAddress(loopback)) << loopback;
  }
  for (const char* other : {"10.0.0.1", "1.127.0.0", "127.0.0.1.example.com", "::2",
                            "::ffff:10.0.0.1", "fe80::1", "localhost", ""}) {
    EXPECT_FALSE(IsLoopbackAddress(other)) << other;
  }
}

TEST(SocketResolvePort, ReadsNumbersAndLooksUpServiceNames) {
  EXPECT_EQ(SocketResolvePort("110", "tcp"), 110);
  EXPECT_EQ(SocketResolvePort("995 ", "tcp"), 995);
  EXPECT_EQ(SocketResolvePort("pop3", "tcp"), 110);
  EXPECT_EQ(SocketResolvePort(" pop3 ", " tcp "), 110);
  EXPECT_EQ(SocketResolvePort("pop3", ""), 110);

  EXPECT_EQ(RaisedText([] { SocketResolvePort("", "tcp"); }), "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(RaisedText([] { SocketResolvePort(std::string(32, '1'), "tcp"); }),
            "SocketResolvePort: Invalid Port.");
  // Past 16 bits a port would wrap round to some other port.
  EXPECT_EQ(RaisedText([] { SocketResolvePort("65536", "tcp"); }),
            "SocketResolvePort: Invalid Port.");
  // A number with anything after it is a typing error, not the number before it.
  for (const char* typo : {"110abc", "995x", "1 10", "110.5", "110\t1", "0x6e"}) {
    EXPECT_EQ(RaisedText([&] { SocketResolvePort(typo, "tcp"); }),
              "SocketResolvePort: Invalid Port.")
        << typo;
  }
  EXPECT_EQ(RaisedText([] { SocketResolvePort("no-such-service", "tcp"); }),
            "SocketResolvePort: Cannot convert port 'no-such-service', Error #11004");
}

TEST(SocketResolveProto, ReadsNumbersAndLooksUpProtocolNames) {
  EXPECT_EQ(SocketResolveProto("tcp"), 6);
  EXPECT_EQ(SocketResolveProto(" tcp "), 6);
  EXPECT_EQ(SocketResolveProto("17"), 17);
  EXPECT_EQ(RaisedText([] { SocketResolveProto(""); }), "SocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(RaisedText([] { SocketResolveProto(std::string(32, 't')); }),
            "SocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(RaisedText([] { SocketResolveProto("bogus"); }),
            "SocketResolveProto: Cannot convert protocol 'bogus', Error #11004");
}

TEST(SocketResolveHost, ConvertsAddressTextAndLooksUpNames) {
  const struct {
    const char* text;
    int family;
    const char* address;
  } cases[] = {
      {" 10.1.2.3 ", AF_INET, "10.1.2.3"},
      {"255.255.255.255", AF_INET, "255.255.255.255"},
      {"localhost", AF_INET, "127.0.0.1"},  // IPv4 first, as before IPv6 was known
      {"::1", AF_INET6, "::1"},
      {"[::1]", AF_INET6, "::1"},
      {" [2001:db8::7] ", AF_INET6, "2001:db8::7"},
      {"::ffff:10.1.2.3", AF_INET6, "::ffff:10.1.2.3"},
  };
  for (const auto& c : cases) {
    const HostAddress address = SocketResolveHost(c.text);
    EXPECT_EQ(address.Family(), c.family) << c.text;
    EXPECT_EQ(AddressText(address), c.address) << c.text;
  }

  const std::string tooLong(257, 'a');
  EXPECT_EQ(RaisedText([&] { SocketResolveHost(tooLong); }),
            "SocketResolveHost: '" + tooLong + "' Invalid Hostname.");
  EXPECT_EQ(RaisedText([] { SocketResolveHost(""); }), "SocketResolveHost: '' Invalid Hostname.");
  // Dotted in form, but inet_addr reads a leading 0 as octal and 9 is no
  // octal digit.
  EXPECT_EQ(RaisedText([] { SocketResolveHost("09.0.0.1"); }),
            "SocketResolveHost: '09.0.0.1' Invalid IP address.");
  EXPECT_EQ(RaisedText([] { SocketResolveHost("no-such-host.invalid"); }),
            "SocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #11001");
  // Half a bracket, or too many colons, is no address and no name either.
  EXPECT_EQ(
      RaisedText([] { SocketResolveHost("[::1"); }).rfind("SocketResolveHost: Cannot convert", 0),
      0u);
  EXPECT_EQ(RaisedText([] {
              SocketResolveHost("1:2:3:4:5:6:7:8:9");
            }).rfind("SocketResolveHost: Cannot convert", 0),
            0u);
}

TEST(ParseIpv6Literal, TakesAddressesBareOrInBracketsAndNothingElse) {
  for (const char* text : {"::1", "[::1]", " ::1 ", "fe80::1%1", "2001:DB8::1"}) {
    EXPECT_TRUE(ParseIpv6Literal(text)) << text;
  }
  for (const char* text : {"", "[]", "[::1", "::1]", "[[::1]]", "127.0.0.1", "localhost",
                           "host:110", ":::", "::1::"}) {
    EXPECT_FALSE(ParseIpv6Literal(text)) << text;
  }
}

TEST(LookupHostAddresses, AnswersReservedInvalidNamesWithoutAsking) {
  std::vector<HostAddress> addresses{HostAddress{}};
  EXPECT_EQ(LookupHostAddresses("mail.example.INVALID.", addresses), kWsaHostNotFound);
  EXPECT_TRUE(addresses.empty());
  EXPECT_EQ(LookupHostAddresses("localhost", addresses), 0);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(AddressText(addresses.front()), "127.0.0.1");
}

// What the resolver answers with IPv6 addresses only (a name with no A
// record; an address text is answered the same way) is found too, not
// refused as a host without data.
TEST(LookupHostAddresses, FindsHostsWithIpv6AddressesOnly) {
  std::vector<std::string> hosts{"::1"};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  for (const char* name : {"ip6-localhost", "ip6-loopback"}) {
    addrinfo* found = nullptr;
    const bool hasIpv4 = getaddrinfo(name, nullptr, &hints, &found) == 0;
    if (found) freeaddrinfo(found);
    if (!hasIpv4) hosts.emplace_back(name);  // when this machine knows it, by its IPv6 address
  }
  for (const std::string& host : hosts) {
    std::vector<HostAddress> addresses;
    const int error = LookupHostAddresses(host, addresses);
    if (host != "::1" && error != 0) continue;  // a name this machine does not know
    ASSERT_EQ(error, 0) << host;
    ASSERT_FALSE(addresses.empty()) << host;
    EXPECT_EQ(addresses.front().Family(), AF_INET6) << host;
    EXPECT_EQ(AddressText(addresses.front()), "::1") << host;
  }
}

}  // namespace
}  // namespace vexalo
