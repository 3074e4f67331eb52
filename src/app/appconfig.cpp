#include "appconfig.h"

#include <algorithm>
#include <cctype>

#include "kivbase.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Leading decimal digits with an optional sign; false when there are none.
bool LeadingInt(const std::string& text, long long& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  long long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (v < 100000000000LL) v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

std::string DefaultPortName() {
#ifdef _WIN32
  return "COM1";
#else
  return "ttyS0";
#endif
}

std::string NumberedPortName(int n) {
#ifdef _WIN32
  return "COM" + std::to_string(n);
#else
  return "ttyS" + std::to_string(n - 1);
#endif
}

int32_t ReadProfileInt(const TIniFile& ini, const std::string& section, const std::string& key,
                       int32_t def) {
  if (!ini.ValueExists(section, key)) return def;
  long long v = 0;
  if (!LeadingInt(ini.ReadString(section, key, ""), v)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

TAppConfig ReadAppConfig(const TIniFile& ini, const std::string& section) {
  TAppConfig c;
  c.MBTCPComm = ReadProfileInt(ini, section, "MBTCPComm", 0) == 1;
  c.MBTCPIP = ini.ReadString(section, "MBTCPIP", "127.0.0.1").substr(0, 15);
  c.MBTCPPort = static_cast<uint16_t>(ReadProfileInt(ini, section, "MBTCPPort", 502));

  c.Port = DefaultPortName();
  if (ini.ValueExists(section, "Port")) {
    std::string port = ini.ReadString(section, "Port", "").substr(0, 255);
    long long n = 0;
    bool allDigits = !port.empty() && std::all_of(port.begin(), port.end(), [](char ch) {
      return std::isdigit(static_cast<unsigned char>(ch));
    });
    if (allDigits && LeadingInt(port, n) && n > 0 && n < 100000) {
      c.Port = NumberedPortName(static_cast<int>(n));
    } else {
      c.Port = port;
    }
  }

  // The speed is one byte; an index the serial port handler does not know reads as 9600.
  auto speed = static_cast<uint8_t>(ReadProfileInt(ini, section, "Speed", 6));
  c.Speed = speed <= 12 ? speed : 6;
  c.Time_Out = ReadProfileInt(ini, section, "Time_Out", 500);
  c.TimeSilence = ReadProfileInt(ini, section, "TimeSilence", 300);
  return c;
}

void WriteAppConfig(TIniFile& ini, const std::string& section, const TAppConfig& c) {
  ini.WriteString(section, "MBTCPComm", c.MBTCPComm ? "1" : "0");
  ini.WriteString(section, "MBTCPIP", c.MBTCPIP);
  ini.WriteString(section, "MBTCPPort", std::to_string(c.MBTCPPort));
  ini.WriteString(section, "Port", c.Port);
  ini.WriteString(section, "Speed", std::to_string(c.Speed));
  ini.WriteString(section, "Time_Out", std::to_string(c.Time_Out));
  ini.WriteString(section, "TimeSilence", std::to_string(c.TimeSilence));
}

TWindowPlacement ReadWindowPlacement(const TIniFile& ini, const std::string& section) {
  TWindowPlacement p;
  p.Left = ReadProfileInt(ini, section, "WindowLeft", 0);
  p.Top = ReadProfileInt(ini, section, "WindowTop", 0);
  p.Width = ReadProfileInt(ini, section, "WindowWidth", 0);
  p.Height = ReadProfileInt(ini, section, "WindowHeight", 0);
  p.Maximized = ReadProfileInt(ini, section, "WindowMaximized", 0) == 1;
  // A size that makes no window counts as none stored.
  if (p.Width <= 0 || p.Height <= 0 || p.Width > 100000 || p.Height > 100000) {
    p.Width = p.Height = 0;
  }
  return p;
}

void WriteWindowPlacement(TIniFile& ini, const std::string& section, const TWindowPlacement& p) {
  ini.WriteString(section, "WindowLeft", std::to_string(p.Left));
  ini.WriteString(section, "WindowTop", std::to_string(p.Top));
  ini.WriteString(section, "WindowWidth", std::to_string(p.Width));
  ini.WriteString(section, "WindowHeight", std::to_string(p.Height));
  ini.WriteString(section, "WindowMaximized", p.Maximized ? "1" : "0");
}

std::vector<int32_t> ReadEventsSplit(const TIniFile& ini, const std::string& section) {
  const std::string text = ini.ReadString(section, "EventsSplit", "");
  std::vector<int32_t> split;
  size_t at = 0;
  while (at < text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string part = text.substr(at, comma - at);
    if (part.empty() || part.size() > 6 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return {};
    split.push_back(static_cast<int32_t>(std::stol(part)));
    at = comma + 1;
  }
  return split;
}

void WriteEventsSplit(TIniFile& ini, const std::string& section,
                      const std::vector<int32_t>& split) {
  std::string text;
  for (int32_t t : split) text += (text.empty() ? "" : ",") + std::to_string(t);
  ini.WriteString(section, "EventsSplit", text);
}

std::string ConfigSectionName(const std::string& executablePath) {
  size_t slash = executablePath.find_last_of("/\\");
  std::string name = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  for (size_t i = 1; i < name.size(); ++i) {
    name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
  }
  return name;
}

TCmdWalk WalkCommandLine(const std::vector<std::string>& args,
                         const std::function<bool(const std::string&)>& fileExists) {
  TCmdWalk walk;
  for (const std::string& arg : args) {
    std::string a = Lower(arg);
    if (a.empty()) break;
    size_t dot = a.find_last_of('.');
    if (dot != std::string::npos && a.substr(dot) == ".kiv") {
      if (!fileExists(arg)) {
        walk.missingFile = arg;
        break;
      }
      walk.actions.push_back({TCmdAction::OpenFile, arg});
      continue;
    }
    if (a == "service" || a == "-service") {
      walk.actions.push_back({TCmdAction::ServiceOn, arg});
      continue;
    }
    // Commands and device type words go on lower-cased, everything else keeps its case.
    bool word = a[0] == '-' || a == "kivs2" || a == "kivs3";
    if (!walk.params.empty()) walk.params += ' ';
    walk.params += word ? a : arg;
  }
  return walk;
}

std::string ParamsWindowName(const std::string& params) {
  size_t at = Lower(params).find("file");
  if (at == std::string::npos) return "";
  std::string rest = params.substr(at + 4);
  // The name ends where the next item starts, as the parser splits it: a "-" within a
  // path is part of the name.
  size_t dash = NextItemStart(rest);
  if (dash != std::string::npos) rest.resize(dash);
  return Trim(rest);
}

std::string NextNewFileName(uint16_t& counter,
                            const std::function<bool(const std::string&)>& fileExists) {
  std::string name;
  do {
    ++counter;
    name = "File " + std::to_string(counter) + ".kiv";
  } while (fileExists(name) && counter != 0xFFFF);
  return name;
}

TXScaleAction DecideXScale(const std::string& text, bool isItem, bool hasSelection) {
  TXScaleAction action;
  if (text.empty()) return action;
  if (!isItem && !hasSelection) return action;
  std::string t = Trim(text);
  bool digits = !t.empty() && t.size() <= 9 && std::all_of(t.begin(), t.end(), [](char ch) {
    return std::isdigit(static_cast<unsigned char>(ch));
  });
  if (digits) {
    long v = std::stol(t);
    if (v >= 10 && v <= 50000) {
      action.kind = TXScaleAction::SetScale;
      action.scale = static_cast<int32_t>(v);
      return action;
    }
  }
  action.kind = TXScaleAction::Fit;
  return action;
}
