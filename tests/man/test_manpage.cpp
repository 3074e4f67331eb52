// The manual page source: what roff gets and what `kivtool help` prints.
#include <gtest/gtest.h>

#include "manpage.h"

namespace {

const char kSource[] =
    "# tool(1) -- does things with `--dash` options\n"
    "\n"
    "## Synopsis\n"
    "\n"
    "`tool` COMMAND [`--defs` DIR]\n"
    "\n"
    "## COMMANDS\n"
    "\n"
    "Introduction that belongs to no command.\n"
    "\n"
    "### tool info FILE.kiv\n"
    "\n"
    "Prints what a file holds,\n"
    "one line each.\n"
    ".dots and 'quotes start this line; a back\\slash too.\n"
    "\n"
    "* `--seq` N\n"
    "  The sequence.\n"
    "* `-o` OUT\n"
    "  Where it goes.\n"
    "\n"
    "    tool info a.kiv --seq 5\n"
    "    .starts with a dot\n"
    "\n"
    "### tool legend\n"
    "\n"
    "Prints the legend.\n"
    "\n"
    "## SEE ALSO\n"
    "\n"
    "`other`(1)\n";

TEST(ManPage, ParsesTitleSectionsAndBlocks) {
  const TManPage page = ParseManSource(kSource);
  EXPECT_EQ(page.name, "tool");
  EXPECT_EQ(page.section, "1");
  EXPECT_EQ(page.description, "does things with `--dash` options");
  ASSERT_GE(page.blocks.size(), 12u);
  EXPECT_EQ(page.blocks[0].kind, TManBlockKind::Section);
  EXPECT_EQ(page.blocks[0].lines[0], "Synopsis");
  const TManBlock& para = page.blocks[5];
  ASSERT_EQ(para.kind, TManBlockKind::Paragraph);
  EXPECT_EQ(para.lines.size(), 3u);
  const TManBlock& def = page.blocks[6];
  ASSERT_EQ(def.kind, TManBlockKind::Definition);
  EXPECT_EQ(def.term, "`--seq` N");
  EXPECT_EQ(def.lines, std::vector<std::string>{"The sequence."});
  const TManBlock& code = page.blocks[8];
  ASSERT_EQ(code.kind, TManBlockKind::Code);
  EXPECT_EQ(code.lines,
            (std::vector<std::string>{"tool info a.kiv --seq 5", ".starts with a dot"}));
}

TEST(ManPage, RoffEscapesWhatRoffWouldTakeAsCommands) {
  const std::string roff = RenderRoff(ParseManSource(kSource), "9.8.7");
  EXPECT_NE(roff.find(".TH TOOL 1 \"\" \"kivsvc 9.8.7\" \"User Commands\"\n"), std::string::npos);
  EXPECT_NE(roff.find(".SH NAME\ntool \\- does things with \\fB\\-\\-dash\\fR options\n"),
            std::string::npos);
  EXPECT_NE(roff.find(".SH \"SYNOPSIS\"\n"), std::string::npos);
  EXPECT_NE(roff.find(".SS \"tool info FILE.kiv\"\n"), std::string::npos);
  // A text line starting with a dot or a quote would be a roff request; a backslash an escape.
  EXPECT_NE(roff.find("\n\\&.dots and 'quotes start this line; a back\\eslash too.\n"),
            std::string::npos);
  EXPECT_NE(roff.find(".TP\n\\fB\\-\\-seq\\fR N\nThe sequence.\n"), std::string::npos);
  EXPECT_NE(roff.find(".nf\ntool info a.kiv \\-\\-seq 5\n\\&.starts with a dot\n.fi\n"),
            std::string::npos);
  // No line but the requests starts with a dot.
  size_t pos = 0;
  while ((pos = roff.find("\n.", pos)) != std::string::npos) {
    const std::string request = roff.substr(pos + 1, 3);
    EXPECT_TRUE(request == ".SH" || request == ".SS" || request == ".PP" || request == ".TP" ||
                request == ".nf" || request == ".fi" || request == ".RS" || request == ".RE" ||
                request == ".TH" || request == ".nh" || request == ".ad")
        << roff.substr(pos + 1, 30);
    ++pos;
  }
}

TEST(ManPage, HelpOfEachSubsectionIsItsPlainText) {
  const std::vector<TManHelp> helps = SubsectionHelps(ParseManSource(kSource), "COMMANDS", 30);
  ASSERT_EQ(helps.size(), 2u);
  EXPECT_EQ(helps[0].heading, "tool info FILE.kiv");
  EXPECT_EQ(helps[0].text,
            "tool info FILE.kiv\n"
            "\n"
            "  Prints what a file holds,\n"
            "  one line each. .dots and\n"
            "  'quotes start this line; a\n"
            "  back\\slash too.\n"
            "\n"
            "  --seq N\n"
            "      The sequence.\n"
            "\n"
            "  -o OUT\n"
            "      Where it goes.\n"
            "\n"
            "    tool info a.kiv --seq 5\n"
            "    .starts with a dot\n");
  // The next section ends the last command; the introduction belongs to none.
  EXPECT_EQ(helps[1].text, "tool legend\n\n  Prints the legend.\n");
  EXPECT_TRUE(SubsectionHelps(ParseManSource(kSource), "NOTHING").empty());
}

TEST(ManPage, RefusesBrokenSources) {
  const char* const broken[] = {
      "",                                                // no title
      "tool(1) -- x\n",                                  // title without #
      "# tool -- x\n",                                   // no section
      "# tool(1)\n",                                     // no description
      "# tool(1) -- x\n\ntext before any section\n",     // text outside a section
      "# tool(1) -- x\n\n### sub\n",                     // subsection outside a section
      "# tool(1) -- x\n\n## A\n\n* `--x`\n\nno text\n",  // definition without description
      "# tool(1) -- x\n\n## A\n\nunmatched `tick\n",     // markup left open
      "# tool(1) -- x\n\n## A\n\n#### deeper\n",         // heading level not known
      "# tool(1) -- x\n\n## A\n\n  stray indent\n",      // indented text
  };
  for (const char* source : broken) EXPECT_THROW(ParseManSource(source), EManSource) << source;
}

}  // namespace
