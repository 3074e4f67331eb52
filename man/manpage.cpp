#include "manpage.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool Blank(const std::string& s) {
  return Trim(s).empty();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

[[noreturn]] void Fail(size_t line, const std::string& what) {
  throw EManSource("line " + std::to_string(line + 1) + ": " + what);
}

void CheckBackticks(const std::string& s, size_t line) {
  if (std::count(s.begin(), s.end(), '`') % 2 != 0) Fail(line, "unmatched ` in: " + s);
}

// One character of text for roff: backslash is the escape character, and every dash is
// written as a minus: an option must stay a minus rather than become a hyphen, and roff
// breaks no line after a minus, so "KIVS-2" and "--no-events" stay whole on the terminal.
void AppendRoffChar(std::string& out, char c) {
  if (c == '\\')
    out += "\\e";
  else if (c == '-')
    out += "\\-";
  else
    out += c;
}

// A line of running text with `code` in bold.
std::string RoffInline(const std::string& text) {
  std::string out;
  bool code = false;
  for (char c : text) {
    if (c == '`') {
      out += code ? "\\fR" : "\\fB";
      code = !code;
    } else {
      AppendRoffChar(out, c);
    }
  }
  return out;
}

// A text line must not start with the control characters of roff.
std::string RoffLine(const std::string& text) {
  if (!text.empty() && (text[0] == '.' || text[0] == '\'')) return "\\&" + text;
  return text;
}

std::string RoffVerbatim(const std::string& text) {
  std::string out;
  for (char c : text) AppendRoffChar(out, c);
  return RoffLine(out);
}

std::string RoffHeading(const std::string& text) {
  std::string out;
  for (char c : RoffInline(text)) {
    if (c == '"')
      out += "\\(dq";
    else
      out += c;
  }
  return "\"" + out + "\"";
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Greedy wrapping of words at width columns, every line starting with indent spaces.
void Wrap(std::string& out, const std::string& text, int indent, int width) {
  std::istringstream words(text);
  std::string word;
  std::string line;
  const std::string pad(static_cast<size_t>(indent), ' ');
  while (words >> word) {
    if (!line.empty() && static_cast<int>(pad.size() + line.size() + 1 + word.size()) > width) {
      out += pad + line + "\n";
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
  }
  if (!line.empty()) out += pad + line + "\n";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) {
    if (!s.empty()) s += ' ';
    s += Trim(l);
  }
  return s;
}

}  // namespace

std::string PlainInline(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '`') out += c;
  return out;
}

TManPage ParseManSource(const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  TManPage page;
  if (lines.empty() || !StartsWith(lines[0], "# "))
    Fail(0, "the first line must be '# name(N) -- description'");
  {
    const std::string title = lines[0].substr(2);
    const size_t open = title.find('(');
    const size_t close = title.find(')');
    const size_t dash = title.find(" -- ");
    if (open == std::string::npos || close == std::string::npos || dash == std::string::npos ||
        !(open < close && close < dash) || open == 0)
      Fail(0, "the first line must be '# name(N) -- description'");
    page.name = title.substr(0, open);
    page.section = title.substr(open + 1, close - open - 1);
    page.description = Trim(title.substr(dash + 4));
    if (page.section.empty() || page.description.empty())
      Fail(0, "the title needs a section and a description");
  }

  size_t i = 1;
  while (i < lines.size()) {
    const std::string& line = lines[i];
    if (Blank(line)) {
      ++i;
      continue;
    }
    CheckBackticks(line, i);
    if (StartsWith(line, "### ") || StartsWith(line, "## ")) {
      const bool sub = StartsWith(line, "### ");
      const std::string heading = Trim(line.substr(sub ? 4 : 3));
      if (heading.empty()) Fail(i, "empty heading");
      if (sub && page.blocks.empty()) Fail(i, "a subsection outside any section");
      page.blocks.push_back(
          {sub ? TManBlockKind::Subsection : TManBlockKind::Section, "", {heading}});
      ++i;
      continue;
    }
    if (StartsWith(line, "#")) Fail(i, "only ## and ### headings follow the title");
    if (page.blocks.empty()) Fail(i, "text before the first section");
    if (StartsWith(line, "    ")) {
      TManBlock code{TManBlockKind::Code, "", {}};
      while (i < lines.size() && StartsWith(lines[i], "    "))
        code.lines.push_back(lines[i++].substr(4));
      page.blocks.push_back(code);
      continue;
    }
    if (StartsWith(line, "* ")) {
      TManBlock def{TManBlockKind::Definition, Trim(line.substr(2)), {}};
      ++i;
      while (i < lines.size() && StartsWith(lines[i], "  ") && !Blank(lines[i])) {
        CheckBackticks(lines[i], i);
        def.lines.push_back(Trim(lines[i++]));
      }
      if (def.lines.empty()) Fail(i - 1, "a definition without its description: " + def.term);
      page.blocks.push_back(def);
      continue;
    }
    if (StartsWith(line, " ")) Fail(i, "indented text outside a definition or code block");
    TManBlock para{TManBlockKind::Paragraph, "", {}};
    while (i < lines.size() && !Blank(lines[i]) && !StartsWith(lines[i], "#") &&
           !StartsWith(lines[i], "* ") && !StartsWith(lines[i], " ")) {
      CheckBackticks(lines[i], i);
      para.lines.push_back(Trim(lines[i++]));
    }
    page.blocks.push_back(para);
  }
  return page;
}

