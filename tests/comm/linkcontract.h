// What the contract suites of the link interfaces share. Each suite runs one test body
// against a fake link and against the real one with kivsim behind it; a "link under test"
// adapter per implementation makes the device answer, refuse, stay silent or send a wrong
// reply. The faults are named as kivsim's control input names them: the real adapter arms
// them in kivsim, a fake adapter plays them on the reply its script hands over.
#pragma once

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "fakelinks.h"
#include "simprocess.h"
#include "textcodec.h"

constexpr uint8_t kUnit = 31;  // kivsim's slave address and unit id

// The device kivsim serves, rebuilt from the image its --save wrote: its answer to a
// request is the one the link must hand over.
inline std::unique_ptr<TSimDevice> ServedDevice(const QString& file) {
  TKiv kiv;
  kiv.DefsDir = DEFS_DIR;
  if (!kiv.LoadFromFile(file.toStdString())) return nullptr;
  kiv.LoadDefinitions();
  TSimContent c;
  c.Identification = Utf8ToCp1250(kiv.Identification());
  c.ZnsSize = kiv.Defs.ZnsSize;
  c.Zns1Adres = kiv.Defs.Zns1Adres;
  c.Zns2Adres = kiv.Defs.Zns2Adres;
  c.Zestaw1.assign(kiv.Zestaw(1), kiv.Zestaw(1) + kiv.ZestawLength(1));
  c.Zestaw2.assign(kiv.Zestaw(2), kiv.Zestaw(2) + kiv.ZestawLength(2));
  return std::make_unique<TSimDevice>(std::move(c));
}

// kivsim on the other end of a real link, serving a small registration whose image the
// adapter reads back as the reference device.
struct ServedSim {
  explicit ServedSim(bool serial, const QStringList& extra = {})
      : sim(serial,
            QStringList{"--save", dir.filePath("served.kiv"), "--max-events", "300"} + extra) {
    if (sim.Ok()) reference = ServedDevice(dir.filePath("served.kiv"));
  }
  bool Ok() const { return sim.Ok() && reference; }

  QTemporaryDir dir;  // before sim: the image is written into it
  SimProcess sim;
  std::unique_ptr<TSimDevice> reference;
};

// A kivsim fault ("silent", "exception=4", "byte-count=7"), as a fake plays it.
struct FakeFault {
  std::string kind;
  int arg = 0;

  // False for a kind no fake plays.
  bool Parse(const std::string& text) {
    const size_t eq = text.find('=');
    kind = text.substr(0, eq);
    arg = eq == std::string::npos ? 0 : std::stoi(text.substr(eq + 1));
    for (const char* known : {"silent", "exception", "exception-nocode", "byte-count", "data-bytes",
                              "function", "late", "address", "reset"})
      if (kind == known) return true;
    return false;
  }
  // The reply PDU the device sends for this request PDU under the fault (empty: none).
  Bytes Reply(const Bytes& request, Bytes reply) const {
    const auto refused = static_cast<uint8_t>(request[0] | modbus::kExceptionBit);
    if (kind == "silent" || kind == "reset") return {};
    if (kind == "exception") return {refused, static_cast<uint8_t>(arg)};
    if (kind == "exception-nocode") return {refused};
    if (kind == "function") reply[0] = static_cast<uint8_t>(arg);
    if (kind == "byte-count") reply[1] = static_cast<uint8_t>(arg);
    if (kind == "data-bytes") {
      reply.resize(2 + static_cast<size_t>(arg));
      reply[1] = static_cast<uint8_t>(arg);
    }
    return reply;
  }
};

// A port nothing listens on.
inline uint16_t FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// Requests of the contract: the identification, and a few registers of parset 1 written
// and read (the reference device takes the same write, so both stay alike).
inline Bytes IdentRequest() {
  return {modbus::kReadHoldingRegisters, 0x0E, 0x78, 0x00, 0x08};
}
inline Bytes ParsetRead(const TSimDevice& device, int count) {
  const int at = device.Content().Zns1Adres - 1;
  return {modbus::kReadHoldingRegisters, static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at), 0,
          static_cast<uint8_t>(count)};
}
inline Bytes ParsetWrite(const TSimDevice& device) {
  const Bytes read = ParsetRead(device, 2);
  return {modbus::kWriteMultipleRegisters, read[1], read[2], 0, 2, 4, 0xC0, 0xFF, 0x01, 0x5A};
}

// A contract suite's fixture: the link under test, started before each test.
template <class L>
class LinkContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(link.Ok()) << "kivsim or socat did not start"; }
  L link;
};

// Names the typed tests after the implementation (each adapter's kName).
struct LinkNames {
  template <class L>
  static std::string GetName(int) {
    return L::kName;
  }
};
