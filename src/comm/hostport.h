// "HOST[:PORT]" texts of a TCP address, where an IPv6 address is written in brackets so
// that its colons are not read as the port's: "[::1]:1502".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct THostPort {
  std::string Host;  // without the brackets of an IPv6 address
  uint16_t Port = 0;
};

// The host and port of text; defaultPort when the text names none. Nothing when the port
// is not a number in minPort..65535, the brackets do not close, or an IPv6 address has no
// brackets. An empty host is returned as it is, for the caller to choose one.
std::optional<THostPort> ParseHostPort(const std::string& text, uint16_t defaultPort,
                                       uint16_t minPort = 1);

// "host:port", with brackets around a host that holds a colon.
std::string FormatHostPort(const std::string& host, uint16_t port);
