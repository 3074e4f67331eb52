#include "writeverify.h"

#include <algorithm>
#include <cstring>

#include "kivbase.h"
#include "kivcomm.h"
#include "numfmt.h"
#include "settingcells.h"
#include "settings.h"

namespace {

uint16_t Register(const uint8_t* p, int r) {
  return static_cast<uint16_t>((p[2 * r] << 8) | p[2 * r + 1]);
}

int ClampedZnsSize(const TKiv& kiv) {
  return std::clamp(kiv.Defs.ZnsSize, 0, static_cast<int32_t>(kivimg::kZestawCapacity / 2));
}

}  // namespace

int WrittenRegisterCount(const TKiv& kiv, int source) {
  if (source != 1 && source != 2) return 0;
  return std::min(kiv.ZestawLength(source) / 2, ClampedZnsSize(kiv));
}

std::vector<std::string> VerifyDifferenceLines(const TKivDefs& defs, const uint8_t* written,
                                               const uint8_t* readBack, int registers) {
  std::vector<std::string> lines;
  const int length = 2 * registers;
  std::vector<bool> differs(static_cast<size_t>(registers), false);
  for (int r = 0; r < registers; ++r) differs[r] = Register(written, r) != Register(readBack, r);
  std::vector<bool> named(static_cast<size_t>(registers), false);
  for (int n = 1; n <= defs.SectionCount(); ++n) {
    const TSets* sets = defs.SectionSets(n);
    if (sets == nullptr) continue;
    for (int m = 1; m <= sets->Count(); ++m) {
      const TSetDesc desc = sets->GetSetting(m);
      const int r = SettingRegister(desc, length);
      if (r < 0 || !differs[r]) continue;
      named[r] = true;
      lines.push_back("Not verified: " + defs.SectionTitle(n) + " / " + SettingNameCell(desc) +
                      ": written " + SettingToText(desc, written, length) + ", read " +
                      SettingToText(desc, readBack, length));
    }
  }
  for (int r = 0; r < registers; ++r) {
    if (!differs[r] || named[r]) continue;
    lines.push_back("Not verified: register " + std::to_string(r + 1) + ": written " +
                    IntToHex(Register(written, r), 4) + "h, read " +
                    IntToHex(Register(readBack, r), 4) + "h");
  }
  return lines;
}

TWriteCheck WriteZestawVerified(TKivComm& comm, TKiv& kiv, int source, int target,
                                std::vector<uint8_t>* readBack) {
  if (comm.WriteZestaw(source, target) != kivcomm::TWriteOutcome::Written)
    return TWriteCheck::NotWritten;

  const int registers = WrittenRegisterCount(kiv, source);
  std::vector<uint8_t> written(kiv.Zestaw(source), kiv.Zestaw(source) + 2 * registers);
  std::vector<uint8_t> back(kivimg::kZestawCapacity, 0);
  const int got = comm.ReadZestawCopy(target, back.data(), static_cast<int>(back.size()));
  if (readBack != nullptr) readBack->assign(back.begin(), back.begin() + std::max(0, got));
  if (got < 2 * registers) {
    kiv.Trace("Not verified: parset " + std::to_string(target) + " could not be read back");
    return TWriteCheck::NotRead;
  }
  const std::vector<std::string> lines =
      VerifyDifferenceLines(kiv.Defs, written.data(), back.data(), registers);
  if (lines.empty()) {
    kiv.Trace("Verified");
    return TWriteCheck::Verified;
  }
  for (const std::string& l : lines) kiv.Trace(l);
  return TWriteCheck::Differs;
}

void TDeviceParsets::Remember(const TKiv& kiv, int n) {
  if (n != 1 && n != 2) return;
  Remember(n, kiv.Zestaw(n), kiv.ZestawLength(n));
}

void TDeviceParsets::Remember(int n, const uint8_t* data, int length) {
  if (n != 1 && n != 2) return;
  length = std::clamp(length, 0, static_cast<int>(kivimg::kZestawCapacity));
  data_[n - 1].assign(data, data + length);
  known_[n - 1] = length > 0;
}

void TDeviceParsets::RememberRead(const TKiv& kiv) {
  for (int n = 1; n <= 2; ++n) {
    const double date = n == 1 ? kiv.Zestaw1ReadDate() : kiv.Zestaw2ReadDate();
    if (date != 0 && kiv.ZestawLength(n) > 0)
      Remember(kiv, n);
    else
      Forget(n);
  }
}

void TDeviceParsets::Forget(int n) {
  if (n != 1 && n != 2) return;
  data_[n - 1].clear();
  known_[n - 1] = false;
}

bool TDeviceParsets::Known(int n) const {
  return (n == 1 || n == 2) && known_[n - 1];
}

TParsetSide TDeviceParsets::Side(const TKiv& kiv, int n) const {
  TParsetSide side;
  side.Defs = &kiv.Defs;
  if (!Known(n)) return side;
  side.Parset = data_[n - 1].data();
  side.Length = static_cast<int>(data_[n - 1].size());
  return side;
}

std::vector<std::string> WriteChangeLines(const TKiv& kiv, int source, int target,
                                          const TDeviceParsets& device) {
  if ((source != 1 && source != 2) || !device.Known(target)) return {};
  // A: what the device holds now; B: what it will hold, its registers beyond the written
  // ones unchanged.
  const TParsetSide before = device.Side(kiv, target);
  const int written = WrittenRegisterCount(kiv, source);
  std::vector<uint8_t> after(before.Parset, before.Parset + before.Length);
  if (after.size() < static_cast<size_t>(2 * written))
    after.resize(static_cast<size_t>(2 * written));
  std::memcpy(after.data(), kiv.Zestaw(source), static_cast<size_t>(2 * written));
  TParsetSide afterSide;
  afterSide.Defs = &kiv.Defs;
  afterSide.Parset = after.data();
  afterSide.Length = static_cast<int>(after.size());
  TSettingsDiff diff;
  diff.Compare(before, afterSide);
  std::vector<std::string> lines = DifferenceLines(diff);
  if (lines.empty()) lines.push_back("no change");
  return lines;
}
