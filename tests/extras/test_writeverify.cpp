#include <gtest/gtest.h>

#include "../core/tracelines.h"
#include "rig.h"
#include "simdevice.h"
#include "writeverify.h"

namespace {

TSetDesc Desc(const std::string& name, uint8_t kind, int reg) {
  TSetDesc d;
  d.Name = name;
  d.Kind = kind;
  d.Offset = static_cast<uint8_t>(reg);
  d.Base = 1.0;
  return d;
}

// A rig whose definitions describe two registers of the parset.
struct VerifyRig : Rig {
  VerifyRig() : Rig(true) {
    kiv.Defs.SetSectionTitle(1, "Switches");
    kiv.Defs.AddSetting(1, 1, Desc("AS allowed", skYesNo, 3));
    kiv.Defs.AddSetting(1, 2, Desc("Mask", skHex, 4));
    const int size = device->Content().ZnsSize;
    std::vector<uint8_t> p(static_cast<size_t>(2 * size));
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 7 + 1);
    std::copy(p.begin(), p.end(), kiv.Zestaw(1));
    kiv.SetZestawLength(1, static_cast<uint16_t>(p.size()));
  }
  // Every read reply of the device changes register reg (0-based within parset 2) to v.
  void CorruptReads(int reg, uint16_t v) {
    tcp.respond = [this, reg, v](const Bytes& pdu) {
      Bytes reply = device->Handle(pdu);
      const int first = ((pdu[1] << 8) | pdu[2]) + 1;
      const int at = kiv.Defs.Zns2Adres + reg - first;
      if (pdu[0] == 3 && reply[0] == 3 && at >= 0 && 2 * at + 4 < static_cast<int>(reply.size())) {
        reply[static_cast<size_t>(2 + 2 * at)] = static_cast<uint8_t>(v >> 8);
        reply[static_cast<size_t>(3 + 2 * at)] = static_cast<uint8_t>(v);
      }
      return reply;
    };
  }
};

TEST(WriteVerify, AWriteTheDeviceKeepsIsVerified) {
  VerifyRig r;
  std::vector<uint8_t> back;
  EXPECT_EQ(WriteZestawVerified(r.comm, r.kiv, 1, 2, &back), TWriteCheck::Verified);
  ASSERT_GE(r.trace.lines.size(), 2u);
  EXPECT_EQ(r.trace.lines[r.trace.lines.size() - 2], "Save of parset1 do 2: OK");
  EXPECT_EQ(FromEnd(r.trace.lines), "Verified");
  EXPECT_EQ(back.size(), static_cast<size_t>(r.kiv.ZestawLength(1)));
  EXPECT_TRUE(std::equal(back.begin(), back.end(), r.kiv.Zestaw(1)));
  EXPECT_EQ(r.device->Content().Zestaw2, back);
  // The read-back leaves the registration as it was.
  EXPECT_EQ(r.kiv.ZestawLength(2), 0);
  EXPECT_FALSE(r.kiv.Modified);
  EXPECT_FALSE(r.kiv.IsReading);
}

TEST(WriteVerify, DifferencesAreNamedBySettingOrRegister) {
  VerifyRig r;
  r.CorruptReads(3, 0);  // AS allowed
  EXPECT_EQ(WriteZestawVerified(r.comm, r.kiv, 1, 2), TWriteCheck::Differs);
  EXPECT_EQ(FromEnd(r.trace.lines),
            "Not verified: Switches / AS allowed []: written ?: 2B32h, read N");

  VerifyRig s;
  s.CorruptReads(9, 0xBEEF);  // a register no setting shows
  EXPECT_EQ(WriteZestawVerified(s.comm, s.kiv, 1, 2), TWriteCheck::Differs);
  EXPECT_EQ(FromEnd(s.trace.lines), "Not verified: register 10: written 7F86h, read BEEFh");
}

TEST(WriteVerify, FailedWritesAreNotReadBackAndFailedReadsAreSaid) {
  VerifyRig r;
  size_t reads = 0;
  // The identification the write starts with is no reading back.
  auto identification = [](const Bytes& pdu) {
    return pdu[0] == 3 && pdu[1] == 0x0E && pdu[2] == 0x78;
  };
  r.tcp.respond = [&](const Bytes& pdu) {
    if (pdu[0] == 16) return SimException(16, simdev::kIllegalDataAddress);
    if (!identification(pdu)) ++reads;
    return r.device->Handle(pdu);
  };
  EXPECT_EQ(WriteZestawVerified(r.comm, r.kiv, 1, 2), TWriteCheck::NotWritten);
  EXPECT_EQ(reads, 0u);
  EXPECT_EQ(FromEnd(r.trace.lines), "Save of parset1 do 2: Settings rejected by device");

  VerifyRig s;
  s.tcp.respond = [&](const Bytes& pdu) {
    if (pdu[0] == 3 && !identification(pdu)) return SimException(3, simdev::kIllegalDataAddress);
    return s.device->Handle(pdu);
  };
  EXPECT_EQ(WriteZestawVerified(s.comm, s.kiv, 1, 2), TWriteCheck::NotRead);
  EXPECT_EQ(FromEnd(s.trace.lines), "Not verified: parset 2 could not be read back");

  // A device of another type gets nothing and is not read back.
  VerifyRig k3;
  k3.kiv.SetKivType(kivtKivs3);
  const std::vector<uint8_t> before = k3.device->Content().Zestaw2;
  EXPECT_EQ(WriteZestawVerified(k3.comm, k3.kiv, 1, 2), TWriteCheck::NotWritten);
  EXPECT_EQ(k3.Sent(), 1u);
  EXPECT_EQ(
      FromEnd(k3.trace.lines),
      "The device at slave 31 is a KIVS-2; this registration is for a KIVS-3: nothing written");
  EXPECT_EQ(k3.device->Content().Zestaw2, before);

  // An empty source parset aborts the write without Error: still nothing is read back.
  VerifyRig t;
  t.kiv.SetZestawLength(1, 0);
  EXPECT_EQ(WriteZestawVerified(t.comm, t.kiv, 1, 2), TWriteCheck::NotWritten);
  EXPECT_EQ(t.Sent(), 0u);
}

TEST(WriteVerify, DifferenceLinesCoverEveryRegister) {
  TKivDefs defs;
  defs.SetSectionTitle(1, "S");
  defs.AddSetting(1, 1, Desc("A", skHex, 0));
  defs.AddSetting(1, 2, Desc("B", skHex, 0));  // two settings show one register
  const uint8_t written[6] = {0, 1, 0, 2, 0, 3};
  const uint8_t back[6] = {0, 9, 0, 2, 0, 8};
  EXPECT_EQ(VerifyDifferenceLines(defs, written, back, 3),
            (std::vector<std::string>{"Not verified: S / A []: written 0001, read 0009",
                                      "Not verified: S / B []: written 0001, read 0009",
                                      "Not verified: register 3: written 0003h, read 0008h"}));
  EXPECT_TRUE(VerifyDifferenceLines(defs, written, written, 3).empty());
}

}  // namespace
