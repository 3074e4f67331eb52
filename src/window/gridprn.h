// The printer side of printing: a print session over one QPrinter that the listing, the
// graph pages and the settings grids print into, the listing's text-device job, and the
// grid printing, whose pages are laid out by the Qt-free rules of printlayout.h.
#pragma once

#include <QFont>
#include <QPainter>
#include <QString>
#include <functional>

#include "listersinks.h"
#include "printlayout.h"

class QPrinter;

// One Print command's output. On a printer every printout is a job of its own, under its
// own title; into a file (PDF) the printouts follow each other in the one document, which
// takes the first printout's title, because a second job would overwrite the file.
class TPrintSession {
 public:
  explicit TPrintSession(QPrinter& printer);
  ~TPrintSession();
  TPrintSession(const TPrintSession&) = delete;
  TPrintSession& operator=(const TPrintSession&) = delete;

  // Starts a printout on a fresh sheet; null when the printer cannot start.
  QPainter* BeginJob(const QString& title);
  // The next sheet of the running printout.
  void NewPage();
  void EndJob();
  // Ends the document (the file is written); the session takes no more printouts.
  void Finish();
  // The job was aborted (by the printer or by Abort); printouts stop starting pages.
  bool Aborted() const;
  void Abort();

  QPrinter& Printer() { return printer_; }
  // Sheets started so far.
  int Sheets() const { return sheets_; }
  // Called with the sheet number whenever a sheet is started.
  std::function<void(int)> OnSheet;

 private:
  QPrinter& printer_;
  QPainter painter_;
  bool oneDocument_;
  bool inJob_ = false;
  bool aborted_ = false;
  bool finished_ = false;
  int sheets_ = 0;
};

// The printer as a text device for the event listing: lines go down the sheet inside the
// page box (GridPageBox) from its top and continue on a new sheet when the next line
// would pass the box's bottom.
class TPrinterTextJob : public IPrintJob {
 public:
  TPrinterTextJob(TPrintSession& session, const QFont& font) : session_(session), font_(font) {}
  void Begin(const std::string& title) override;
  bool Aborted() const override;
  void PrintLine(const std::string& line, bool bold) override;
  void End() override;
  int Lines() const { return lines_; }

 private:
  TPrintSession& session_;
  QFont font_;
  QPainter* painter_ = nullptr;
  int y_ = 0;
  int lines_ = 0;
  // The job's first line (a sequence's header), repeated at the top of every further sheet.
  std::string header_;
  bool headerBold_ = false;
  TGridPageBox box_;
};

// The font of a grid on the printer: a size in screen pixels becomes the same size in
// points, so the printout keeps the grid's proportions.
QFont PrinterFont(const QFont& screenFont, double screenDpi);

// Prints table in as many pages as it needs (pages across, then down) under title;
// screenDpiX/Y are those the table's sizes are measured with. Returns the pages printed.
int PrintGrid(TPrintSession& session, const TGridTable& table, const QFont& font, double screenDpiX,
              double screenDpiY, const QString& title);
