// kivtool generate: a realistic registration of a simulated device, for demonstrations,
// the simulator and tests.
#include <cstdio>

#include "commands.h"
#include "common.h"
#include "scenario.h"

int CmdGenerate(int argc, char** argv) {
  TArgs args(argc, argv);
  TKiv kiv;
  kiv.DefsDir = DefsDirFrom(args);
  auto type = args.Value("--type");
  int seed = args.IntValue("--seed", 1, 0, 0x7FFFFFFF);
  int sequences = args.IntValue("--sequences", 0, 0, 1000000);
  int maxBytes =
      args.IntValue("--max-bytes", kivimg::kEventBufferCapacity, 16, kivimg::kEventBufferCapacity);
  auto station = args.Value("--station");
  auto out = args.Value("-o");
  if (!type || (*type != "kivs2" && *type != "kivs3") || !out || !args.Positional().empty()) {
    throw UsageError("generate");
  }
  TScenarioOptions options;
  options.MaxBytes = static_cast<uint32_t>(maxBytes);
  TScenarioResult r = GenerateScenario(kiv, *type == "kivs2" ? kivtKivs2 : kivtKivs3,
                                       static_cast<uint32_t>(seed), sequences, options);
  if (station) kiv.SetStationInfo(*station);
  SaveRegistration(kiv, *out);
  std::printf("sequences: %d\nevents: %d\nbytes: %u\n", r.Sequences, r.Events, r.Bytes);
  return 0;
}
