#include <gtest/gtest.h>

#include "hostport.h"

namespace {

TEST(HostPort, NamesAndAddressesWithAndWithoutPort) {
  struct {
    const char* text;
    const char* host;
    int port;  // -1: refused
  } rows[] = {
      {"127.0.0.1:1502", "127.0.0.1", 1502},
      {"127.0.0.1", "127.0.0.1", 502},
      {"device.local:7", "device.local", 7},
      {"[::1]:1502", "::1", 1502},
      {"[::1]", "::1", 502},
      {"[fe80::1%eth0]:65535", "fe80::1%eth0", 65535},
      {":1502", "", 1502},  // the caller chooses the host
      {"::1", "", -1},      // an IPv6 address needs its brackets
      {"::1:1502", "", -1},
      {"[::1", "", -1},
      {"[]:1502", "", -1},
      {"[::1]1502", "", -1},
      {"[::1]:", "", -1},
      {"host:", "", -1},
      {"host:0", "", -1},
      {"host:65536", "", -1},
      {"host:99999999999", "", -1},
      {"host:15a", "", -1},
      {"host:-1", "", -1},
      {"host:+1", "", -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    const std::optional<THostPort> got = ParseHostPort(r.text, 502);
    ASSERT_EQ(got.has_value(), r.port >= 0);
    if (!got) continue;
    EXPECT_EQ(got->Host, r.host);
    EXPECT_EQ(got->Port, r.port);
  }
  // A listener may ask for port 0 (any free port).
  ASSERT_TRUE(ParseHostPort("[::1]:0", 502, 0).has_value());
  EXPECT_EQ(ParseHostPort("[::1]:0", 502, 0)->Port, 0);
}

TEST(HostPort, FormatPutsBracketsAroundIpv6) {
  EXPECT_EQ(FormatHostPort("127.0.0.1", 1502), "127.0.0.1:1502");
  EXPECT_EQ(FormatHostPort("::1", 1502), "[::1]:1502");
  // What is formatted parses back to the same host and port.
  for (const char* host : {"::1", "10.1.2.3", "fe80::1"}) {
    const std::optional<THostPort> back = ParseHostPort(FormatHostPort(host, 4), 502);
    ASSERT_TRUE(back.has_value()) << host;
    EXPECT_EQ(back->Host, host);
    EXPECT_EQ(back->Port, 4);
  }
}

}  // namespace
