// kivtool commands over registration files: info, params, settings, convert, set.
#include <cstdio>

#include "commands.h"
#include "common.h"
#include "numfmt.h"
#include "settingcells.h"
#include "settings.h"

int CmdInfo(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  auto files = args.Positional();
  if (files.size() != 1) throw UsageError("info");
  LoadRegistration(kiv, files[0]);
  PrintInfo(kiv);
  return 0;
}

int CmdParams(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  auto out = args.Value("-o");
  auto texts = args.Positional();
  if (texts.size() != 1) {
    throw UsageError("params");
  }
  std::string message;
  bool ok = kiv.ParseStartParams(texts[0], message);
  std::printf("ok: %s\n", ok ? "yes" : "no");
  std::printf("message: %s\n", message.c_str());
  PrintInfo(kiv);
  if (out) SaveRegistration(kiv, *out);
  return ok ? 0 : 2;
}

int CmdSettings(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  int parset = ParsetNumber(args);
  auto files = args.Positional();
  if (files.size() != 1) throw UsageError("settings");
  LoadRegistration(kiv, files[0]);
  // The grid shows nothing for a registration of unknown type.
  if (kiv.GetKivType() == kivtUnknown) return 0;
  std::printf("%s\n", DefinitionCell(kiv.Defs).c_str());
  for (int r = 1; r <= kiv.Defs.SectionCount(); ++r) {
    std::printf("%s\n", kiv.Defs.SectionTitle(r).c_str());
    const TSets* sets = kiv.Defs.SectionSets(r);
    for (int j = 1; sets && j <= sets->Count(); ++j) {
      TSetDesc d = sets->GetSetting(j);
      std::string value = SettingToText(d, kiv.Zestaw(parset), kiv.ZestawLength(parset));
      std::printf("  %s = %s\n", SettingNameCell(d).c_str(), value.c_str());
    }
  }
  return 0;
}

int CmdConvert(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  auto files = args.Positional();
  if (files.size() != 2) throw UsageError("convert");
  LoadRegistration(kiv, files[0]);
  SaveRegistration(kiv, files[1]);
  return 0;
}

namespace {

struct TSettingEdit {
  int section = 0;
  int setting = 0;
  std::string text;
};

TSettingEdit ParseSettingEdit(const std::string& edit) {
  TSettingEdit e;
  size_t dot = edit.find('.');
  size_t eq = edit.find('=');
  if (dot == std::string::npos || eq == std::string::npos || dot > eq) {
    throw EToolError("Invalid --setting " + edit + " (expected R.J=TEXT)");
  }
  try {
    size_t used = 0;
    std::string r = edit.substr(0, dot), j = edit.substr(dot + 1, eq - dot - 1);
    e.section = std::stoi(r, &used);
    if (used != r.size()) throw EToolError("");
    e.setting = std::stoi(j, &used);
    if (used != j.size()) throw EToolError("");
  } catch (const std::exception&) {
    throw EToolError("Invalid --setting " + edit + " (expected R.J=TEXT)");
  }
  e.text = edit.substr(eq + 1);
  return e;
}

}  // namespace

int CmdSet(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  int parset = ParsetNumber(args);
  auto edits = args.Values("--setting");
  auto out = args.Value("-o");
  auto files = args.Positional();
  if (files.size() != 1 || edits.empty() || !out) {
    throw UsageError("set");
  }
  LoadRegistration(kiv, files[0]);
  for (const std::string& edit : edits) {
    TSettingEdit e = ParseSettingEdit(edit);
    const TSets* sets = kiv.Defs.SectionSets(e.section);
    if (!sets || e.setting < 1 || e.setting > sets->Count()) {
      throw EToolError("No setting " + std::to_string(e.section) + "." + std::to_string(e.setting) +
                       " in " + DefinitionCell(kiv.Defs));
    }
    TSetDesc d = sets->GetSetting(e.setting);
    if (d.Kind == skInt || !d.OffsetValid) {
      throw EToolError("Setting " + SettingNameCell(d) + " cannot be edited");
    }
    // The grid's own checks, with its messages.
    std::string refused;
    try {
      refused = StoreTypedSetting(d, e.text, kiv.ZestawLength(parset), kiv.Zestaw(parset));
    } catch (const std::exception& err) {
      refused = err.what();
    }
    if (!refused.empty()) throw EToolError(refused);
  }
  SaveRegistration(kiv, *out);
  return 0;
}