std::string RenderRoff(const TManPage& page, const std::string& version) {
  std::string out;
  out +=
      ".\\\" Made by kivmangen from " + page.name + "." + page.section + ".md; edit that file.\n";
  out += ".TH " + Upper(page.name) + " " + page.section + " \"\" \"kivsvc " + version +
         "\" \"User Commands\"\n";
  // No hyphenation and no justification: options and file names stay whole, so what the
  // terminal shows can be searched for.
  out += ".nh\n.ad l\n";
  out += ".SH NAME\n" + page.name + " \\- " + RoffInline(page.description) + "\n";
  for (const TManBlock& b : page.blocks) {
    switch (b.kind) {
      case TManBlockKind::Section:
        out += ".SH " + RoffHeading(Upper(b.lines[0])) + "\n";
        break;
      case TManBlockKind::Subsection:
        out += ".SS " + RoffHeading(b.lines[0]) + "\n";
        break;
      case TManBlockKind::Paragraph:
        out += ".PP\n";
        for (const std::string& l : b.lines) out += RoffLine(RoffInline(l)) + "\n";
        break;
      case TManBlockKind::Definition:
        out += ".TP\n" + RoffLine(RoffInline(b.term)) + "\n";
        for (const std::string& l : b.lines) out += RoffLine(RoffInline(l)) + "\n";
        break;
      case TManBlockKind::Code:
        out += ".PP\n.RS 4\n.nf\n";
        for (const std::string& l : b.lines) out += RoffVerbatim(l) + "\n";
        out += ".fi\n.RE\n";
        break;
    }
  }
  return out;
}

std::vector<TManHelp> SubsectionHelps(const TManPage& page, const std::string& section, int width) {
  std::vector<TManHelp> helps;
  bool inSection = false;
  TManHelp* current = nullptr;
  for (const TManBlock& b : page.blocks) {
    if (b.kind == TManBlockKind::Section) {
      inSection = b.lines[0] == section;
      current = nullptr;
      continue;
    }
    if (!inSection) continue;
    if (b.kind == TManBlockKind::Subsection) {
      helps.push_back({PlainInline(b.lines[0]), PlainInline(b.lines[0]) + "\n"});
      current = &helps.back();
      continue;
    }
    if (!current) continue;  // the section's own introduction
    std::string& out = current->text;
    out += "\n";
    switch (b.kind) {
      case TManBlockKind::Paragraph:
        Wrap(out, PlainInline(Joined(b.lines)), 2, width);
        break;
      case TManBlockKind::Definition:
        Wrap(out, PlainInline(b.term), 2, width);
        Wrap(out, PlainInline(Joined(b.lines)), 6, width);
        break;
      case TManBlockKind::Code:
        for (const std::string& l : b.lines) out += "    " + l + "\n";
        break;
      default:
        break;
    }
  }
  return helps;
}
