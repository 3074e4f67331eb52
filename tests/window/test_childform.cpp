// The registration window driven through its real widgets, with the device simulator
// behind the TCP link for the reading and the parset writing.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "changesdlg.h"
#include "childform.h"
#include "childhost.h"
#include "fileinfodlg.h"
#include "gridlayout.h"
#include "guitestutil.h"
#include "kivfiles.h"
#include "lister.h"
#include "markers.h"
#include "mbtcpclient.h"
#include "messages.h"
#include "qtwaiter.h"
#include "route.h"
#include "settings.h"

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

  void createdState() {
    TTestHost host;
    TChildForm child(&host);
    QCOMPARE(child.Notebook1->currentIndex(), 1);
    QCOMPARE(child.Notebook1->tabText(0), QString("Events buffer"));
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

  void sideButtonsPerPage() {
    TTestHost host;
    TChildForm child(&host);
    child.resize(600, 400);
    child.show();
    child.Notebook1->setCurrentIndex(2);
    QVERIFY(child.Panel2->isVisible());
    QCOMPARE(child.Btn1->text(), QString("Reading"));
    QCOMPARE(child.Btn1->toolTip(), QString("Read data from automation"));
    QCOMPARE(child.Btn1->statusTip(), QString("Read selected position from automation"));
    QVERIFY(child.Btn1->isEnabled() && child.Btn2->isEnabled() && !child.Btn3->isEnabled());
    QCOMPARE(child.HelpContext(), 6);
    child.Notebook1->setCurrentIndex(1);
    QVERIFY(!child.Panel2->isVisible());
    QCOMPARE(child.HelpContext(), 134);
    child.Notebook1->setCurrentIndex(0);
    QVERIFY(!child.Panel2->isVisible());  // service mode only
    QCOMPARE(child.HelpContext(), 10);

    host.service = true;
    TChildForm service(&host);
    service.show();
    service.Notebook1->setCurrentIndex(0);
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
    QCOMPARE(child.ZnsGrid->columnWidth(2), 44);
    QCOMPARE(child.ZnsGrid->columnWidth(3), 29);
    QCOMPARE(child.ZnsGrid->columnWidth(1), 88);
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

    // Letters in a REAL cell bring the stored value back without a message.
    QVERIFY(FindSetting(defs, skReal, r, j));
    TSetDesc real = defs.SectionSets(r)->GetSetting(j);
    QString before = child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text();
    std::vector<uint8_t> bytes(child.Kiv.Zestaw1(), child.Kiv.Zestaw1() + 512);
    child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->setText("abc");
    QCOMPARE(child.ZnsGrid->item(r, znsgrid::ValueColumn(j))->text(), before);
    QVERIFY(std::equal(bytes.begin(), bytes.end(), child.Kiv.Zestaw1()));
    QVERIFY(messages_.shown.empty());

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

  void wholeReadingAgainstTheSimulator() {
    TSimProcess sim;
    QVERIFY2(sim.Start(), "kivsim did not start");
    TTestHost host;
    host.comm.MBTCPPort = sim.port;
    TChildForm child(&host);
    child.resize(640, 480);
    child.show();
    child.Notebook1->setCurrentIndex(2);
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

    // Views of the events page: a quarter each for the list and the listing.
    child.Notebook1->setCurrentIndex(0);
    child.SetView(0);
    QCOMPARE(child.EventsListBox->height(), child.Panel3->height() / 4);
    QCOMPARE(child.FMemo->height(), child.Panel3->height() / 4);
    child.SetView(1);
    QVERIFY(child.EventsListBox->isVisible() && !child.FMemo->isVisible());
    // Ctrl+click picks several sequences; a plain click one again.
    QVERIFY(child.EventsListBox->count() >= 3);
    auto center = [&](int i) {
      return child.EventsListBox->visualItemRect(child.EventsListBox->item(i)).center();
    };
    child.SetView(0);
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, center(0));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      center(1));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      center(2));
    QCOMPARE(child.EventsListBox->selectedItems().size(), 3);
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, center(1));
    QCOMPARE(child.EventsListBox->selectedItems().size(), 1);
    QCOMPARE(child.Lister()->SelectedSequence(), uint16_t(2));
    child.SetView(1);
    // A click in the list view switches to the listing.
    QRect first = child.EventsListBox->visualItemRect(child.EventsListBox->item(0));
    QTest::mouseClick(child.EventsListBox->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(child.ViewMode, 3);
    QVERIFY(child.FMemo->isVisible() && !child.EventsListBox->isVisible());

    // The command tree writes parset 1 only after "Yes".
    child.Notebook1->setCurrentIndex(2);
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

  void cancelDuringAReading() {
    TSimProcess sim;
    QVERIFY2(sim.Start({"--delay-ms", "60"}), "kivsim did not start");
    TTestHost host;
    host.comm.MBTCPPort = sim.port;
    TChildForm child(&host);
    child.show();
    child.Notebook1->setCurrentIndex(2);
    bool wasReading = false, cancelEnabled = false, closeRefused = false, pagesDisabled = false;
    QTimer::singleShot(400, [&] {
      wasReading = child.Kiv.IsReading;
      cancelEnabled = child.Btn3->isEnabled();
      pagesDisabled = !child.Notebook1->isEnabled();
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
};

QTEST_MAIN(TestChildForm)
#include "test_childform.moc"
