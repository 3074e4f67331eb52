#include "printing.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTabBar>
#include <QTableWidget>
#include <algorithm>
#include <climits>

#include "childform.h"
#include "decoders.h"
#include "graph.h"
#include "gridprn.h"
#include "lister.h"
#include "messages.h"
#include "pagedlg.h"
#include "printfile.h"
#include "printlayout.h"
#include "route.h"

std::function<bool(QPrinter&, QWidget*)> PrintDialogHook;
std::function<bool(QPrinter&, QWidget*)> PageSetupHook;

QFont ListingPrintFont() {
  QFont f("Arial");
  f.setPointSize(10);
  return f;
}

namespace {

void ProcessPending() {
  QCoreApplication::processEvents();
}

// Every state's look, as the legend window shows them.
std::vector<TLegendEntry> StateLegend() {
  std::vector<TLegendEntry> legend;
  for (int v = 0; v <= 8; ++v) legend.push_back({StateName(v), StepTemplate(v)});
  return legend;
}

int PrintGraphPages(TGraph& graph, TPrintSession& session, const std::string& title,
                    const std::string& dateTime) {
  graph.Model().PrintTitle = title;
  graph.PrintDateTime = dateTime;
  graph.PrintLegend = StateLegend();
  graph.UpdatePaperSize(&session.Printer());
  if (graph.Model().Pages() < 1) return 0;
  QPainter* p = session.BeginJob(QString::fromStdString(title));
  if (!p) return 0;
  const int pages = graph.PrintOn(
      *p, &session.Printer(), 1, INT_MAX, [&session] { session.NewPage(); },
      [&session] { return session.Aborted(); });
  session.EndJob();
  return pages;
}

int PrintSettings(IPrintSource& source, TPrintSession& session, int tab, const char* title) {
  const int had = source.SettingsTab();
  if (had != tab) {
    source.SetSettingsTab(tab);
    ProcessPending();
  }
  const int pages = PrintGrid(session, source.SettingsGrid(), source.GridFont(),
                              source.ScreenDpiX(), source.ScreenDpiY(), title);
  if (source.SettingsTab() != had) {
    source.SetSettingsTab(had);
    ProcessPending();
  }
  return pages;
}

}  // namespace

TPrintResult PrintRegistration(IPrintSource& source, uint8_t flags, TPrintSession& session) {
  TPrintResult result;
  TEvLister& lister = source.Lister();
  std::vector<int> items = source.SelectedSequenceItems();
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
  for (int i : items) {
    if (session.Aborted()) return result;
    // A list line that is no sequence (the "Not read" line) has nothing to print.
    if (i < 0 || i + 1 > lister.SequenceCount()) continue;
    const auto n = static_cast<uint16_t>(i + 1);
    lister.SelectSequence(n);
    if (flags & kPrintListing) {
      lister.PrintTitle = SequencePrintTitle(source.FileName(), n, "Listing");
      TPrinterTextJob job(session, ListingPrintFont());
      lister.PrintSequence(n, job);
      if (job.Lines() > 0) ++result.Listings;
      ProcessPending();
    }
    if ((flags & kPrintGraph) && !session.Aborted()) {
      result.GraphPages += PrintGraphPages(source.Graph(), session,
                                           SequencePrintTitle(source.FileName(), n, "Route"),
                                           SequenceDateTime(lister.SequenceHeader(n)));
      ProcessPending();
    }
  }
  if ((flags & kPrintZns1) && !session.Aborted()) {
    result.GridPages += PrintSettings(source, session, 0, "Settings - parset 1");
  }
  if ((flags & kPrintZns2) && !session.Aborted()) {
    result.GridPages += PrintSettings(source, session, 1, "Settings - parset 2");
  }
  return result;
}

// ---------------------------------------------------------------------------
// The program's printer

QPrinter& ProgramPrinter() {
  static QPrinter* printer = nullptr;
  if (!printer) {
    printer = new QPrinter(QPrinter::HighResolution);
    if (QPrinterInfo::defaultPrinter().isNull()) printer->setOutputFormat(QPrinter::PdfFormat);
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QObject::connect(app, &QObject::destroyed, [] {
        delete printer;
        printer = nullptr;
      });
    }
  }
  return *printer;
}

bool PrinterReady(const QPrinter& printer) {
  if (!printer.outputFileName().isEmpty()) return true;
  return printer.outputFormat() == QPrinter::NativeFormat && !printer.printerName().isEmpty() &&
         printer.isValid();
}

// ---------------------------------------------------------------------------
// The registration window

std::string TChildPrintSource::FileName() const {
  return form_.FileName;
}

