// A loaded device definition file: global register addresses and sizes, time corrections
// and the sections of setting descriptions that lay out a parset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TSetKind : uint8_t { skInt = 0, skReal = 1, skYesNo = 2, skVoltage = 3, skHex = 4 };

// One setting: where it lies in the parset and how its value reads.
struct TSetDesc {
  std::string Name;  // up to 20 characters
  std::string Dim;   // up to 4 characters
  uint8_t Kind = skHex;
  uint8_t Offset = 0;  // register index within the parset, 0-based (OFFSET - 1, low 8 bits)
  double Base = 0.0;
  uint8_t DecPlaces = 0;
  // False when the file's OFFSET lies outside 1..256: the setting then addresses no
  // register of the parset, so it is shown empty and cannot be edited.
  bool OffsetValid = true;
};

class TSets {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // The empty description when m is outside 1..Count.
  TSetDesc GetSetting(int m) const;
  void SetSetting(int m, const TSetDesc& desc);
  void Clear() { items_.clear(); }

 private:
  std::vector<TSetDesc> items_;
};

class TKivDefs {
 public:
  // Empty definitions: no sections, all numbers 0, names empty.
  TKivDefs() = default;

  // Loads a definition file; loading the name already loaded does nothing. A missing
  // file leaves every default in force and no sections.
  void LoadFromFile(const std::string& fileName);
  void Clear();

  int SectionCount() const { return static_cast<int>(sections_.size()); }
  std::string SectionTitle(int n) const;
  const TSets* SectionSets(int n) const;
  void SetSectionTitle(int n, const std::string& title);
  void AddSetting(int n, int m, const TSetDesc& desc);
  uint16_t ZestawAdres(int parset) const;
  int8_t Correction(int inputKind) const;

  std::string LoadedFile;
  int32_t ZnsSize = 0;  // kept within 0..256, what a 512-byte parset holds
  uint16_t Zns1Adres = 0;
  uint16_t Zns2Adres = 0;
  int32_t ZnsSendStep = 0;  // as read; a write uses 1..125 registers per request
  uint16_t EvBufFirstReg = 0;
  uint16_t EvBufLastReg = 0;
  int8_t DiCorrection = 0;
  int8_t DoCorrection = 0;
  int8_t AiCorrection = 0;
  bool ImplementsSysLogick = false;
  std::string FileName;

 private:
  struct Section {
    std::string title;
    std::unique_ptr<TSets> sets;
  };
  std::vector<Section> sections_;
};
