// kivtool: the registration, decoding and device functions of kivsvc for scripts and
// batch work, without the window.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "common.h"
#include "helptext.h"

namespace {

struct TCommand {
  const char* name;
  int (*run)(int, char**);
  const char* usage;
};

const TCommand kCommands[] = {
    {"info", CmdInfo, "info FILE.kiv"},
    {"params", CmdParams, "params 'PARAMETER TEXT' [-o OUT.kiv]"},
    {"settings", CmdSettings, "settings FILE.kiv --parset 1|2"},
    {"convert", CmdConvert, "convert IN.kiv OUT.kiv"},
    {"set", CmdSet, "set FILE.kiv --parset 1|2 --setting R.J=TEXT [--setting ...] -o OUT.kiv"},
    {"generate", CmdGenerate,
     "generate --type kivs2|kivs3 [--seed N] [--sequences N] [--max-bytes N] -o OUT.kiv"},
    {"sequences", CmdSequences, "sequences (FILE.kiv | --buffer FILE --type kivs2|kivs3)"},
    {"listing", CmdListing,
     "listing (FILE.kiv | --buffer FILE --type kivs2|kivs3) --seq N [--bold]"},
    {"route", CmdRoute,
     "route (FILE.kiv | --buffer FILE --type kivs2|kivs3) --seq N [--changes [--from X --to X]]"},
    {"hex", CmdHex, "hex (FILE.kiv | --buffer FILE --type kivs2|kivs3)"},
    {"legend", CmdLegend, "legend"},
    {"diff", CmdDiff, "diff A.kiv[:1|2] B.kiv[:1|2] [--all]"},
    {"export", CmdExport, "export FILE.kiv --seq N (--comtrade DIR | --csv OUT.csv)"},
#ifdef KIVTOOL_WITH_QT
    {"read", CmdRead,
     "read (--tcp HOST[:PORT] | --serial PORT [--baud N]) [--slave N] [--time-out MS] "
     "[--silence MS] [--no-parset1] [--no-parset2] [--no-events] [--all-events [on|off]] [--trace] "
     "-o OUT.kiv"},
    {"write", CmdWrite,
     "write FILE.kiv --from 1|2 --to 1|2 (--tcp HOST[:PORT] | --serial PORT [--baud N]) "
     "[--slave N] [--time-out MS] [--silence MS] [--trace] [--no-verify]"},
    {"graph", CmdGraph,
     "graph (FILE.kiv --seq N | --legend) -o OUT.png|OUT.pdf [--dpi N] [--scale PERCENT|fit] "
     "[--from X --to X]"},
    {"print", CmdPrint, "print FILE.kiv [--seq N]... [--flags BITS] [--parset-tab 0|1] -o OUT.pdf"},
    {"report", CmdReport, "report FILE.kiv [--seq N]... -o OUT.pdf"},
    {"archive", CmdArchive,
     "archive (add FILE.kiv... [--device NAME] | devices | sequences [--device NAME] "
     "[--from DATE] [--to DATE] [--code HEX]... [--text WORDS] | listing ID [--bold] | "
     "route ID | export ID (--comtrade DIR | --csv OUT.csv) | kiv ID -o OUT.kiv) [--db URL]"},
#endif
};

void PrintUsage(FILE* to) {
  std::fprintf(to, "Usage: kivtool COMMAND [ARGUMENTS] [--defs DIR]\nCommands:\n");
  for (const TCommand& c : kCommands) std::fprintf(to, "  kivtool %s\n", c.usage);
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
