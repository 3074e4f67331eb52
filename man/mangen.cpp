// kivmangen: makes the manual pages and kivtool's command help from man/*.md at build time.
//   kivmangen roff SOURCE.md VERSION OUT.1
//   kivmangen help SOURCE.md SECTION OUT.cpp     C++ table of the section's subsections
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "manpage.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string CLiteral(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n\"\n    \"";
    else
      out += c;
  }
  return out + "\"";
}

// The command name is the word after the program's name in the heading.
std::string CommandName(const std::string& heading) {
  std::istringstream words(heading);
  std::string program, name;
  words >> program >> name;
  return name;
}

std::string HelpSource(const TManPage& page, const std::string& section,
                       const std::string& source) {
  std::string out = "// Made by kivmangen from " + source + "; edit that file.\n";
  out += "#include \"helptext.h\"\n\n";
  out += "const TCommandHelp kCommandHelp[] = {\n";
  int count = 0;
  for (const TManHelp& h : SubsectionHelps(page, section)) {
    out += "  {" + CLiteral(CommandName(h.heading)) + ",\n    " + CLiteral(h.text) + "},\n";
    ++count;
  }
  if (count == 0) throw std::runtime_error(source + ": no subsection in section " + section);
  out += "};\nconst int kCommandHelpCount = " + std::to_string(count) + ";\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "Usage: kivmangen roff SOURCE.md VERSION OUT.1\n"
                 "       kivmangen help SOURCE.md SECTION OUT.cpp\n");
    return 2;
  }
  const std::string mode = argv[1];
  try {
    const TManPage page = ParseManSource(ReadAll(argv[2]));
    if (mode == "roff")
      WriteAll(argv[4], RenderRoff(page, argv[3]));
    else if (mode == "help")
      WriteAll(argv[4], HelpSource(page, argv[3], argv[2]));
    else
      throw std::runtime_error("unknown mode " + mode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kivmangen: %s: %s\n", argv[2], e.what());
    return 1;
  }
  return 0;
}
