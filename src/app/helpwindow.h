// The help window: the HTML pages shipped with the program, opened at the page of a
// context number ("<number>.html"), or at the contents page ("index.html").
#pragma once

#include <QTextBrowser>
#include <string>

class THelpWindow : public QTextBrowser {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* parent = nullptr);
  // The folder of the help pages: "help" under the definitions directory, beside the
  // program, or in ../share/kivsvc; empty when none holds an index page.
  static QString HelpDir(const std::string& installDir);
  // Shows the page of the context (0: contents); false when there is no page for it and
  // the contents page is shown instead.
  bool ShowContext(const QString& dir, int context);
};
