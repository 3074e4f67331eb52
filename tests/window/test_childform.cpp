// The registration window driven through its real widgets, with the device simulator
// behind the TCP link for the reading and the parset writing.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include "changesdlg.h"
#include "childform.h"
#include "childhost.h"
#include "fileinfodlg.h"
#include "filesizelimit.h"
#include "gridlayout.h"
#include "guitestutil.h"
#include "kivdate.h"
#include "kivfiles.h"
#include "lister.h"
#include "markers.h"
#include "mbtcpclient.h"
#include "messages.h"
#include "numfmt.h"
#include "qtwaiter.h"
#include "route.h"
#include "settingcells.h"
#include "settings.h"
#include "uitext.h"
#include "znsgrid.h"

namespace {

class TTestHost : public IChildHost {
 public:
  TTestHost() {
    comm.TcpLink = &tcp;
    comm.Waiter = &waiter;
    comm.MBTCPComm = true;
    comm.TimeSilence = 2;
    comm.Time_Out = 500;
  }
  bool ServiceMode() const override { return service; }
  std::string InstallDir() const override {
    return qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString();
  }
  TCommSettings& CommSettings() override { return comm; }
  void UpdateControls() override { ++updates; }
  void NewCommand() override {}
  void OpenCommand() override {}
  void CloseProgram() override {}
  bool ExecuteSaveDialog(std::string& fileName, bool allFiles) override {
    lastAllFiles = allFiles;
    proposed.push_back(fileName);
    if (!saveAnswers.empty()) {
      fileName = saveAnswers.front();
      saveAnswers.erase(saveAnswers.begin());
      return !fileName.empty();
    }
    if (saveAnswer.empty()) return false;
    fileName = saveAnswer;
    return true;
  }
  void ChildActivated(TChildForm*) override {}

  bool service = false;
  TCommSettings comm;
  TMBTCPClient tcp;
  TQtWaiter waiter;
  int updates = 0;
  std::string saveAnswer;
  // Answers of the save dialog one after the other ("" is Cancel), before saveAnswer.
  std::vector<std::string> saveAnswers;
  std::vector<std::string> proposed;
  bool lastAllFiles = false;
};

QStringList TraceLines(const TChildForm& child) {
  return child.MemoMessage->toPlainText().split('\n', Qt::SkipEmptyParts);
}

// The first setting of the given kind: its section row and setting number.
bool FindSetting(const TKivDefs& defs, uint8_t kind, int& row, int& j) {
  for (int r = 1; r <= defs.SectionCount(); ++r) {
    const TSets* sets = defs.SectionSets(r);
    for (int m = 1; sets && m <= sets->Count(); ++m) {
      TSetDesc d = sets->GetSetting(m);
      if (d.Kind == kind && d.OffsetValid && (kind != skReal || d.Base != 0)) {
        row = r;
        j = m;
        return true;
      }
    }
  }
  return false;
}

std::vector<uint8_t> ParsetBytes(TChildForm& child, int n) {
  return std::vector<uint8_t>(child.Kiv.Zestaw(n), child.Kiv.Zestaw(n) + kivimg::kZestawCapacity);
}

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A registration window on the TCP link to kivsim, on its Write/Read page.
struct TSimWindow {
  TSimProcess sim;
  TTestHost host;
  std::unique_ptr<TChildForm> child;
  bool Start(const QStringList& args) {
    if (!sim.Start(args)) return false;
    host.comm.MBTCPPort = sim.port;
    child = std::make_unique<TChildForm>(&host);
    child->show();
    child->ShowPage(TChildPage::WriteRead);
    return true;
  }
};

// Cancels the window's reading once its events reading has stored a block or two.
void CancelDuringTheEvents(TChildForm& child) {
  auto* timer = new QTimer(&child);
  QObject::connect(timer, &QTimer::timeout, &child, [&child, timer] {
    // The newest line only: the earlier readings' lines stay above it.
    static const QRegularExpression progress("^Event register reading: [1-9]");
    const QStringList lines = TraceLines(child);
    if (child.Kiv.IsReading && !lines.isEmpty() && lines.last().contains(progress)) {
      timer->stop();
      QTest::mouseClick(child.Btn3, Qt::LeftButton);
    }
  });
  timer->start(10);
}

void LoadType(TChildForm& child, TKivType type) {
  child.Kiv.SetKivType(type);
  child.Kiv.LoadDefinitions();
  child.Kiv.SetZestaw1Length(static_cast<uint16_t>(child.Kiv.Defs.ZnsSize * 2));
  child.Kiv.SetZestaw2Length(static_cast<uint16_t>(child.Kiv.Defs.ZnsSize * 2));
}

}  // namespace

class TestChildForm : public QObject {
  Q_OBJECT

  TRecordingMessages messages_;
  std::unique_ptr<TScopedMessageService> scope_;

 private slots:
  void initTestCase() { scope_ = std::make_unique<TScopedMessageService>(&messages_); }
  void init() { messages_ = TRecordingMessages(); }

  // Each page named by the enum is the tab of that name, with its own help and side buttons;
  // each view shows its own parts of the events page.
  void pagesAndViewsByName() {
    TTestHost host;
    TChildForm child(&host);
    const struct {
      TChildPage page;
      const char* title;
      int help;
      bool panel;
    } pages[] = {{TChildPage::Events, "Events buffer", 10, false},
                 {TChildPage::Settings, "Settings", 134, false},
                 {TChildPage::WriteRead, "Write/Read", 6, true}};
    for (const auto& p : pages) {
      child.ShowPage(p.page);
      QCOMPARE(child.CurrentPage(), p.page);
      QCOMPARE(child.Notebook1->tabText(child.Notebook1->currentIndex()), QString(p.title));
      QCOMPARE(child.HelpContext(), p.help);
      QCOMPARE(!child.Panel2->isHidden(), p.panel);
    }
    const struct {
      TEventsView view;
      bool list, listing, graph;
    } views[] = {{TEventsView::All, true, true, true},
                 {TEventsView::Sequences, true, false, false},
                 {TEventsView::Graph, false, false, true},
                 {TEventsView::Listing, false, true, false}};
    child.ShowPage(TChildPage::Events);
    for (const auto& v : views) {
      child.SetView(v.view);
      QCOMPARE(child.ViewMode, v.view);
      QCOMPARE(!child.EventsListBox->isHidden(), v.list);
      QCOMPARE(!child.FMemo->isHidden(), v.listing);
      QCOMPARE(!child.Graph->isHidden(), v.graph);
    }
  }

