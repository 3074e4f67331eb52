// Writing a parset with a check: after the device accepted the write (": OK"), the target
// parset is read back and compared with what was sent. The write itself behaves exactly as
// without the check; the check only adds trace lines after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settingsdiff.h"

class TKiv;
class TKivComm;

enum class TWriteCheck {
  NotWritten,  // the write was not accepted whole (or not sent); nothing was read back
  Verified,    // the device holds what was written
  Differs,     // the device holds something else
  NotRead,     // the read-back failed
};

// Registers of parset source that a write of it sends: its length in registers, at most
// ZNS_SIZE.
int WrittenRegisterCount(const TKiv& kiv, int source);

// Trace lines naming each difference between the written and the read-back registers:
// the settings showing a differing register, then registers no setting shows.
std::vector<std::string> VerifyDifferenceLines(const TKivDefs& defs, const uint8_t* written,
                                               const uint8_t* readBack, int registers);

// WriteZestaw(source, target), then, when the device took all of it, the read-back: "Verified"
// or one "Not verified: ..." line per difference. readBack receives the bytes read.
TWriteCheck WriteZestawVerified(TKivComm& comm, TKiv& kiv, int source, int target,
                                std::vector<uint8_t>* readBack = nullptr);

// What the device holds as far as the registration knows: a parset as it was read from
// the device (or opened from a registration with a reading date), and after a verified
// write what was written. The write confirmation compares against it.
class TDeviceParsets {
 public:
  // Parset n of kiv is what the device holds now.
  void Remember(const TKiv& kiv, int n);
  void Remember(int n, const uint8_t* data, int length);
  // Both parsets that carry a reading date.
  void RememberRead(const TKiv& kiv);
  void Forget(int n);
  bool Known(int n) const;
  // With the definitions of kiv; an empty side when not known.
  TParsetSide Side(const TKiv& kiv, int n) const;

 private:
  std::vector<uint8_t> data_[2];
  bool known_[2] = {false, false};
};

// The confirmation text of writing parset source over the device's parset target: the
// differing settings or "no change"; empty when the device's parset is not known.
std::vector<std::string> WriteChangeLines(const TKiv& kiv, int source, int target,
                                          const TDeviceParsets& device);
