#include "common.h"

#include <cstdio>

#include "helptext.h"
#include "kivdate.h"
#include "kivfiles.h"
#include "numfmt.h"

void TToolMessages::Show(MsgIcon, const std::string&, const std::string& text) {
  ++shownCount;
  std::fprintf(stderr, "%s\n", text.c_str());
}

MsgAnswer TToolMessages::Ask(MsgIcon, const std::string&, const std::string& text,
                             MsgButtons buttons) {
  ++shownCount;
  std::fprintf(stderr, "%s\n", text.c_str());
  return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

TToolMessages& ToolMessages() {
  static TToolMessages messages;
  return messages;
}

TArgs::TArgs(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
  used_.assign(args_.size(), false);
  optionsEnd_ = args_.size();
  for (size_t i = 0; i < args_.size(); ++i) {
    if (args_[i] == "--") {
      optionsEnd_ = i;
      used_[i] = true;
      break;
    }
  }
}

std::optional<std::string> TArgs::Value(const std::string& name) {
  std::vector<std::string> v = Values(name);
  // Two values of one option are a mistake to point out, not a choice to make for the user.
  if (v.size() > 1) throw EToolError("Repeated option: " + name);
  if (v.empty()) return std::nullopt;
  return v.front();
}

std::vector<std::string> TArgs::Values(const std::string& name) {
  std::vector<std::string> v;
  for (size_t i = 0; i < optionsEnd_; ++i) {
    if (!used_[i] && args_[i] == name) {
      if (i + 1 >= optionsEnd_) throw EToolError("Missing value after " + name);
      used_[i] = used_[i + 1] = true;
      v.push_back(args_[i + 1]);
      ++i;
    }
  }
  return v;
}

bool TArgs::Flag(const std::string& name) {
  int found = 0;
  for (size_t i = 0; i < optionsEnd_; ++i) {
    if (!used_[i] && args_[i] == name) {
      used_[i] = true;
      ++found;
    }
  }
  if (found > 1) throw EToolError("Repeated option: " + name);
  return found == 1;
}

std::optional<bool> TArgs::Switch(const std::string& name) {
  std::optional<bool> on;
  for (size_t i = 0; i < optionsEnd_; ++i) {
    if (used_[i] || args_[i] != name) continue;
    if (on) throw EToolError("Repeated option: " + name);
    used_[i] = true;
    on = true;
    if (i + 1 < optionsEnd_ && !used_[i + 1] && (args_[i + 1] == "on" || args_[i + 1] == "off")) {
      used_[i + 1] = true;
      on = args_[i + 1] == "on";
      ++i;
    }
  }
  return on;
}

std::vector<std::string> TArgs::Positional() {
  std::vector<std::string> v;
  for (size_t i = 0; i < args_.size(); ++i) {
    if (used_[i]) continue;
    if (i < optionsEnd_ && args_[i].rfind("--", 0) == 0) {
      throw EToolError("Unknown option: " + args_[i]);
    }
    v.push_back(args_[i]);
  }
  return v;
}

int TArgs::IntValue(const std::string& name, int def, int min, int max) {
  auto v = Value(name);
  if (!v) return def;
  try {
    size_t used = 0;
    int n = std::stoi(*v, &used);
    if (used == v->size() && n >= min && n <= max) return n;
  } catch (const std::exception&) {
  }
  throw EToolError("Invalid value of " + name + ": " + *v);
}

std::string CommandUsage(const std::string& command) {
  for (int i = 0; i < kCommandHelpCount; ++i) {
    if (command != kCommandHelp[i].name) continue;
    const std::string text = kCommandHelp[i].text;
    return text.substr(0, text.find('\n'));
  }
  return "kivtool " + command;
}

EToolError UsageError(const std::string& command) {
  return EToolError("Usage: " + CommandUsage(command));
}

std::string DefsDirFrom(TArgs& args) {
  auto dir = args.Value("--defs");
  return dir ? *dir : InstallDir();
}

void LoadRegistration(TKiv& kiv, const std::string& fileName) {
  if (!FileExists(fileName)) throw EToolError("Cannot open " + fileName);
  int before = ToolMessages().shownCount;
  if (!kiv.LoadFromFile(fileName) || ToolMessages().shownCount != before) {
    throw EToolError("");  // the message was already printed
  }
}

void SaveRegistration(TKiv& kiv, const std::string& fileName) {
  if (!kiv.SaveToFile(fileName)) throw EToolError("");
}

std::string ReadDateText(double days) {
  return days == 0 ? "never" : DateToStr(days);
}

uint16_t SequenceNumber(TArgs& args, const std::string& usage) {
  auto v = args.Value("--seq");
  if (!v) throw EToolError("Usage: " + usage);
  long long n = 0;
  size_t used = 0;
  try {
    n = std::stoll(*v, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != v->size() || n < 1 || n > 65535)
    throw EToolError("Invalid value of --seq: " + *v);
  return static_cast<uint16_t>(n);
}

EToolError NoSequence(const std::string& number, int count) {
  return EToolError("No sequence " + number + " (the registration has " + std::to_string(count) +
                    ")");
}

int ParsetNumber(TArgs& args) {
  int n = args.IntValue("--parset", 0, 1, 2);
  if (n == 0) throw EToolError("Missing --parset 1|2");
  return n;
}

void PrintInfo(const TKiv& kiv) {
  static const char* const kTypes[] = {"?", "KIVS-2", "KIVS-3"};
  TKivType type = kiv.GetKivType();
  TReadOptions o = kiv.GetReadOptions();
  std::printf("type: %s\n", type <= kivtKivs3 ? kTypes[type] : "?");
  std::printf("identification: %s\n", kiv.Identification().c_str());
  std::printf("name: %s\n", kiv.IdentificationName().c_str());
  std::printf("version: %u.%u\n", kiv.VersionMajor(), kiv.VersionMinor());
  std::printf("created: %s\n", DateTimeToStr(kiv.CreateDate()).c_str());
  std::printf("events read: %s\n", ReadDateText(kiv.EventsReadDate()).c_str());
  std::printf("parset 1 read: %s\n", ReadDateText(kiv.Zestaw1ReadDate()).c_str());
  std::printf("parset 2 read: %s\n", ReadDateText(kiv.Zestaw2ReadDate()).c_str());
  std::printf("station: %s\n", kiv.StationInfo().c_str());
  std::printf("slave: %u\n", o.SlaveNo);
  std::printf("options: %u %u %u %u %u %u\n", o.SlaveNo, o.ReadZestaw1, o.ReadZestaw2,
              o.ReadEventRegister, o.CorrectIOTimes, o.ShowAllEvents);
  std::printf("events buffer: %u\n", kiv.EventBufferLength());
  std::printf("parset 1: %u\n", kiv.Zestaw1Length());
  std::printf("parset 2: %u\n", kiv.Zestaw2Length());
  std::printf("definitions: %s\n", ExtractFileName(kiv.Defs.LoadedFile).c_str());
  std::printf("note:\n");
  std::vector<std::string> lines;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
  for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
}
