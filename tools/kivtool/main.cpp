// kivtool: the registration, decoding and device functions of kivsvc for scripts and
// batch work, without the window.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "common.h"
#include "helptext.h"

namespace {

// Each command's usage line is its heading in the manual page (CommandUsage).
struct TCommand {
  const char* name;
  int (*run)(int, char**);
};

const TCommand kCommands[] = {
    {"info", CmdInfo},
    {"params", CmdParams},
    {"settings", CmdSettings},
    {"convert", CmdConvert},
    {"set", CmdSet},
    {"generate", CmdGenerate},
    {"sequences", CmdSequences},
    {"listing", CmdListing},
    {"route", CmdRoute},
    {"hex", CmdHex},
    {"legend", CmdLegend},
    {"diff", CmdDiff},
    {"export", CmdExport},
#ifdef KIVTOOL_WITH_QT
    {"read", CmdRead},
    {"write", CmdWrite},
    {"graph", CmdGraph},
    {"print", CmdPrint},
    {"report", CmdReport},
    {"archive", CmdArchive},
#endif
};

void PrintUsage(FILE* to) {
  std::fprintf(to, "Usage: kivtool COMMAND [ARGUMENTS] [--defs DIR]\nCommands:\n");
  for (const TCommand& c : kCommands) std::fprintf(to, "  %s\n", CommandUsage(c.name).c_str());
  std::fprintf(to,
               "kivtool help COMMAND describes a command; kivtool --version prints the version.\n");
}

// `kivtool help [COMMAND]`: the command's part of the manual page, or the usage.
int PrintHelp(int argc, char** argv) {
  if (argc < 3) {
    PrintUsage(stdout);
    return 0;
  }
  for (const TCommand& c : kCommands) {
    if (argv[2] != std::string(c.name)) continue;
    for (int i = 0; i < kCommandHelpCount; ++i)
      if (argv[2] == std::string(kCommandHelp[i].name)) {
        std::fputs(kCommandHelp[i].text, stdout);
        return 0;
      }
    std::fprintf(stderr, "No help for command: %s\n", argv[2]);
    return 2;
  }
  std::fprintf(stderr, "Unknown command: %s\n", argv[2]);
  PrintUsage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("kivtool %s\n", KIVSVC_VERSION);
    return 0;
  }
  if (std::strcmp(argv[1], "help") == 0) return PrintHelp(argc, argv);
  TScopedMessageService messages(&ToolMessages());
  for (const TCommand& c : kCommands) {
    if (argv[1] != std::string(c.name)) continue;
    try {
      return c.run(argc - 1, argv + 1);
    } catch (const EToolError& e) {
      if (*e.what()) std::fprintf(stderr, "%s\n", e.what());
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 2;
    }
  }
  std::fprintf(stderr, "Unknown command: %s\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
