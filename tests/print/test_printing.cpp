// Printing from the registration window into PDF files, read back with pdftotext and
// pdfinfo: the options dialog, the order of listings, graphs and grids, the settings
// tab, Cancel, the toolbar's Print, Print preview, margins, abort and the close query.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "childform.h"
#include "childhost.h"
#include "childservices.h"
#include "filesizelimit.h"
#include "graph.h"
#include "gridprn.h"
#include "linesink.h"
#include "lister.h"
#include "messages.h"
#include "pagedlg.h"
#include "printing.h"

namespace {

const QString kSource = KIVSVC_SOURCE_DIR;

class TPrintHost : public IChildHost {
 public:
  bool ServiceMode() const override { return false; }
  std::string InstallDir() const override { return (kSource + "/defs").toStdString(); }
  TCommSettings& CommSettings() override { return comm; }
  void UpdateControls() override {}
  void NewCommand() override {}
  void OpenCommand() override {}
  void CloseProgram() override {}
  bool ExecuteSaveDialog(std::string&, bool) override { return false; }
  void ChildActivated(TChildForm*) override {}
  TCommSettings comm;
};

// The window's printing as the program hands it over; the additions are not needed here.
class TPrintServices : public IChildServices {
 public:
  void Print(TChildForm& form, bool withDialog) override { PrintChild(form, withDialog); }
  void PrintSetup(TChildForm& form) override { PrintSetupChild(form); }
  void Extras(TChildForm&, const std::string&) override {}
};

QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The printer writes A4 sheets into a PDF file.
void ToA4Pdf(QPrinter& printer, const QString& file) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setOutputFileName(file);
}

QString PdfText(const QString& file) {
  return Run("pdftotext", {"-layout", file, "-"});
}

QString PdfInfo(const QString& file, const QString& key) {
  for (const QString& line : Run("pdfinfo", {file}).split('\n')) {
    if (line.startsWith(key + ":")) return line.mid(key.size() + 1).trimmed();
  }
  return {};
}

// Every needle found in text, each after the one before.
// Runs of blanks and line ends count as one blank (pdftotext lays lines out anew).
bool InOrder(const QString& raw, const QStringList& needles) {
  const QString text = raw.simplified() + " ";
  qsizetype at = 0;
  for (const QString& needle : needles) {
    const QString n = needle.simplified() + (needle.endsWith(' ') ? " " : "");
    const qsizetype i = text.indexOf(n, at);
    if (i < 0) {
      qWarning() << "not found in order:" << n;
      return false;
    }
    at = i + n.size();
  }
  return true;
}

}  // namespace

class TestPrinting : public QObject {
  Q_OBJECT

  TPrintServices services_;

  TRecordingMessages messages_;
  std::unique_ptr<TScopedMessageService> scope_;
  QTemporaryDir dir_;
  int dialogRuns_ = 0;
  int printDialogRuns_ = 0;
  QString pdf_;

  // The options dialog answers OK with flags (or Cancel when flags < 0); the print
  // dialog chooses the PDF file pdf_.
  void Answer(int flags) {
    TPageDlgFrm::ExecHook = [this, flags](TPageDlgFrm& d) {
      ++dialogRuns_;
      if (flags < 0) return false;
      d.cbPrintListing->setChecked(flags & 1);
      d.cbPrintGraph->setChecked(flags & 2);
      d.cbPrintZns1->setChecked(flags & 4);
      d.cbPrintZns2->setChecked(flags & 8);
      return true;
    };
    PrintDialogHook = [this](QPrinter& p, QWidget*) {
      ++printDialogRuns_;
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setPageSize(QPageSize(QPageSize::A4));
      p.setPageOrientation(QPageLayout::Portrait);
      p.setOutputFileName(pdf_);
      return !pdf_.isEmpty();
    };
  }

  void Open(TChildForm& child) {
    QVERIFY(child.OpenFile((kSource + "/examples/demo-kivs2.kiv").toStdString()));
    QVERIFY(child.Lister()->SequenceCount() >= 3);
  }

  void Select(TChildForm& child, std::initializer_list<int> rows) {
    child.EventsListBox->setSelectionMode(QAbstractItemView::MultiSelection);
    child.EventsListBox->clearSelection();
    for (int r : rows) child.EventsListBox->item(r)->setSelected(true);
  }

 private slots:
  void initTestCase() {
    scope_ = std::make_unique<TScopedMessageService>(&messages_);
    QVERIFY(dir_.isValid());
  }
  void init() {
    messages_ = TRecordingMessages();
    dialogRuns_ = printDialogRuns_ = 0;
    pdf_.clear();
  }