std::vector<int> TChildPrintSource::SelectedSequenceItems() const {
  std::vector<int> items;
  for (int i = 0; i < form_.EventsListBox->count(); ++i) {
    if (form_.EventsListBox->item(i)->isSelected()) items.push_back(i);
  }
  return items;
}

TEvLister& TChildPrintSource::Lister() {
  return *form_.Lister();
}

TGraph& TChildPrintSource::Graph() {
  return *form_.Graph;
}

int TChildPrintSource::SettingsTab() const {
  return form_.TabSet1->currentIndex();
}

void TChildPrintSource::SetSettingsTab(int tab) {
  form_.TabSet1->setCurrentIndex(tab);
}

TGridTable TChildPrintSource::SettingsGrid() const {
  const QTableWidget* g = form_.ZnsGrid;
  TGridTable t;
  for (int c = 0; c < g->columnCount(); ++c) {
    t.ColWidths.push_back(g->isColumnHidden(c) ? 0 : g->columnWidth(c));
  }
  t.ValueCols = SettingsValueColumns(g->columnCount());
  t.Cells.resize(static_cast<size_t>(g->rowCount()));
  for (int r = 0; r < g->rowCount(); ++r) {
    t.RowHeights.push_back(g->isRowHidden(r) ? 0 : g->rowHeight(r));
    std::vector<std::string>& row = t.Cells[static_cast<size_t>(r)];
    row.resize(static_cast<size_t>(g->columnCount()));
    for (int c = 0; c < g->columnCount(); ++c) {
      if (const QTableWidgetItem* item = g->item(r, c)) {
        row[static_cast<size_t>(c)] = item->text().toStdString();
      }
    }
  }
  return t;
}

QFont TChildPrintSource::GridFont() const {
  return form_.ZnsGrid->font();
}

double TChildPrintSource::ScreenDpiX() const {
  return form_.ZnsGrid->logicalDpiX();
}

double TChildPrintSource::ScreenDpiY() const {
  return form_.ZnsGrid->logicalDpiY();
}

namespace {

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
  if (PrintDialogHook) return PrintDialogHook(printer, parent);
  QPrintDialog dlg(&printer, parent);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
  return dlg.exec() == QDialog::Accepted;
}

// Keeps the window from closing while its printout runs (printing lets window events
// through between pages), whatever way the printing ends.
class TPrintingGuard {
 public:
  explicit TPrintingGuard(TChildForm& form) : form_(form) { form_.Printing = true; }
  ~TPrintingGuard() { form_.Printing = false; }
  TPrintingGuard(const TPrintingGuard&) = delete;
  TPrintingGuard& operator=(const TPrintingGuard&) = delete;

 private:
  TChildForm& form_;
};

}  // namespace

void PrintChild(TChildForm& form, bool withDialog, const std::function<void(int)>& help) {
  if (form.Printing) return;
  if (withDialog) {
    TPageDlgFrm& dlg = TPageDlgFrm::Instance();
    dlg.OnHelp = [&form, help] {
      if (help) help(form.HelpContext());
    };
    dlg.SetFlags(form.PrintFlags);
    if (!dlg.Run()) return;
    form.PrintFlags = dlg.Flags();
  }
  QPrinter& printer = ProgramPrinter();
  if (withDialog || !PrinterReady(printer)) {
    if (!RunPrintDialog(printer, &form)) return;
  }
  TPrintingGuard guard(form);
  TChildPrintSource source(form);
  auto print = [&] {
    TPrintSession session(printer);
    PrintRegistration(source, form.PrintFlags, session);
    session.Finish();
    return session.Sheets();
  };
  // Printed into a file (the dialog's PDF output): whole or not at all.
  const std::string file = printer.outputFileName().toStdString();
  if (file.empty()) {
    print();
    return;
  }
  std::string error;
  const bool printed = PrintToPdfFile(
      printer, file,
      [&](std::string& why) {
        if (print() > 0) return true;
        why = "Nothing printed into " + file;
        return false;
      },
      error);
  if (!printed) Messages().Show(MsgIcon::Error, "Error", error);
}

void PrintSetupChild(TChildForm& form) {
  QPrinter& printer = ProgramPrinter();
  bool ok = false;
  if (PageSetupHook) {
    ok = PageSetupHook(printer, &form);
  } else {
    QPageSetupDialog dlg(&printer, &form);
    ok = dlg.exec() == QDialog::Accepted;
  }
  (void)ok;
  // Whatever the dialog ended with, the graph shows the printer's paper.
  form.Graph->UpdatePaperSize(&printer);
}
