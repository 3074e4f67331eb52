// Manual pages from one plain source: the roff page that `man` shows and the plain text
// that `kivtool help COMMAND` prints come from the same file, so they cannot drift apart.
//
// The source is a small subset of Markdown:
//   # name(1) -- one-line description          title, first line
//   ## SECTION                                  section
//   ### heading                                 subsection (one per kivtool command)
//   text lines                                  a paragraph, up to a blank line
//   * TERM                                      a definition; the lines below it,
//     description                               indented by two spaces, describe it
//       code line                               four spaces after a blank line: verbatim
//   `text`                                      bold (commands, options, file names)
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class EManSource : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TManBlockKind { Section, Subsection, Paragraph, Definition, Code };

struct TManBlock {
  TManBlockKind kind;
  std::string term;                // Definition only
  std::vector<std::string> lines;  // heading text, paragraph lines, description or code
};

struct TManPage {
  std::string name;         // "kivtool"
  std::string section;      // "1"
  std::string description;  // the text after " -- "
  std::vector<TManBlock> blocks;
};

// Throws EManSource with the line number when the source breaks the rules above.
TManPage ParseManSource(const std::string& text);

// The page in the man(7) macros; version goes into the page's footer.
std::string RenderRoff(const TManPage& page, const std::string& version);

// One subsection of a section as plain text, as a terminal shows it: the heading, then the
// paragraphs wrapped at width columns, definitions with their text indented.
struct TManHelp {
  std::string heading;  // the subsection heading without markup
  std::string text;     // heading line, blank line, body; ends with a line feed
};
std::vector<TManHelp> SubsectionHelps(const TManPage& page, const std::string& section,
                                      int width = 79);

// `text` markup removed.
std::string PlainInline(const std::string& text);
