#include <arpa/inet.h>
#include <gtest/gtest.h>

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

TEST(SocketResolveHost, ConvertsDottedTextAndLooksUpNames) {
  EXPECT_EQ(SocketResolveHost(" 10.1.2.3 "), inet_addr("10.1.2.3"));
  EXPECT_EQ(SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(SocketResolveHost("localhost"), htonl(INADDR_LOOPBACK));

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
}

TEST(LookupHostAddresses, AnswersReservedInvalidNamesWithoutAsking) {
  std::vector<std::uint32_t> addresses{1};
  EXPECT_EQ(LookupHostAddresses("mail.example.INVALID.", addresses), kWsaHostNotFound);
  EXPECT_TRUE(addresses.empty());
  EXPECT_EQ(LookupHostAddresses("localhost", addresses), 0);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(DottedText(addresses.front()), "127.0.0.1");
}

}  // namespace
}  // namespace vexalo