  void createdState() {
    TTestHost host;
    TChildForm child(&host);
    QCOMPARE(child.CurrentPage(), TChildPage::Settings);
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Events)), QString("Events buffer"));
    QCOMPARE(child.EventsListBox->item(0)->text(), QString("Not read"));
    QCOMPARE(child.lbBufLoadTime->text(), QString("???"));
    QCOMPARE(child.TabSet1->tabText(1), QString("Settings - parset  2"));
    QCOMPARE(child.ZnsGrid->columnWidth(0), 264);
    QCOMPARE(child.ZnsGrid->columnCount(), 19);
    QCOMPARE(child.PrintFlags, uint8_t(3));
    QVERIFY(!child.Kiv.Modified);
    QCOMPARE(child.cmdOutline->topLevelItemCount(), 1);
    QTreeWidgetItem* root = child.cmdOutline->topLevelItem(0);
    QCOMPARE(root->text(0), QString("Save parset"));
    QCOMPARE(root->childCount(), 4);
    QCOMPARE(root->child(2)->text(0), QString("Save settings - parset 1 to 2"));
  }

  void changesBetweenCursorsFromTheGraphMenu() {
    TTestHost host;
    TChildForm child(&host);
    // Two route steps: OFF from 0, ON from 0,4.
    for (auto [x, state] : {std::pair{0.0, 0}, std::pair{0.4, 1}, std::pair{2.0, 1}}) {
      TGraphPoint p = StepTemplate(state);
      p.X = x;
      child.GraphModel.AddPoint(1, p);
    }
    child.GraphModel.SetRowName(1, "CA State");
    child.Graph->Cursor1()->SetValue(0);
    child.Graph->Cursor2()->SetValue(1);
    QAction* action = nullptr;
    for (QAction* a : child.GraphMenu()->actions()) {
      if (a->text() == "Changes between cursors") action = a;
    }
    QVERIFY(action != nullptr);
    QString row;
    QTimer::singleShot(0, [&row] {
      auto* dlg = qobject_cast<TChangesDialog*>(QApplication::activeModalWidget());
      if (!dlg) return;
      if (dlg->Table()->rowCount() == 1) {
        for (int c = 0; c < dlg->Table()->columnCount(); ++c)
          row += dlg->Table()->item(0, c)->text() + "|";
      }
      dlg->reject();
    });
    action->trigger();
    // The route's own state names.
    QCOMPARE(row, QString::fromUtf8("0,400|1. CA State|OFF → ON|-|"));
  }

  void zoomToCursorsFromTheGraphMenu() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(800, 600);
    child.show();
    QVERIFY(QTest::qWaitForWindowExposed(&child));
    for (double x : {0.0, 20.0}) {
      TGraphPoint p = StepTemplate(1);
      p.X = x;
      child.GraphModel.AddPoint(1, p);
    }
    child.Graph->Cursor1()->SetValue(11.56);
    child.Graph->Cursor2()->SetValue(11.60);
    QAction* action = nullptr;
    for (QAction* a : child.GraphMenu()->actions()) {
      if (a->text() == "Zoom to cursors") action = a;
    }
    QVERIFY(action != nullptr);
    action->trigger();
    const TGraphRect pr = child.Graph->PlotRect();
    const double a = child.Graph->PixelToValue(pr.Left);
    const double b = child.Graph->PixelToValue(pr.Right);
    QVERIFY2(a <= 11.56 && b >= 11.60 && b - a < 0.1, qPrintable(QString("%1 %2").arg(a).arg(b)));
  }

  void eventsSplitIsDraggedAndKept() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(800, 600);
    child.show();
    QVERIFY(QTest::qWaitForWindowExposed(&child));
    child.ShowPage(TChildPage::Events);
    child.SetView(TEventsView::All);
    const int h = child.Panel3->height();
    QVERIFY(h > 200);
    const int listing = child.FMemo->height();
    // Drag the border between the listing and the graph 60 pixels down.
    QSignalSpy moved(&child, &TChildForm::EventsSplitMoved);
    QSplitterHandle* handle = child.EventsSplitter->handle(2);
    QVERIFY(handle != nullptr);
    const QPoint at = handle->rect().center();
    auto send = [&](QEvent::Type t, QPoint p, Qt::MouseButtons held) {
      QMouseEvent e(t, QPointF(p), handle->mapToGlobal(QPointF(p)),
                    t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, {});
      QApplication::sendEvent(handle, &e);
    };
    send(QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(QEvent::MouseMove, at + QPoint(0, 60), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at + QPoint(0, 60), Qt::NoButton);
    QVERIFY(moved.count() >= 1);
    QVERIFY2(std::abs(child.FMemo->height() - (listing + 60)) <= 2,
             qPrintable(QString::number(child.FMemo->height())));
    const std::vector<int32_t> split = child.EventsSplit();
    QCOMPARE(split.size(), size_t(3));
    QCOMPARE(split[0] + split[1] + split[2], 1000);
    // Another view and back keeps the dragged split, and so does a resize.
    child.SetView(TEventsView::Graph);
    QVERIFY(child.Graph->isVisible() && !child.FMemo->isVisible());
    QVERIFY(child.Graph->height() >= h - 2 * child.EventsSplitter->handleWidth());
    child.SetView(TEventsView::All);
    QVERIFY(std::abs(child.FMemo->height() - (listing + 60)) <= 2);
    // Another window given the kept split shows the same heights.
    TChildForm other(&host);
    other.resize(800, 600);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    other.ShowPage(TChildPage::Events);
    other.SetView(TEventsView::All);
    other.SetEventsSplit(split);
    QCOMPARE(other.EventsSplit(), split);
    QVERIFY2(std::abs(other.FMemo->height() - child.FMemo->height()) <= 2,
             qPrintable(QString::number(other.FMemo->height())));
    QVERIFY(std::abs(other.Graph->height() - child.Graph->height()) <= 2);
    // Nonsense is ignored.
    other.SetEventsSplit({0, 0, 0});
    other.SetEventsSplit({500, 500});
    QCOMPARE(other.EventsSplit(), split);
  }

  void splitThousandthsAddUpTo1000() {
    struct Case {
      std::vector<int32_t> parts, want;
    };
    const Case cases[] = {{{1, 1, 2}, {250, 250, 500}},
                          {{1, 1, 1}, {333, 333, 334}},
                          {{0, 5, 5}, {0, 500, 500}},
                          {{3, 3}, {}},
                          {{0, 0, 0}, {}},
                          {{-1, 2, 3}, {}}};
    for (const Case& c : cases) QCOMPARE(SplitThousandths(c.parts), c.want);
  }

  void sideButtonsPerPage() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(600, 400);
    child.show();
    child.ShowPage(TChildPage::WriteRead);
    QVERIFY(child.Panel2->isVisible());
    QCOMPARE(child.Btn1->text(), QString("Reading"));
    QCOMPARE(child.Btn1->toolTip(), QString("Read data from automation"));
    QCOMPARE(child.Btn1->statusTip(), QString("Read selected position from automation"));
    QVERIFY(child.Btn1->isEnabled() && child.Btn2->isEnabled() && !child.Btn3->isEnabled());
    QCOMPARE(child.HelpContext(), 6);
    child.ShowPage(TChildPage::Settings);
    QVERIFY(!child.Panel2->isVisible());
    QCOMPARE(child.HelpContext(), 134);
    child.ShowPage(TChildPage::Events);
    QVERIFY(!child.Panel2->isVisible());  // service mode only
    QCOMPARE(child.HelpContext(), 10);

    host.service = true;
    TChildForm service(&host);
    service.show();
    service.ShowPage(TChildPage::Events);
    QVERIFY(service.Panel2->isVisible());
    QCOMPARE(service.Btn1->text(), QString("HexList"));
    QCOMPARE(service.Btn2->text(), QString("Save Buf"));
    QVERIFY(!service.Btn3->isVisible());
  }

  void readOptionsOutsideServiceMode() {
    TTestHost host;
    TChildForm child(&host);
    child.show();
    TReadOptions o;
    o.SlaveNo = 5;
    o.ReadZestaw2 = 0;
    o.CorrectIOTimes = 0;
    o.ShowAllEvents = 1;
    child.Kiv.SetReadOptions(o);
    child.OptionsToControls();
    TReadOptions stored = child.Kiv.GetReadOptions();
    QCOMPARE(int(stored.CorrectIOTimes), 1);
    QCOMPARE(int(stored.ShowAllEvents), 0);
    QVERIFY(child.chbcorrectIOtimes->isHidden());
    QVERIFY(child.ChBshowallEvents->isHidden());
    QVERIFY(child.ChbTraceMessages->isHidden());
    QCOMPARE(child.SpinSlaveNo->value(), 5);
    QVERIFY(!child.chbZestaw2->isChecked());

    child.chbZestaw1->click();
    QCOMPARE(int(child.Kiv.GetReadOptions().ReadZestaw1), 0);
    child.chbEventRegister->click();
    QCOMPARE(int(child.Kiv.GetReadOptions().ReadEventRegister), 0);
    child.Kiv.Modified = false;
    child.SpinSlaveNo->setValue(9);
    QCOMPARE(int(child.Kiv.GetReadOptions().SlaveNo), 9);
    QVERIFY(child.Kiv.Modified);
  }

  void readOptionsInServiceMode() {
    TTestHost host;
    host.service = true;
    TChildForm child(&host);
    child.show();
    QVERIFY(!child.ChbTraceMessages->isHidden());
    QVERIFY(child.Kiv.TraceMessages);
    TReadOptions o;
    o.CorrectIOTimes = 0;
    o.ShowAllEvents = 1;
    child.Kiv.SetReadOptions(o);
    child.OptionsToControls();
    QVERIFY(!child.chbcorrectIOtimes->isHidden());
    QVERIFY(!child.chbcorrectIOtimes->isChecked());
    QVERIFY(child.ChBshowallEvents->isChecked());
    child.ChBshowallEvents->click();
    QCOMPARE(int(child.Kiv.GetReadOptions().ShowAllEvents), 0);
    child.ChbTraceMessages->click();
    QVERIFY(!child.Kiv.TraceMessages);
  }

  void settingsGridLayoutAndEditing() {
    TTestHost host;
    TChildForm child(&host);
    LoadType(child, kivtKivs2);
    child.ShowParset();
    const TKivDefs& defs = child.Kiv.Defs;
    QVERIFY(defs.SectionCount() > 0);
    QCOMPARE(child.ZnsGrid->item(0, 0)->text(), QString("def: Kivs2.set"));
    QCOMPARE(child.ZnsGrid->item(1, 0)->text(), QString::fromStdString(defs.SectionTitle(1)));
    int n = znsgrid::SettingCount(defs, 1);
    QVERIFY(n > 0);
    TSetDesc first = defs.SectionSets(1)->GetSetting(1);
    QCOMPARE(child.ZnsGrid->item(1, 1)->text(),
             QString::fromStdString(first.Name + " [" + first.Dim + "]").left(27));
    // At opening name and value columns are fitted to what they hold, within limits.
    QVERIFY(child.ZnsGrid->columnWidth(2) >= 44);
    QCOMPARE(child.ZnsGrid->columnWidth(3), 29);
    QVERIFY(child.ZnsGrid->columnWidth(1) >= 88 && child.ZnsGrid->columnWidth(1) <= 260);
    // Cells after the last spacer of the row are empty.
    int after = znsgrid::SpacerColumn(n) + 1;
    if (after < child.ZnsGrid->columnCount()) {
      QTableWidgetItem* cell = child.ZnsGrid->item(1, after);
      QVERIFY(cell == nullptr || cell->text().isEmpty());
    }

    // Editors open on value cells only.
    QAbstractItemDelegate* delegate = child.ZnsGrid->itemDelegate();
    QStyleOptionViewItem option;
    auto editorAt = [&](int r, int c) {
      QWidget* e = delegate->createEditor(child.ZnsGrid->viewport(), option,
                                          child.ZnsGrid->model()->index(r, c));
      bool made = e != nullptr;
      delete e;
      return made;
    };
    QVERIFY(!editorAt(1, 1));                        // name
    QVERIFY(!editorAt(1, 3));                        // spacer
    QVERIFY(!editorAt(defs.SectionCount() + 1, 2));  // below the last section
    QVERIFY(editorAt(1, 2));
    QCOMPARE(child.EditCol, 2);
    QCOMPARE(child.EditRow, 1);

    // A voltage typed with "." is stored and shown with ",".
    int r = 0, j = 0;
    QVERIFY(FindSetting(defs, skVoltage, r, j));
    child.Kiv.Modified = false;
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("6.5k");
    QCOMPARE(child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text(), QString("6,5k"));
    QVERIFY(child.Kiv.Modified);
    TSetDesc volt = defs.SectionSets(r)->GetSetting(j);
    QCOMPARE(SettingToText(volt, child.Kiv.Zestaw1(), child.Kiv.Zestaw1Length()),
             std::string("6,5k"));
    QCOMPARE(child.EditCol, -1);

    // Letters in a REAL cell bring the stored value back, and say why.
    QVERIFY(FindSetting(defs, skReal, r, j));
    TSetDesc real = defs.SectionSets(r)->GetSetting(j);
    QString before = child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text();
    std::vector<uint8_t> bytes(child.Kiv.Zestaw1(), child.Kiv.Zestaw1() + 512);
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("abc");
    QCOMPARE(child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text(), before);
    QVERIFY(std::equal(bytes.begin(), bytes.end(), child.Kiv.Zestaw1()));
    QCOMPARE(int(messages_.shown.size()), 1);
    QCOMPARE(messages_.shown[0].text, std::string("'abc' is not a valid floating point value"));
    // A decimal point is taken as the separator and shown back with ",".
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("0.3");
    const QString shown = child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text();
    QCOMPARE(shown.toStdString(),
             SettingToText(real, child.Kiv.Zestaw1(), child.Kiv.Zestaw1Length()));
    QVERIFY2(shown == "0,3" || real.DecPlaces == 0 || real.Base > 0.3, qPrintable(shown));
    QCOMPARE(int(messages_.shown.size()), 1);
    // A voltage out of range says what is allowed.
    FindSetting(defs, skVoltage, r, j);
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("5");
    QCOMPARE(int(messages_.shown.size()), 2);
    QVERIFY(messages_.shown[1].text.find("Allowable values") != std::string::npos);
    QCOMPARE(child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text(), QString("6,5k"));
    // A number whose register would keep only its low 16 bits is refused, not wrapped.
    QVERIFY(FindSetting(defs, skReal, r, j));
    const QString realBefore = child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text();
    const std::vector<uint8_t> parsetBefore(child.Kiv.Zestaw1(), child.Kiv.Zestaw1() + 512);
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("9999999");
    QCOMPARE(int(messages_.shown.size()), 3);
    QCOMPARE(messages_.shown[2].text,
             "'9999999' is out of range.\n" + SettingAllowableValues(real));
    QCOMPARE(child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text(), realBefore);
    QVERIFY(std::equal(parsetBefore.begin(), parsetBefore.end(), child.Kiv.Zestaw1()));

    // The tab set shows parset 2; both reading dates stay.
    child.Kiv.SetZestaw1ReadDate(38000.5);
    child.Kiv.SetZestaw2ReadDate(38001.25);
    TextToSetting(volt, "10k", child.Kiv.Zestaw2Length(), child.Kiv.Zestaw2());
    child.TabSet1->setCurrentIndex(1);
    QCOMPARE(child.ParsetTab, 1);
    QCOMPARE(child.ZnsGrid->item(r == 0 ? 1 : r, 0)->text().isEmpty(), false);
    int vr = 0, vj = 0;
    FindSetting(defs, skVoltage, vr, vj);
    QCOMPARE(child.ZnsGrid->item(vr, znsgrid::ValueColumn(vj))->text(), QString("10k"));
    QCOMPARE(child.lbZns1LoadTime->text(), QString("2004-01-14 12:00:00"));
    QCOMPARE(child.lbZns2LoadTime->text(), QString("2004-01-15 06:00:00"));
  }

  void unknownTypeLeavesTheGridAlone() {
    TTestHost host;
    TChildForm child(&host);
    child.ShowParset();
    QVERIFY(child.ZnsGrid->item(0, 0) == nullptr);
  }

  void propertiesDialog() {
    TTestHost host;
    TChildForm child(&host);
    TFileInfoDlg dlg;
    dlg.Fill(child.Kiv);
    QCOMPARE(dlg.windowTitle(), QString("Właściwości pliku"));
    QCOMPARE(dlg.EditKivType->text(), QString("?"));
    QCOMPARE(dlg.lbKivVersion->text(), QString("Unit version: "));
    QCOMPARE(dlg.labVer->text(), QString("Program version: %1.%2")
                                     .arg(child.Kiv.VersionMajor())
                                     .arg(child.Kiv.VersionMinor()));
    QVERIFY(!dlg.NoteChanged);
    dlg.Apply(child.Kiv);
    QVERIFY(!child.Kiv.Modified);

    // Through the real modal run: edit the station, press OK.
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TFileInfoDlg*>(QApplication::activeModalWidget());
      if (!d) return;
      d->tbStationInfo->setText("Podstacja 12");
      d->accept();
    });
    TFileInfoDlg run;
    QCOMPARE(run.ShowFileInfo(child.Kiv), int(QDialog::Accepted));
    QVERIFY(child.Kiv.Modified);
    QCOMPARE(child.Kiv.StationInfo(), std::string("Podstacja 12"));

    // Cancel after editing the note changes nothing.
    child.Kiv.Modified = false;
    std::vector<uint8_t> note(child.Kiv.NoteArea(), child.Kiv.NoteArea() + 2048);
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TFileInfoDlg*>(QApplication::activeModalWidget());
      if (!d) return;
      d->Memo1->setPlainText("line one\nline two");
      d->reject();
    });
    TFileInfoDlg cancel;
    QCOMPARE(cancel.ShowFileInfo(child.Kiv), int(QDialog::Rejected));
    QVERIFY(std::equal(note.begin(), note.end(), child.Kiv.NoteArea()));
    QVERIFY(!child.Kiv.Modified);

    // A note edited and confirmed comes back line by line.
    TFileInfoDlg edit;
    edit.Fill(child.Kiv);
    edit.Memo1->setPlainText("first\nsecond");
    QVERIFY(edit.NoteChanged);
    edit.Apply(child.Kiv);
    QVERIFY(child.Kiv.Modified);
    TFileInfoDlg again;
    again.Fill(child.Kiv);
    QCOMPARE(again.Memo1->toPlainText(), QString("first\nsecond"));
  }

  void saveBufferWritesTheRawEvents() {
    QTemporaryDir dir;
    TTestHost host;
    TChildForm child(&host);
    for (int i = 0; i < 10; ++i) child.Kiv.EventBuffer()[i] = static_cast<uint8_t>(i + 1);
    child.Kiv.SetEventBufferLength(10);
    host.saveAnswer = dir.filePath("buf.bin").toStdString();
    child.SaveBuffer();
    QVERIFY(host.lastAllFiles);
    QFile f(dir.filePath("buf.bin"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 10));
  }

  // A raw buffer that cannot be written whole (past a file size limit, as on a full disk)
  // leaves the file that was there and says why.
  void saveBufferThatFailsKeepsThePreviousFile() {
    QTemporaryDir dir;
    TTestHost host;
    TChildForm child(&host);
    for (int i = 0; i < 8000; ++i) child.Kiv.EventBuffer()[i] = static_cast<uint8_t>(i);
    child.Kiv.SetEventBufferLength(8000);
    const QString file = dir.filePath("buf.bin");
    {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("keep");
    }
    messages_.answers = {MsgAnswer::Yes};
    host.saveAnswers = {file.toStdString()};
    {
      TFileSizeLimit limit(4096);
      QVERIFY(limit.Active());
      child.SaveBuffer();
    }
    QVERIFY(!messages_.shown.empty());
    QCOMPARE(messages_.shown.back().text,
             "Error Not saved.\nCannot write " + file.toStdString() + ": File too large");
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"buf.bin"});
  }

  // Save and save buffer: the raw buffer never replaces the registration, asks before
  // replacing another file, and keeps the name typed.
  void saveBufferProtectsTheRegistration() {
    QTemporaryDir dir;
    const QString reg = dir.filePath("site.kiv");
    QVERIFY(
        WriteRegistration(reg, kivtKivs2, qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString()));
    const qint64 regSize = QFileInfo(reg).size();
    TTestHost host;
    TChildForm child(&host);
    QVERIFY(child.OpenFile(reg.toStdString()));
    for (int i = 0; i < 10; ++i) child.Kiv.EventBuffer()[i] = static_cast<uint8_t>(0xA0 + i);
    child.Kiv.SetEventBufferLength(10);

    // One Enter on the proposal writes NAME-events.bin beside the registration.
    const std::string proposal = dir.filePath("site-events.bin").toStdString();
    host.saveAnswers = {proposal};
    child.SaveBuffer();
    QCOMPARE(host.proposed.back(), proposal);
    QCOMPARE(QFileInfo(dir.filePath("site-events.bin")).size(), qint64(10));
    QCOMPARE(QFileInfo(reg).size(), regSize);

    // The registration's own file is refused and the dialog comes back; a ".kiv" name too.
    host.saveAnswers = {reg.toStdString(), dir.filePath("other.kiv").toStdString(), ""};
    child.SaveBuffer();
    QCOMPARE(int(messages_.shown.size()), 2);
    QVERIFY(messages_.shown[0].text.find("is the file of this registration") != std::string::npos);
    QVERIFY(messages_.shown[1].text.find(".kiv") != std::string::npos);
    QCOMPARE(QFileInfo(reg).size(), regSize);
    QVERIFY(!QFile::exists(dir.filePath("other.kiv")));

    // An existing file: No asks for another name, Cancel ends, Yes replaces.
    const std::string existing = dir.filePath("old.bin").toStdString();
    {
      QFile f(Q(existing));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("keep");
    }
    messages_.answers = {MsgAnswer::No, MsgAnswer::Cancel};
    host.saveAnswers = {existing, existing};
    child.SaveBuffer();
    QCOMPARE(int(messages_.asked.size()), 2);
    QCOMPARE(messages_.asked[0].text,
             "File :" + existing + " file already exists\nReplace existing file?");
    QCOMPARE(QFileInfo(Q(existing)).size(), qint64(4));
    messages_.answers = {MsgAnswer::Yes};
    host.saveAnswers = {existing};
    child.SaveBuffer();
    QCOMPARE(QFileInfo(Q(existing)).size(), qint64(10));

    // A name without an extension stays as typed.
    host.saveAnswers = {dir.filePath("buf1").toStdString()};
    child.SaveBuffer();
    QVERIFY(QFile::exists(dir.filePath("buf1")));
    QVERIFY(!QFile::exists(dir.filePath("buf1.kiv")));
    QCOMPARE(RawBufferFileName("File 1.kiv"), std::string("File 1-events.bin"));
  }

  // Grid editing, freezing, resizing and tooltips.
  void gridFixedPartsResizingAndTooltips() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(700, 400);
    child.show();
    child.ShowPage(TChildPage::Settings);
    LoadType(child, kivtKivs2);
    child.ShowParset();
    QVERIFY(QTest::qWaitForWindowExposed(&child));
    auto* grid = qobject_cast<TZnsGridTable*>(child.ZnsGrid);
    QVERIFY(grid);
    QTableView* row = grid->FixedRow();
    QTableView* col = grid->FixedColumn();
    QVERIFY(row->isVisible() && col->isVisible() && grid->FixedCorner()->isVisible());
    QCOMPARE(row->height(), grid->rowHeight(0));
    QCOMPARE(col->width(), grid->columnWidth(0));

    QCOMPARE(grid->horizontalScrollBar()->value(), 0);
    // Scrolling to the far right leaves the section titles in place; the fixed row follows.
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    QVERIFY(grid->horizontalScrollBar()->value() > 0);
    QCOMPARE(col->horizontalScrollBar()->value(), 0);
    QCOMPARE(col->geometry().left(), grid->viewport()->geometry().left());
    QCOMPARE(row->horizontalScrollBar()->value(), grid->horizontalScrollBar()->value());
    QCOMPARE(col->indexAt(QPoint(5, grid->rowViewportPosition(1) + 2)).column(), 0);
    grid->horizontalScrollBar()->setValue(0);

    // The fixed row and column are never selected, by the keyboard or Select All.
    QVERIFY(!(grid->item(0, 0)->flags() & Qt::ItemIsSelectable));
    QVERIFY(!(grid->item(1, 0)->flags() & Qt::ItemIsSelectable));
    grid->setFocus();
    grid->setCurrentCell(1, 1);
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(grid->currentRow(), 1);
    QCOMPARE(grid->currentColumn(), 1);
    grid->selectAll();
    for (QTableWidgetItem* it : grid->selectedItems()) {
      QVERIFY(it->row() > 0 && it->column() > 0);
    }

    // A column border in the fixed row is dragged; a double-click fits the column.
    auto send = [&](QEvent::Type type, int x) {
      QPointF at(x, row->height() / 2);
      QMouseEvent e(type, at, row->viewport()->mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                    Qt::NoModifier);
      QCoreApplication::sendEvent(row->viewport(), &e);
    };
    const int c = znsgrid::NameColumn(1);
    const int w = grid->columnWidth(c);
    const int border = row->columnViewportPosition(c) + row->columnWidth(c);
    QCOMPARE(grid->BorderColumnAt(row, border + 1), c);
    send(QEvent::MouseButtonPress, border);
    send(QEvent::MouseMove, border + 40);
    send(QEvent::MouseButtonRelease, border + 40);
    QCOMPARE(grid->columnWidth(c), w + 40);
    QCOMPARE(row->columnWidth(c), w + 40);
    send(QEvent::MouseButtonDblClick, row->columnViewportPosition(c) + row->columnWidth(c));
    QCOMPARE(grid->columnWidth(c), std::clamp(grid->ContentWidth(c), 24, 400));
    // Widths chosen by the user stay when the parset tab changes.
    grid->setColumnWidth(c + 1, 120);
    child.TabSet1->setCurrentIndex(1);
    QCOMPARE(grid->columnWidth(c + 1), 120);

    // Every name and value cell tells its whole name, value and allowable values.
    TSetDesc d = child.Kiv.Defs.SectionSets(1)->GetSetting(1);
    const QString tip = grid->item(1, c)->toolTip();
    QVERIFY(tip.startsWith(QString::fromStdString(d.Name + " [" + d.Dim + "]")));
    QCOMPARE(grid->item(1, c + 1)->toolTip(), tip);
    int r = 0, j = 0;
    QVERIFY(FindSetting(child.Kiv.Defs, skYesNo, r, j));
    QVERIFY(grid->item(r, znsgrid::ValueColumn(j))->toolTip().contains("Allowable values: [Y/N]"));
  }

  // Keyboard navigation of sequences.
  void keyboardMovesTheShownSequence() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(700, 500);
    child.show();
    child.ShowPage(TChildPage::Events);
    QVERIFY(child.OpenFile(KIVSVC_SOURCE_DIR "/examples/demo-kivs2.kiv"));
    QListWidget* list = child.EventsListBox;
    QVERIFY(list->count() >= 4);
    list->setFocus();
    QCOMPARE(int(child.Lister()->SelectedSequence()), 1);
    const QString first = child.FMemo->toPlainText();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(int(child.Lister()->SelectedSequence()), 2);
    QVERIFY(child.FMemo->toPlainText() != first);
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(int(child.Lister()->SelectedSequence()), list->count());
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(int(child.Lister()->SelectedSequence()), 1);
    QCOMPARE(child.FMemo->toPlainText(), first);
    // Shift extends the selection for printing; the sequence shown follows the cursor.
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(list->selectedItems().size(), 3);
    QCOMPARE(int(child.Lister()->SelectedSequence()), 3);
    // Ctrl+click adds one; a plain click selects only one again.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(0)).center());
    QCOMPARE(list->selectedItems().size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(2)).center());
    QCOMPARE(list->selectedItems().size(), 2);
    QCOMPARE(int(child.Lister()->SelectedSequence()), 3);
    // In the list-only view Enter shows the listing, as a click does.
    child.SetView(TEventsView::Sequences);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(child.ViewMode, TEventsView::Sequences);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(child.ViewMode, TEventsView::Listing);
    QCOMPARE(int(child.Lister()->SelectedSequence()), 4);
  }

  // The trace gets most of the Write/Read page and follows its newest line unless the
  // reader scrolled back.
  void traceListHasRoomAndFollowsTheEnd() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(700, 600);
    child.show();
    child.ShowPage(TChildPage::WriteRead);
    QVERIFY(QTest::qWaitForWindowExposed(&child));
    QVERIFY(child.MemoMessage->height() > child.cmdOutline->height());
    QVERIFY(child.MemoMessage->height() > 150);
    for (int i = 0; i < 200; ++i) child.Kiv.Trace("line " + std::to_string(i));
    QScrollBar* bar = child.MemoMessage->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(0);
    child.Kiv.Trace("newer");
    QCOMPARE(bar->value(), 0);
    bar->setValue(bar->maximum());
    child.Kiv.Trace("newest");
    QCOMPARE(bar->value(), bar->maximum());
  }

  // The note editor refuses what the note area cannot hold and shows what is left.
  void noteEditorKeepsToTheArea() {
    TKiv kiv;
    TFileInfoDlg dlg;
    dlg.Fill(kiv);
    QVERIFY(dlg.lbNoteLeft->text().startsWith("2047 bytes left"));
    dlg.Memo1->setPlainText(QString(2000, 'a'));
    QVERIFY(dlg.lbNoteLeft->text().startsWith("46 bytes left"));
    dlg.Memo1->moveCursor(QTextCursor::End);
    QTest::keyClicks(dlg.Memo1, QString(60, 'b'));
    QCOMPARE(dlg.Memo1->toPlainText().size(), 2046);
    QVERIFY(dlg.lbNoteLeft->text().startsWith("0 bytes left"));
    dlg.Memo1->insertPlainText("more");
    QCOMPARE(dlg.Memo1->toPlainText().size(), 2046);
    dlg.Apply(kiv);
    std::vector<std::string> lines;
    NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
    QCOMPARE(int(lines.size()), 1);
    QCOMPARE(int(lines[0].size()), 2046);
  }

  void wholeReadingAgainstTheSimulator() {
    TSimProcess sim;
    QVERIFY2(sim.Start(), "kivsim did not start");
    TTestHost host;
    host.comm.MBTCPPort = sim.port;
    TChildForm child(&host);
    child.resize(640, 480);
    child.show();
    child.ShowPage(TChildPage::WriteRead);
    QTest::mouseClick(child.Btn1, Qt::LeftButton);
    QVERIFY(!child.Kiv.IsReading);
    QStringList trace = TraceLines(child);
    QVERIFY2(trace.join('\n').contains("KIVS-2"), qPrintable(trace.join('\n')));
    QCOMPARE(child.Kiv.GetKivType(), kivtKivs2);
    QVERIFY(child.Kiv.EventBufferLength() > 0);
    QVERIFY(child.lbBufLoadTime->text() != "???");
    QVERIFY(child.lbZns1LoadTime->text() != "???");
    QVERIFY(child.EventsListBox->count() > 0);
    QVERIFY(child.EventsListBox->item(0)->text().startsWith("Sequence no."));
    QVERIFY(!child.FMemo->toPlainText().isEmpty());
    QVERIFY(child.GraphModel.SeriesCount() > 0);
    QVERIFY(child.ZnsGrid->item(0, 0)->text().startsWith("def: "));
    QVERIFY(child.Kiv.Modified);
    QVERIFY(child.Btn1->isEnabled());
    QVERIFY(child.Notebook1->isEnabled());

    // Views of the events page: a quarter each for the list and the listing (less the
    // borders one drags).
    child.ShowPage(TChildPage::Events);
    child.SetView(TEventsView::All);
    const int border = child.EventsSplitter->handleWidth();
    QVERIFY(std::abs(child.EventsListBox->height() - child.Panel3->height() / 4) <= border);
    QVERIFY(std::abs(child.FMemo->height() - child.Panel3->height() / 4) <= border);
    child.SetView(TEventsView::Sequences);
    QVERIFY(child.EventsListBox->isVisible() && !child.FMemo->isVisible());
    // Ctrl+click picks several sequences; a plain click one again.
    QVERIFY(child.EventsListBox->count() >= 3);
    auto center = [&](int i) {
      return child.EventsListBox->visualItemRect(child.EventsListBox->item(i)).center();
    };
    child.SetView(TEventsView::All);
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, center(0));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      center(1));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      center(2));
    QCOMPARE(child.EventsListBox->selectedItems().size(), 3);
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, center(1));
    QCOMPARE(child.EventsListBox->selectedItems().size(), 1);
    QCOMPARE(child.Lister()->SelectedSequence(), uint16_t(2));
    child.SetView(TEventsView::Sequences);
    // A click in the list view switches to the listing.
    QRect first = child.EventsListBox->visualItemRect(child.EventsListBox->item(0));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(child.ViewMode, TEventsView::Listing);
    QVERIFY(child.FMemo->isVisible() && !child.EventsListBox->isVisible());

    // The command tree writes parset 1 only after "Yes".
    child.ShowPage(TChildPage::WriteRead);
    QTreeWidgetItem* item = child.cmdOutline->topLevelItem(0)->child(0);
    child.cmdOutline->setCurrentItem(item);
    int lines = TraceLines(child).size();
    messages_.answers = {MsgAnswer::No};
    QTest::mouseClick(child.Btn2, Qt::LeftButton);
    QCOMPARE(messages_.asked.back().title, std::string("Confirm realization of recommendation"));
    // Parset 1 was just read from the device: the confirmation says what would change.
    QCOMPARE(messages_.asked.back().text,
             std::string("Save settings - parset 1\n\nChanges on the device:\nno change"));
    QCOMPARE(TraceLines(child).size(), lines);

    // Change one register, write it, read it back in another window.
    child.Kiv.Zestaw1()[0] ^= 0x01;
    uint8_t written = child.Kiv.Zestaw1()[0];
    messages_.answers = {MsgAnswer::Yes};
    QTest::mouseClick(child.Btn2, Qt::LeftButton);
    QVERIFY2(TraceLines(child).join('\n').contains(": OK"),
             qPrintable(TraceLines(child).join('\n')));
    // The written parset was read back and found as written.
    QCOMPARE(TraceLines(child).last(), QString("Verified"));
    TChildForm other(&host);
    other.chbEventRegister->click();
    other.StartReading();
    QCOMPARE(other.Kiv.Zestaw1()[0], written);
  }

  // The command tree writes nothing into a device of another type than the registration's:
  // the device's parsets read back as they were.
  void commandTreeWritesNothingIntoADeviceOfAnotherType() {
    TSimProcess sim;
    QVERIFY2(sim.Start({"--type", "kivs3"}), "kivsim did not start");
    TTestHost host;
    host.comm.MBTCPPort = sim.port;
    auto readDevice = [&host](TChildForm& form) {
      form.chbEventRegister->click();
      form.StartReading();
      return std::vector<uint8_t>(form.Kiv.Zestaw1(), form.Kiv.Zestaw1() + 512);
    };
    TChildForm before(&host);
    const std::vector<uint8_t> held = readDevice(before);
    QCOMPARE(before.Kiv.GetKivType(), kivtKivs3);
    TChildForm child(&host);
    QVERIFY(child.OpenFile(KIVSVC_SOURCE_DIR "/examples/demo-kivs2.kiv"));
    child.ShowPage(TChildPage::WriteRead);
    child.cmdOutline->setCurrentItem(child.cmdOutline->topLevelItem(0)->child(0));
    messages_.answers = {MsgAnswer::Yes};
    QTest::mouseClick(child.Btn2, Qt::LeftButton);
    QCOMPARE(TraceLines(child).last(),
             QString("The device at slave 31 is a KIVS-3; this registration is for a KIVS-2: "
                     "nothing written"));
    QCOMPARE(child.Kiv.GetKivType(), kivtKivs2);
    QVERIFY(!child.Kiv.IsReading);
    TChildForm after(&host);
    QVERIFY(readDevice(after) == held);
  }

  void cancelDuringAReading() {
    TSimWindow w;
    QVERIFY2(w.Start({"--delay-ms", "60"}), "kivsim did not start");
    TChildForm& child = *w.child;
    bool wasReading = false, cancelEnabled = false, closeRefused = false, pagesDisabled = false;
    QTimer::singleShot(400, [&] {
      wasReading = child.Kiv.IsReading;
      cancelEnabled = child.Btn3->isEnabled();
      // The pages are locked, but the trace can be scrolled meanwhile.
      pagesDisabled = !child.Notebook1->tabBar()->isEnabled() && !child.cmdOutline->isEnabled() &&
                      !child.SpinSlaveNo->isEnabled() && child.MemoMessage->isEnabled() &&
                      child.MemoMessage->isVisibleTo(&child);
      closeRefused = !child.CloseQuery();
      QTest::mouseClick(child.Btn3, Qt::LeftButton);
    });
    QTest::mouseClick(child.Btn1, Qt::LeftButton);
    QVERIFY(wasReading);
    QVERIFY(cancelEnabled);
    QVERIFY(pagesDisabled);
    QVERIFY(closeRefused);
    QVERIFY(!child.Kiv.IsReading);
    QVERIFY(child.Kiv.Cancel);
    QVERIFY(child.Btn1->isEnabled());
    QVERIFY(!child.Btn3->isEnabled());
    QVERIFY(messages_.asked.empty());
  }

  // The write confirmation's Enter answers No, so a reflex never writes to a device.
  void writeConfirmationDefaultsToNo() {
    TTestHost host;
    TChildForm child(&host);
    LoadType(child, kivtKivs2);
    child.RunParsetCommand("ZNS1_1");
    QCOMPARE(int(messages_.asked.size()), 1);
    QCOMPARE(messages_.asked[0].title, std::string("Confirm realization of recommendation"));
    QCOMPARE(messages_.asked[0].buttons, (std::vector<std::string>{"Yes", "No"}));
    QCOMPARE(messages_.asked[0].enterButton, std::string("No"));
    QVERIFY(TraceLines(child).isEmpty());  // nothing was sent
  }

  // "*" in the title and on the Settings tab from the first edit until saved; undo and redo
  // give back the exact parset bytes; undo back to the saved state takes the mark away.
  void modifiedMarkUndoAndRedo() {
    QTemporaryDir dir;
    const QString reg = dir.filePath("site.kiv");
    QVERIFY(
        WriteRegistration(reg, kivtKivs2, qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString()));
    TTestHost host;
    TChildForm child(&host);
    QVERIFY(child.OpenFile(reg.toStdString()));
    QCOMPARE(child.windowTitle(), reg);
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings"));
    QCOMPARE(child.actUndo->shortcut(), QKeySequence("Ctrl+Z"));
    QCOMPARE(child.actRedo->shortcut(), QKeySequence("Ctrl+Shift+Z"));
    QVERIFY(!child.actUndo->isEnabled());
    const std::vector<uint8_t> saved1 = ParsetBytes(child, 1);
    int r = 0, j = 0;
    QVERIFY(FindSetting(child.Kiv.Defs, skVoltage, r, j));
    const int c = znsgrid::ValueColumn(j);

    child.ZnsGrid->item(r, c)->setText("6.5k");
    const std::vector<uint8_t> edited1 = ParsetBytes(child, 1);
    QVERIFY(edited1 != saved1);
    QCOMPARE(child.windowTitle(), reg + "*");
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings*"));
    QVERIFY(child.actUndo->isEnabled());
    QVERIFY(child.actUndo->text().contains(Q(child.Kiv.Defs.SectionSets(r)->GetSetting(j).Name)));
    // A refused text changes no byte and adds no step.
    child.ZnsGrid->item(r, c)->setText("5");
    QCOMPARE(ParsetBytes(child, 1), edited1);
    QCOMPARE(child.UndoStack()->count(), 1);

    // An edit of parset 2, then undo twice: each parset comes back byte for byte.
    const std::vector<uint8_t> saved2 = ParsetBytes(child, 2);
    child.TabSet1->setCurrentIndex(1);
    child.ZnsGrid->item(r, c)->setText("10k");
    const std::vector<uint8_t> edited2 = ParsetBytes(child, 2);
    QVERIFY(edited2 != saved2);
    child.Undo();
    QCOMPARE(ParsetBytes(child, 2), saved2);
    QCOMPARE(ParsetBytes(child, 1), edited1);
    QCOMPARE(child.windowTitle(), reg + "*");
    child.ShowPage(TChildPage::Events);
    child.Undo();
    QCOMPARE(ParsetBytes(child, 1), saved1);
    // Undo shows where it changed something, and back at the saved state the marks go.
    QCOMPARE(child.CurrentPage(), TChildPage::Settings);
    QCOMPARE(child.TabSet1->currentIndex(), 0);
    QCOMPARE(child.ZnsGrid->item(r, c)->text(),
             Q(SettingToText(child.Kiv.Defs.SectionSets(r)->GetSetting(j), saved1.data(),
                             child.Kiv.Zestaw1Length())));
    QCOMPARE(child.windowTitle(), reg);
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings"));
    QVERIFY(!child.Kiv.Modified);
    child.Redo();
    QCOMPARE(ParsetBytes(child, 1), edited1);
    child.Redo();
    QCOMPARE(ParsetBytes(child, 2), edited2);
    QCOMPARE(child.windowTitle(), reg + "*");

    // Saved: no mark, and the file holds the edits. Undo then differs from the file again.
    child.Save();
    QVERIFY(messages_.asked.empty());
    QCOMPARE(child.windowTitle(), reg);
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings"));
    QVERIFY(!child.Kiv.Modified);
    {
      TKiv back;
      QVERIFY(back.LoadFromFile(reg.toStdString()));
      QVERIFY(std::equal(edited2.begin(), edited2.end(), back.Zestaw2()));
    }
    child.Undo();
    QCOMPARE(child.windowTitle(), reg + "*");
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings*"));
    child.Redo();
    QCOMPARE(child.windowTitle(), reg);

    // A change made elsewhere (the slave number) keeps the mark when the edits are undone.
    child.ZnsGrid->item(r, c)->setText("20k");
    child.SpinSlaveNo->setValue(child.SpinSlaveNo->value() == 9 ? 8 : 9);
    child.Undo();
    QCOMPARE(child.Notebook1->tabText(int(TChildPage::Settings)), QString("Settings"));
    QCOMPARE(child.windowTitle(), reg + "*");
    QVERIFY(child.Kiv.Modified);

    // Nothing is undone while a dialogue runs: the parset may be going to the device.
    child.Redo();
    const std::vector<uint8_t> now = ParsetBytes(child, 2);
    child.Kiv.IsReading = true;
    child.Undo();
    QCOMPARE(ParsetBytes(child, 2), now);
    child.Kiv.IsReading = false;
    child.Kiv.Modified = false;
  }

  // A file someone else wrote since it was opened is not overwritten unasked.
  void fileChangedOnDiskAsksBeforeSaving() {
    QTemporaryDir dir;
    const QString reg = dir.filePath("site.kiv");
    const std::string defs = qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString();
    QVERIFY(WriteRegistration(reg, kivtKivs2, defs));
    TTestHost host;
    TChildForm child(&host);
    QVERIFY(child.OpenFile(reg.toStdString()));
    int r = 0, j = 0;
    QVERIFY(FindSetting(child.Kiv.Defs, skVoltage, r, j));
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("6.5k");

    // Another program saves the file with a station text of its own.
    {
      TKiv other;
      QVERIFY(other.LoadFromFile(reg.toStdString()));
      other.SetStationInfo("Written by kivtool");
      QVERIFY(other.SaveToFile(reg.toStdString()));
    }
    const QByteArray theirs = FileBytes(reg);
    const std::string question =
        "File " + reg.toStdString() + " changed since you opened it: overwrite / save as";

    // Cancel (also what Escape gives) saves nothing.
    child.Save();
    QCOMPARE(int(messages_.asked.size()), 1);
    QCOMPARE(messages_.asked[0].text, question);
    QCOMPARE(messages_.asked[0].buttons,
             (std::vector<std::string>{"Overwrite", "Save As", "Cancel"}));
    QCOMPARE(messages_.asked[0].enterButton, std::string("Save As"));
    QCOMPARE(FileBytes(reg), theirs);
    QVERIFY(child.Kiv.Modified);
    QCOMPARE(child.windowTitle(), reg + "*");

    // Save As writes elsewhere and leaves their file as it is.
    messages_.choices = {1};
    host.saveAnswer = dir.filePath("mine.kiv").toStdString();
    child.Save();
    QCOMPARE(FileBytes(reg), theirs);
    QCOMPARE(QFileInfo(dir.filePath("mine.kiv")).size(), qint64(20486));
    QCOMPARE(child.FileName, host.saveAnswer);
    QVERIFY(!child.Kiv.Modified);

    // Back on the first file (replacing it agreed in the Save As dialog's question), then
    // changed again by them: Overwrite writes ours.
    messages_.answers = {MsgAnswer::Yes};
    host.saveAnswer = reg.toStdString();
    child.SaveAs();
    QCOMPARE(int(messages_.asked.size()), 3);  // only the replace question
    QVERIFY(FileBytes(reg) != theirs);
    {
      TKiv other;
      QVERIFY(other.LoadFromFile(reg.toStdString()));
      other.SetStationInfo("Changed again");
      QVERIFY(other.SaveToFile(reg.toStdString()));
    }
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("10k");
    messages_.choices = {0};
    child.Save();
    QCOMPARE(int(messages_.asked.size()), 4);
    QCOMPARE(messages_.asked[3].text, question);
    QCOMPARE(FileBytes(reg),
             QByteArray(reinterpret_cast<const char*>(child.Kiv.Image()), child.Kiv.ImageSize()));
    QVERIFY(!child.Kiv.Modified);
    // Unchanged since our own save: no question.
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("20k");
    child.Save();
    QCOMPARE(int(messages_.asked.size()), 4);
    QVERIFY(!child.Kiv.Modified);
  }

  // A reading cancelled during the events over a window that held a whole buffer: the
  // previous buffer is kept or the partial one taken, as answered, and the trace says which.
  void cancelledReadingKeepsOrTakesThePreviousBuffer() {
    TSimWindow w;
    QVERIFY2(w.Start({"--delay-ms", "30"}), "kivsim did not start");
    TChildForm& child = *w.child;
    child.StartReading();
    QVERIFY2(!child.Kiv.Error && !child.Kiv.Cancel, qPrintable(TraceLines(child).join('\n')));
    const int length = child.Kiv.EventBufferLength();
    const int sequences = child.EventsListBox->count();
    QVERIFY(length > 1000);
    QVERIFY(sequences > 1);
    const std::vector<uint8_t> whole(child.Kiv.EventBuffer(), child.Kiv.EventBuffer() + length);
    const double date = child.Kiv.EventsReadDate();
    const QString dateLabel = child.lbBufLoadTime->text();
    QVERIFY(messages_.asked.empty());

    // An edit before the next reading: the parsets the reading replaces end its history.
    int r = 0, j = 0;
    QVERIFY(FindSetting(child.Kiv.Defs, skVoltage, r, j));
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("6.5k");
    QCOMPARE(child.UndoStack()->count(), 1);

    // Kept (the default).
    messages_.choices = {0};
    CancelDuringTheEvents(child);
    child.StartReading();
    QVERIFY(child.Kiv.Cancel);
    QVERIFY2(messages_.asked.size() == 1, qPrintable(TraceLines(child).join('\n')));
    const std::string& question = messages_.asked[0].text;
    QVERIFY2(question.find("Keep the previous buffer (" + std::to_string(sequences) +
                           " sequences, read " + DateTimeToStr(date) + ")") != std::string::npos,
             question.c_str());
    QVERIFY(question.find("or take the partial one (") != std::string::npos);
    QCOMPARE(messages_.asked[0].enterButton, std::string("Keep previous"));
    QCOMPARE(int(child.Kiv.EventBufferLength()), length);
    QVERIFY(std::equal(whole.begin(), whole.end(), child.Kiv.EventBuffer()));
    QCOMPARE(child.Kiv.EventsReadDate(), date);
    QCOMPARE(child.EventsListBox->count(), sequences);
    QCOMPARE(child.lbBufLoadTime->text(), dateLabel);
    QVERIFY2(TraceLines(child).last().startsWith("Events buffer: the previous one kept ("),
             qPrintable(TraceLines(child).last()));
    QCOMPARE(child.UndoStack()->count(), 0);

    // Taken.
    messages_.choices = {1};
    CancelDuringTheEvents(child);
    child.StartReading();
    QCOMPARE(int(messages_.asked.size()), 2);
    QVERIFY(child.Kiv.EventBufferLength() < length);
    QVERIFY(child.Kiv.EventBufferLength() > 0);
    QVERIFY(child.EventsListBox->count() < sequences);
    QVERIFY2(TraceLines(child).last().startsWith("Events buffer: the partial one taken ("),
             qPrintable(TraceLines(child).last()));
    child.Kiv.Modified = false;
  }
};

QTEST_MAIN(TestChildForm)
#include "test_childform.moc"
