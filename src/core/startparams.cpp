#include <optional>
#include <vector>

#include "kivbase.h"
#include "kivfiles.h"
#include "textcodec.h"

const char* const TKiv::kStartParamsHelp =
    "Starting parammeters programme:\n"
    "-buffile buffilename\n"
    "-zns1file zns1filename\n"
    "-zns2file zns2filename\n"
    "-kivtype [kivs2|kivs3|eproms string]\n"
    "-h -szhow this message";

namespace {

// Blanks and control characters around a text, as the parameter walk trims them.
std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

size_t NextItemStart(const std::string& text, size_t from) {
  // A "-" inside a word (site-a, 2024-05-01) belongs to that word; only one at the start
  // of the text or after a blank starts an item, so paths keep their minus signs.
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '-' && (i == 0 || static_cast<unsigned char>(text[i - 1]) <= ' ')) return i;
  }
  return std::string::npos;
}

namespace {

struct TRawArea {
  std::string fileName;
  uint8_t* area;
  uint32_t capacity;
  int parset;  // 0 for the events buffer
};

}  // namespace

bool TKiv::ParseStartParams(const std::string& params, std::string& message) {
  bool ok = true;
  message.clear();
  std::string bufFile, zns1File, zns2File, ident;
  std::optional<TKivType> type;

  std::string rest = params;
  while (!rest.empty() && ok) {
    rest = Trim(rest);
    if (rest.empty()) break;
    if (rest[0] != '-') {
      ok = false;
      message = " then expected character was: \"-\" :" + rest;
      break;
    }
    rest.erase(0, 1);
    std::string item;
    size_t dash = NextItemStart(rest);
    if (dash != std::string::npos) {
      item = rest.substr(0, dash);
      rest = rest.substr(dash);
    } else {
      item = rest;
      rest.clear();
    }
    item = Trim(item);
    rest = Trim(rest);

    std::string command = item, argument;
    size_t blank = item.find(' ');
    if (blank != std::string::npos) {
      command = item.substr(0, blank + 1);
      argument = item.substr(blank + 1);
    }
    command = Trim(command);
    argument = Trim(argument);

    if (command == "buffile") {
      bufFile = argument;
    } else if (command == "zns1file") {
      zns1File = argument;
    } else if (command == "zns2file") {
      zns2File = argument;
    } else if (command == "kivtype") {
      if (argument == "kivs2") {
        type = kivtKivs2;
      } else if (argument == "kivs3") {
        type = kivtKivs3;
      } else {
        ident = Utf8Upper(argument);
      }
    } else if (command == "h") {
      message = kStartParamsHelp;
    } else {
      ok = false;
      message = "Unknown command: " + command;
      break;
    }
  }

  if (!ok) return false;
  if (bufFile.empty() && zns1File.empty() && zns2File.empty() && ident.empty() && !type) {
    return true;
  }

  if (!ident.empty()) {
    SetIdentification(ident);
    SetKivType(GetKivType());
  } else {
    SetKivType(type.value_or(kivtUnknown));
  }

  const TRawArea areas[] = {
      {bufFile, EventBuffer(), kivimg::kEventBufferCapacity, 0},
      {zns1File, Zestaw1(), kivimg::kZestawCapacity, 1},
      {zns2File, Zestaw2(), kivimg::kZestawCapacity, 2},
  };
  for (const TRawArea& a : areas) {
    if (a.fileName.empty()) continue;
    std::vector<uint8_t> content;
    if (!ReadRawFile(a.fileName, content, a.capacity)) {
      message = "Cant load the file: " + a.fileName;
      return false;
    }
    std::copy(content.begin(), content.end(), a.area);
    auto len = static_cast<uint16_t>(content.size());
    if (a.parset == 0) {
      SetEventBufferLength(len);
    } else {
      SetZestawLength(a.parset, len);
    }
  }

  SetKivType(GetKivType());
  LoadDefinitions();
  Fire(OnCompleteZestawNastaw1);
  Fire(OnEvRegCompleted);
  Fire(OnCompleteAll);
  return true;
}
