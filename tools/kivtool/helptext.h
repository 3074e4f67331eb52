// The text of `kivtool help COMMAND`, made at build time from the kivtool manual page's
// COMMANDS section (man/kivtool.1.md), so the help and the manual say the same.
#pragma once

struct TCommandHelp {
  const char* name;  // the command, "info"
  const char* text;  // its usage line, a blank line and its description
};

extern const TCommandHelp kCommandHelp[];
extern const int kCommandHelpCount;