  void sequencesInListOrderThenGrids() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    Select(child, {2, 0});
    pdf_ = dir_.filePath("all.pdf");
    Answer(15);
    child.Print(true);
    QCOMPARE(dialogRuns_, 1);
    QCOMPARE(child.PrintFlags, uint8_t(15));
    const QString text = PdfText(pdf_);
    TLineCollector one;
    child.Lister()->SelectSequence(1);
    child.Lister()->ForEachEvent(one);
    QVERIFY(one.lines.size() > 3);
    QStringList order{"Sequence no.1 "};
    for (const TListedLine& l : one.lines) order << QString::fromStdString(l.text).trimmed();
    order << "demo-kivs2.kiv-Sequence 1-Route"
          << "Sequence no.3 "
          << "demo-kivs2.kiv-Sequence 3-Route"
          << "Settings - parset 1"
          << "str. 1 (cz.1)"
          << "Settings - parset 2";
    QVERIFY(InOrder(text, order));
    QVERIFY(!text.contains("Sequence no.2 "));
    // One document in a file: its title is the first printout's.
    QCOMPARE(PdfInfo(pdf_, "Title"), QString("demo-kivs2.kiv-Sequence 1-Listing"));
    // Every grid page has its footer; the grids take the pages after the sequences.
    const int gridPages = static_cast<int>(text.count("str. "));
    QVERIFY(gridPages >= 2);
    QVERIFY(PdfInfo(pdf_, "Pages").toInt() >= 2 + 2 + gridPages);
  }

  void bothParsetsKeepTheSettingsTab() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    child.TabSet1->setCurrentIndex(1);
    QCOMPARE(child.ParsetTab, 1);
    const QString shownBefore = child.ZnsGrid->item(2, 2)->text();
    // The window's grid and the table kivtool prints from hold the same; the window's
    // name and value columns are as wide as they were fitted on screen, never narrower.
    const TGridTable table = TChildPrintSource(child).SettingsGrid();
    const TGridTable built = SettingsGridTable(child.Kiv, 2);
    QCOMPARE(table.ColWidths.size(), built.ColWidths.size());
    for (size_t c = 0; c < table.ColWidths.size(); ++c)
      QVERIFY(table.ColWidths[c] >= built.ColWidths[c]);
    QCOMPARE(table.RowHeights, built.RowHeights);
    QVERIFY(table.Cells == built.Cells);

    Select(child, {0});
    pdf_ = dir_.filePath("grids.pdf");
    Answer(12);
    child.Print(true);
    QCOMPARE(child.PrintFlags, uint8_t(12));
    QCOMPARE(child.TabSet1->currentIndex(), 1);
    QCOMPARE(child.ParsetTab, 1);
    QCOMPARE(child.ZnsGrid->item(2, 2)->text(), shownBefore);
    const QString text = PdfText(pdf_);
    QVERIFY(!text.contains("Sequence no."));
    QVERIFY(!text.contains("-Route"));
    // Parset 1 shows its own undervoltage delay, parset 2 its own.
    QVERIFY(InOrder(text, {"Settings - parset 1", "6,1", "str. 1 (cz.1)", "Settings - parset 2",
                           "6,4", "str. 1 (cz.1)"}));
    // Page count: the pages across of both grids, all with footers naming their part.
    const int pages = PdfInfo(pdf_, "Pages").toInt();
    QCOMPARE(static_cast<int>(text.count("str. 1 (cz.")), pages);
    QCOMPARE(PdfInfo(pdf_, "Title"), QString("Settings - parset 1"));
  }

  void cancelPrintsNothing() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    pdf_ = dir_.filePath("cancel.pdf");
    Answer(-1);
    child.Print(true);
    QCOMPARE(dialogRuns_, 1);
    QCOMPARE(printDialogRuns_, 0);
    QCOMPARE(child.PrintFlags, uint8_t(3));
    QVERIFY(!QFile::exists(pdf_));
    // Cancel in the print dialog too.
    Answer(12);
    pdf_.clear();
    child.Print(true);
    QCOMPARE(printDialogRuns_, 1);
    QVERIFY(!QFile::exists(dir_.filePath("cancel.pdf")));
  }

  void graphAloneIntoAFile() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    child.resize(800, 600);
    child.show();
    QVERIFY(QTest::qWaitForWindowExposed(&child));
    Open(child);
    Select(child, {0});
    pdf_ = dir_.filePath("graph.pdf");
    Answer(2);
    child.Print(true);
    QVERIFY2(messages_.shown.empty(),
             messages_.shown.empty() ? "" : messages_.shown.front().text.c_str());
    const QString text = PdfText(pdf_);
    QVERIFY2(text.contains("demo-kivs2.kiv-Sequence 1-Route"), qPrintable(text.left(300)));
    QVERIFY(!text.contains("Sequence no.1 "));
    QVERIFY(PdfInfo(pdf_, "Pages").toInt() >= 1);
  }

  void toolbarPrintsWithoutTheDialog() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    pdf_ = dir_.filePath("first.pdf");
    Answer(4);
    child.Print(true);
    QVERIFY(QFile::exists(pdf_));
    // The printer keeps its file: the toolbar's Print asks nothing and keeps the flags.
    dialogRuns_ = printDialogRuns_ = 0;
    QFile::remove(pdf_);
    child.Print(false);
    QCOMPARE(dialogRuns_, 0);
    QCOMPARE(printDialogRuns_, 0);
    QVERIFY(PdfText(pdf_).contains("Settings - parset 1"));
    QVERIFY(!PdfText(pdf_).contains("Settings - parset 2"));
  }

  void printIntoAFileThatCannotBeWrittenKeepsThePreviousOne() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    QTemporaryDir dir;
    pdf_ = dir.filePath("kept.pdf");
    Answer(15);
    child.Print(true);
    QFile previous(pdf_);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    const QByteArray before = previous.readAll();
    previous.close();
    QVERIFY(before.size() > 8192);
    {
      // Writes past 4 KiB fail, as on a full disk; Qt's PDF writer does not say so itself.
      TFileSizeLimit limit(4096);
      QVERIFY(limit.Active());
      child.Print(false);
    }
    QCOMPARE(messages_.shown.size(), size_t(1));
    QVERIFY2(QString::fromStdString(messages_.shown[0].text)
                 .startsWith("Cannot write " + pdf_ + ": the file came out incomplete"),
             messages_.shown[0].text.c_str());
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.pdf"});
    // The printer still prints into the chosen file.
    QCOMPARE(ProgramPrinter().outputFileName(), pdf_);
  }

  void windowStaysOpenWhilePrinting() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    Open(child);
    Select(child, {0, 1});
    pdf_ = dir_.filePath("busy.pdf");
    Answer(15);
    int asked = 0;
    bool closable = true;
    // Printing lets window events through; a close request arriving then is refused.
    QTimer::singleShot(0, &child, [&] {
      ++asked;
      closable = child.CloseQuery();
    });
    child.Print(true);
    QCOMPARE(asked, 1);
    QVERIFY(!closable);
    QVERIFY(!child.Printing);
    QVERIFY(child.CloseQuery());
  }

  void printPreviewTakesThePaper() {
    TPrintHost host;
    TChildForm child(&host, &services_);
    PageSetupHook = [](QPrinter& p, QWidget*) {
      p.setPageSize(QPageSize(QPageSize::A3));
      p.setPageOrientation(QPageLayout::Landscape);
      return true;
    };
    QVERIFY(child.actPrintPreview->isEnabled());
    child.actPrintPreview->trigger();
    QCOMPARE(child.GraphModel.PaperWidth, 420);
    QCOMPARE(child.GraphModel.PaperHeight, 297);
    QVERIFY(child.Graph->PaperLandscape());
    ProgramPrinter().setPageSize(QPageSize(QPageSize::A4));
    ProgramPrinter().setPageOrientation(QPageLayout::Portrait);
    PageSetupHook = nullptr;
  }

  void marginsOfTheDialog() {
    TPageDlgFrm& d = TPageDlgFrm::Instance();
    QCOMPARE(&TPageDlgFrm::Instance(), &d);
    QCOMPARE(d.windowTitle(), QString("Print options"));
    QCOMPARE(d.Pages->tabText(0), QString("Zakres wydruku"));
    QCOMPARE(d.Pages->tabText(1), QString("Margins"));
    QCOMPARE(d.edtMargin[0]->text(), QString("2,50 cm"));
    d.edtMargin[TPageDlgFrm::kLeft]->setText("1,75 cm");
    d.ReadMargin(TPageDlgFrm::kLeft);
    QCOMPARE(d.Margin(TPageDlgFrm::kLeft), 18);
    QCOMPARE(d.edtMargin[TPageDlgFrm::kLeft]->text(), QString("1,80 cm"));
    d.btnMarginUp[TPageDlgFrm::kLeft]->click();
    QCOMPARE(d.edtMargin[TPageDlgFrm::kLeft]->text(), QString("1,90 cm"));
    // Down on 0 stays 0.
    d.SetMargin(TPageDlgFrm::kRight, 0);
    d.ShowMargins();
    d.btnMarginDown[TPageDlgFrm::kRight]->click();
    QCOMPARE(d.Margin(TPageDlgFrm::kRight), 0);
    QCOMPARE(d.edtMargin[TPageDlgFrm::kRight]->text(), QString("0,00 cm"));
    // A text without a number: the conversion message, the margin kept.
    d.edtMargin[TPageDlgFrm::kUp]->setText("cm");
    d.ReadMargin(TPageDlgFrm::kUp);
    QCOMPARE(d.Margin(TPageDlgFrm::kUp), 25);
    QCOMPARE(d.edtMargin[TPageDlgFrm::kUp]->text(), QString("2,50 cm"));
    QCOMPARE(messages_.shown.size(), size_t(1));
    QVERIFY(QString::fromStdString(messages_.shown[0].text).contains("not a valid"));
    // The flags go both ways through the check boxes.
    d.SetFlags(10);
    QVERIFY(!d.cbPrintListing->isChecked() && d.cbPrintGraph->isChecked());
    QVERIFY(!d.cbPrintZns1->isChecked() && d.cbPrintZns2->isChecked());
  }

  void gridPagesAcrossAndDownAndAbort() {
    // A grid two pages wide and two pages tall on A4 at the printer's resolution.
    TGridTable t;
    t.ColWidths.assign(6, 150);
    t.RowHeights.assign(80, 18);
    t.Cells.assign(80, std::vector<std::string>(6));
    for (int r = 0; r < 80; ++r)
      for (int c = 0; c < 6; ++c)
        t.Cells[static_cast<size_t>(r)][static_cast<size_t>(c)] =
            "r" + std::to_string(r) + "c" + std::to_string(c);
    QFont font("Arial");
    font.setPixelSize(11);
    const QString file = dir_.filePath("grid.pdf");
    {
      QPrinter printer(QPrinter::HighResolution);
      ToA4Pdf(printer, file);
      TPrintSession session(printer);
      // Three sheets across: the continuation sheets repeat column 0 at a quarter width.
      QCOMPARE(PrintGrid(session, t, font, 96, 96, "Grid"), 6);
    }
    const QString text = PdfText(file);
    QVERIFY(InOrder(
        text, {"r0c0", "r0c2", "str. 1 (cz.1)", "r0c0", "r0c4", "str. 1 (cz.2)", "r0c0", "r0c5",
               "str. 1 (cz.3)", "r79c0", "str. 2 (cz.1)", "r79c0", "r79c5", "str. 2 (cz.3)"}));
    QVERIFY(!text.contains("r0c1r0c2"));
    QCOMPARE(PdfInfo(file, "Pages"), QString("6"));

    // Names elided inside their cells, values whole (their column widened), trailing empty
    // rows left out: one sheet for two filled rows of fifty.
    TGridTable s;
    s.ColWidths = {60, 30, 20};
    s.RowHeights.assign(50, 18);
    s.Cells.assign(50, std::vector<std::string>(3));
    s.Cells[0] = {"Undervoltage threshold [%Vr]", "80,512345", ""};
    s.Cells[1] = {"Short", "7", ""};
    s.ValueCols = {false, true, false};
    const QString legible = dir_.filePath("legible.pdf");
    {
      QPrinter printer(QPrinter::HighResolution);
      ToA4Pdf(printer, legible);
      TPrintSession session(printer);
      QCOMPARE(PrintGrid(session, s, font, 96, 96, "Legible"), 1);
    }
    const QString lt = PdfText(legible);
    QVERIFY(lt.contains("80,512345"));
    QVERIFY(lt.contains(QString::fromUtf8("\u2026")));
    QVERIFY(!lt.contains("[%Vr]"));
    QVERIFY(lt.contains("Short"));

    // Aborted while the second sheet starts: no further page is drawn.
    const QString cut = dir_.filePath("abort.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(cut);
    TPrintSession session(printer);
    session.OnSheet = [&session](int sheet) {
      if (sheet == 2) session.Abort();
    };
    QCOMPARE(PrintGrid(session, t, font, 96, 96, "Grid"), 1);
    QVERIFY(session.Aborted());
    QVERIFY(session.BeginJob("more") == nullptr);
  }

  void listingContinuesOnNewSheets() {
    const QString file = dir_.filePath("lines.pdf");
    QPrinter printer(QPrinter::HighResolution);
    ToA4Pdf(printer, file);
    {
      TPrintSession session(printer);
      TPrinterTextJob job(session, ListingPrintFont());
      job.Begin("Lines");
      for (int i = 0; i < 150; ++i) job.PrintLine("line " + std::to_string(i), i % 2 == 0);
      job.End();
      QCOMPARE(job.Lines(), 150);
      QVERIFY(session.Sheets() >= 2);
    }
    QStringList order;
    for (int i = 0; i < 150; ++i) order << QString("line %1 ").arg(i);
    QVERIFY(InOrder(PdfText(file), order));
    // A continuation sheet starts with the job's first line (a sequence's header) again.
    const QString second = Run("pdftotext", {"-f", "2", "-l", "2", "-layout", file, "-"});
    QVERIFY2(second.trimmed().startsWith("line 0\n") || second.trimmed().startsWith("line 0 "),
             qPrintable(second.left(200)));
    QVERIFY(PdfInfo(file, "Pages").toInt() >= 2);
    QCOMPARE(PdfInfo(file, "Title"), QString("Lines"));
  }
};

QTEST_MAIN(TestPrinting)
#include "test_printing.moc"
