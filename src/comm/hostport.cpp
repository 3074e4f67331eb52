#include "hostport.h"

#include <cstdlib>

namespace {

std::optional<uint16_t> PortNumber(const std::string& text, uint16_t minPort) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const long p = std::strtol(text.c_str(), nullptr, 10);
  if (p < minPort || p > 65535) return std::nullopt;
  return static_cast<uint16_t>(p);
}

}  // namespace

std::optional<THostPort> ParseHostPort(const std::string& text, uint16_t defaultPort,
                                       uint16_t minPort) {
  THostPort out;
  std::string portText;
  bool hasPort = false;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close == 1) return std::nullopt;
    out.Host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
      hasPort = true;
    }
  } else {
    // The first colon: an IPv6 address without brackets leaves colons in the port, which
    // no port number holds, so it is refused rather than cut at its last colon.
    const size_t colon = text.find(':');
    out.Host = text.substr(0, colon);
    if (colon != std::string::npos) {
      portText = text.substr(colon + 1);
      hasPort = true;
    }
  }
  if (!hasPort) {
    out.Port = defaultPort;
    return out;
  }
  const std::optional<uint16_t> port = PortNumber(portText, minPort);
  if (!port) return std::nullopt;
  out.Port = *port;
  return out;
}

std::string FormatHostPort(const std::string& host, uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
