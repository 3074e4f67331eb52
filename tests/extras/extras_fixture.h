// Registrations for the extras tests: small hand-made sequences and generated ones.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "graphmodel.h"
#include "kivbase.h"
#include "lister.h"
#include "lister_fixture.h"

namespace extest {

// A KIVS-2 sequence that moves a switch, a voltage range and a two-valued signal.
inline evtest::TEventBuffer SmallKivs2Sequence() {
  evtest::TEventBuffer b;
  b.Clock(23, 5, 17, 10, 30)
      .Switchgear(0, {{13, 0x08}, {11, 0x04}, {15, 0x01}})
      .Event(0xF6, 4, {0x3, 0xF, 0x1, 0x0, 0x0, 0x0})
      .Event(0x24, 40)
      .Event(0x27, 8)
      .Event(0x04, 120)
      .Event(0xF6, 200, {0x1, 0x3, 0x0, 0x7, 0xF, 0x0});
  return b;
}

struct TRegistration {
  TKiv kiv;
  TEvLister lister;
  TGraphModel graph;
  explicit TRegistration(TKivType type) {
    evtest::SetupDevice(kiv, type);
    lister.SetDevice(&kiv);
    lister.SetGraph(&graph);
  }
  void Load(const evtest::TEventBuffer& b) {
    evtest::LoadBuffer(kiv, b.Bytes());
    lister.BuildSequences();
  }
};

inline std::string GoldenDir() {
  return std::string(KIVSVC_EXTRAS_TEST_DIR) + "/golden/";
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares with the golden file; with KIVSVC_UPDATE_GOLDEN set, rewrites it instead.
inline std::string Golden(const std::string& name, const std::string& actual) {
  const std::string path = GoldenDir() + name;
  if (std::getenv("KIVSVC_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
  }
  return ReadFile(path);
}

}  // namespace extest
