// The main window driven through its real widgets: configuration, command line, New,
// Open, Save As, the close query, the options dialog and the X-scale box.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

#include "childform.h"
#include "childservices.h"
#include "commdlg.h"
#include "gridlayout.h"
#include "guitestutil.h"
#include "helpwindow.h"
#include "kivfiles.h"
#include "mainform.h"
#include "messages.h"
#include "qtmessages.h"
#include "rsdhan.h"
#include "settings.h"

class TestMainForm : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString oldCwd_;
  TRecordingMessages messages_;
  std::unique_ptr<TScopedMessageService> scope_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString ReadIni() const {
    QFile f(Path("kiv.ini"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
  }
  std::string Defs() const { return qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString(); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    oldCwd_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    qputenv("KIVSVC_CONFIG", Path("kiv.ini").toLocal8Bit());
    qputenv("KIVSVC_ARCHIVE", Path("archive.sqlite").toLocal8Bit());
    scope_ = std::make_unique<TScopedMessageService>(&messages_);
  }
  void cleanupTestCase() { QDir::setCurrent(oldCwd_); }
  void init() {
    messages_ = TRecordingMessages();
    QFile::remove(Path("kiv.ini"));
  }

  void configurationRoundTrip() {
    QString section = QString::fromStdString(
        ConfigSectionName(QCoreApplication::applicationFilePath().toStdString()));
    {
      QFile f(Path("kiv.ini"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QString("[%1]\nMBTCPComm=2\nMBTCPIP=10.1.2.3\nMBTCPPort=1502\nPort=3\n"
                      "Speed=20\nTime_Out=abc\nTimeSilence=45\n")
                  .arg(section)
                  .toUtf8());
    }
    {
      TMainForm form({});
      QCOMPARE(form.SerialPort->CommPort, NumberedPortName(3));
      QCOMPARE(static_cast<int>(form.SerialPort->BaudRate), 6);
      QCOMPARE(form.CommSettings().MBTCPComm, false);
      QCOMPARE(form.CommSettings().MBTCPIP, std::string("10.1.2.3"));
      QCOMPARE(form.CommSettings().MBTCPPort, uint16_t(1502));
      QCOMPARE(form.CommSettings().Time_Out, 0);
      QCOMPARE(form.CommSettings().TimeSilence, 45);
      form.CommSettings().TimeSilence = 77;
      form.SerialPort->BaudRate = br115200;
    }
    QString text = ReadIni();
    QVERIFY2(text.contains("MBTCPComm=0"), qPrintable(text));
    QVERIFY(text.contains("Port=" + QString::fromStdString(NumberedPortName(3))));
    QVERIFY(text.contains("Speed=12"));
    QVERIFY(text.contains("Time_Out=0"));
    QVERIFY(text.contains("TimeSilence=77"));
    QVERIFY(text.indexOf("MBTCPComm") < text.indexOf("MBTCPIP"));
    QVERIFY(text.indexOf("Speed") < text.indexOf("Time_Out"));
  }

  void missingConfigurationGivesDefaultsAndIsWritten() {
    {
      TMainForm form({});
      QCOMPARE(form.SerialPort->CommPort, DefaultPortName());
    }
    QVERIFY(ReadIni().contains("MBTCPPort=502"));
  }

  void commandLineOpensFilesInOrderAndSwitchesServiceMode() {
    QVERIFY(WriteRegistration(Path("B.KIV"), kivtKivs2, Defs()));
    TMainForm form({Path("B.KIV"), "-Service"});
    QVERIFY(!form.ServiceMode());
    form.ProcessCommandLine();
    QVERIFY(form.ServiceMode());
    QCOMPARE(form.Children().size(), 1);
    TChildForm* child = form.Children().first();
    QCOMPARE(child->FileName, Path("B.KIV").toStdString());
    QVERIFY(child->Named);
    // Opened while service mode was still off, and it stays a window without it: no
    // service buttons beside hidden service check boxes.
    QVERIFY(child->ChbTraceMessages->isHidden());
    child->ShowPage(TChildPage::Events);
    QVERIFY(child->Panel2->isHidden());
    QVERIFY(child->chbcorrectIOtimes->isHidden());
    form.NewCommand();
    TChildForm* later = form.ActiveChild();
    later->ShowPage(TChildPage::Events);
    QVERIFY(!later->Panel2->isHidden());
    QVERIFY(!later->chbcorrectIOtimes->isHidden());
    form.ProcessCommandLine();  // runs once only
    QCOMPARE(form.Children().size(), 2);
  }

  void exactServiceArgumentAtCreation() {
    TMainForm form({"service"});
    QVERIFY(form.ServiceMode());
    TMainForm other({"-service"});
    QVERIFY(!other.ServiceMode());
  }

  void commandLineParametersAndAMissingFile() {
    QFile raw(Path("Ev.BIN"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray(64, '\x7f'));
    raw.close();
    QVERIFY(WriteRegistration(Path("after.kiv"), kivtKivs2, Defs()));
    // Relative names: the window name ends at the next "-", and the scratch path has one.
    TMainForm form({"-BUFFILE", "Ev.BIN", "-kivtype", "KIVS2", "missing.kiv", "after.kiv"});
    form.ProcessCommandLine();
    QCOMPARE(form.Children().size(), 1);
    TChildForm* child = form.Children().first();
    QCOMPARE(child->FileName, std::string("Ev.BIN"));
    QCOMPARE(child->windowTitle(), QString("Ev.BIN"));
    QCOMPARE(child->Kiv.GetKivType(), kivtKivs2);
    QCOMPARE(int(child->Kiv.EventBufferLength()), 64);
    QVERIFY(!child->Kiv.Modified);
    QVERIFY(messages_.shown.empty());
  }

  void parameterErrorsAreShownAndTheWindowStays() {
    TMainForm form({"-bogus"});
    form.ProcessCommandLine();
    QCOMPARE(form.Children().size(), 1);
    QCOMPARE(messages_.shown.size(), size_t(1));
    QCOMPARE(messages_.shown[0].title, std::string("Error"));
    QCOMPARE(form.Children().first()->FileName, std::string("File 1.kiv"));
    TMainForm help({"-h"});
    help.ProcessCommandLine();
    QCOMPARE(messages_.shown.back().title, std::string("Information:"));
  }

  void newNamesItsWindows() {
    TMainForm form({});
    form.NewCommand();
    TChildForm* first = form.Children().last();
    QCOMPARE(first->FileName, std::string("File 1.kiv"));
    QCOMPARE(first->windowTitle(), QString("File 1"));
    QVERIFY(!first->Named);
    QFile f(Path("File 2.kiv"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    form.NewCommand();
    QCOMPARE(form.Children().last()->FileName, std::string("File 3.kiv"));
    form.MdiArea->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(form.Children().size(), 0);
    form.NewCommand();
    QCOMPARE(form.Children().last()->FileName, std::string("File 1.kiv"));
    QFile::remove(Path("File 2.kiv"));
  }

  void openRemembersItsNameAndRefusesUnreadableFiles() {
    QVERIFY(WriteRegistration(Path("good.kiv"), kivtKivs2, Defs()));
    QFile bad(Path("bad.kiv"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a registration");
    bad.close();
    TMainForm form({});
    std::vector<std::string> proposed;
    std::string answer = Path("good.kiv").toStdString();
    form.OpenDialog = [&](std::string& name) {
      proposed.push_back(name);
      name = answer;
      return true;
    };
    form.OpenCommand();
    QCOMPARE(form.Children().size(), 1);
    QVERIFY(form.Children().first()->Named);
    QVERIFY(form.btnSave->isEnabled());
    answer = Path("bad.kiv").toStdString();
    form.OpenCommand();
    QCOMPARE(proposed.back(), Path("good.kiv").toStdString());
    // The unreadable file leaves no window that could later overwrite it.
    QCOMPARE(form.Children().size(), 1);
    QVERIFY(!messages_.shown.empty());
    QCOMPARE(messages_.shown.back().text, std::string("File unknown format"));
    form.OpenDialog = [](std::string&) { return false; };
    form.OpenCommand();
    QCOMPARE(form.Children().size(), 1);
  }

  // Opening new, missing and unreadable names.
  void openNewAndUnreadableNames() {
    TMainForm form({});
    std::string answer = Path("fresh.kiv").toStdString();
    form.OpenDialog = [&](std::string& name) {
      name = answer;
      return true;
    };
    // A name that does not exist opens an empty window under that name; Save writes there.
    form.OpenCommand();
    QCOMPARE(form.Children().size(), 1);
    TChildForm* child = form.Children().first();
    QCOMPARE(child->FileName, answer);
    QVERIFY(child->Named);
    QVERIFY(messages_.shown.empty());
    QVERIFY(!QFile::exists(Path("fresh.kiv")));
    child->Save();
    QCOMPARE(QFileInfo(Path("fresh.kiv")).size(), qint64(20486));
    // A folder is said to be one, and no window stays.
    QVERIFY(QDir(dir_.path()).mkpath("afolder.kiv"));
    answer = Path("afolder.kiv").toStdString();
    form.OpenCommand();
    QCOMPARE(form.Children().size(), 1);
    QCOMPARE(int(messages_.shown.size()), 1);
    QVERIFY2(messages_.shown[0].text.find("Cannot open file " + answer) == 0,
             messages_.shown[0].text.c_str());
    QVERIFY(messages_.shown[0].text.find("folder") != std::string::npos);
  }

  // Start-up parameters with dashes in paths.
  void startupPathsWithDashes() {
    QDir(dir_.path()).mkpath("site-a");
    QFile raw(Path("site-a/x-1.bin"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray(48, '\x7f'));
    raw.close();
    const QString path = Path("site-a/x-1.bin");
    TMainForm form({"-buffile", path, "-kivtype", "kivs2"});
    form.ProcessCommandLine();
    QCOMPARE(form.Children().size(), 1);
    TChildForm* child = form.Children().first();
    QCOMPARE(child->FileName, path.toStdString());
    QCOMPARE(int(child->Kiv.EventBufferLength()), 48);
    QCOMPARE(child->Kiv.GetKivType(), kivtKivs2);
    QVERIFY2(messages_.shown.empty(),
             messages_.shown.empty() ? "" : messages_.shown[0].text.c_str());
  }

  // The raw buffer's save dialog never appends ".kiv"; the registration's does.
  void saveDialogSuffixes() {
    TMainForm form({});
    QString suffix = "unset";
    auto look = [&] {
      QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        suffix = dlg->defaultSuffix();
        dlg->reject();
      });
    };
    std::string name = Path("buf1").toStdString();
    look();
    QVERIFY(!form.ExecuteSaveDialog(name, true));
    QCOMPARE(suffix, QString());
    look();
    QVERIFY(!form.ExecuteSaveDialog(name, false));
    QCOMPARE(suffix, QString("kiv"));
  }

  // The registration windows get the program's services from the main window.
  void servicesReachEveryWindow() {
    struct TCounting : IChildServices {
      void Print(TChildForm&, bool withDialog) override { prints.push_back(withDialog); }
      void PrintSetup(TChildForm&) override { ++setups; }
      void Extras(TChildForm&, const std::string& command) override { extras.push_back(command); }
      std::vector<bool> prints;
      int setups = 0;
      std::vector<std::string> extras;
    } services;
    TMainForm form({}, &services);
    form.NewCommand();
    TChildForm* child = form.ActiveChild();
    QVERIFY(child);
    QCOMPARE(child->Services(), static_cast<IChildServices*>(&services));
    QVERIFY(form.btnPrint->isEnabled());
    form.btnPrint->trigger();
    child->actPrint->trigger();
    child->actPrintPreview->trigger();
    child->actCompare->trigger();
    child->actReport->trigger();
    QCOMPARE(services.prints, (std::vector<bool>{false, true}));
    QCOMPARE(services.setups, 1);
    QCOMPARE(services.extras, (std::vector<std::string>{"compare", "report"}));
    // Without services the items stay disabled.
    TMainForm bare({});
    bare.NewCommand();
    QVERIFY(!bare.btnPrint->isEnabled());
    QVERIFY(!bare.ActiveChild()->actPrint->isEnabled());
  }

  // Geometry remembered: the main window's place and state, and the first start's share.
  void geometryRemembered() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect avail = screen->availableGeometry();
    {
      TMainForm form({});
      // First start: most of the screen, not the old 628 x 425.
      QCOMPARE(form.width(), std::max(628, avail.width() * 4 / 5));
      QCOMPARE(form.height(), std::max(425, avail.height() * 4 / 5));
      form.resize(500, 300);
      form.move(avail.left() + 20, avail.top() + 30);
    }
    QString text = ReadIni();
    QVERIFY2(text.contains("WindowWidth=500") && text.contains("WindowHeight=300"),
             qPrintable(text));
    QVERIFY(text.contains("WindowMaximized=0"));
    {
      TMainForm form({});
      QCOMPARE(form.size(), QSize(500, 300));
      QCOMPARE(form.pos(), QPoint(avail.left() + 20, avail.top() + 30));
      form.show();
      form.showMaximized();
      QVERIFY(QTest::qWaitFor([&] { return form.isMaximized(); }));
    }
    QVERIFY(ReadIni().contains("WindowMaximized=1"));
    QVERIFY(ReadIni().contains("WindowWidth=500"));
    {
      TMainForm form({});
      QVERIFY(form.windowState() & Qt::WindowMaximized);
      // The only registration window fills the frame; a second one does not change that.
      form.NewCommand();
      QVERIFY(form.MdiArea->currentSubWindow()->isMaximized());
    }
  }

  // The events page's split last dragged in any window is kept in the configuration and
  // given to every window of the next start.
  void eventsSplitRemembered() {
    const std::vector<int32_t> split{100, 200, 700};
    {
      TMainForm form({});
      form.NewCommand();
      TChildForm* child = form.ActiveChild();
      QVERIFY(child != nullptr);
      child->SetEventsSplit(split);
      emit child->EventsSplitMoved();  // as a drag of the border tells
    }
    QVERIFY2(ReadIni().contains("EventsSplit=100,200,700"), qPrintable(ReadIni()));
    TMainForm form({});
    form.NewCommand();
    QVERIFY(form.ActiveChild() != nullptr);
    QCOMPARE(form.ActiveChild()->EventsSplit(), split);
  }

  // The demonstration start opens a registration window on the Write/Read page.
  void demonstrationOpensOnWriteRead() {
    TMainForm form({});
    form.OpenWriteReadAtStart = true;
    form.ProcessCommandLine();
    QCOMPARE(form.Children().size(), 1);
    QCOMPARE(form.ActiveChild()->CurrentPage(), TChildPage::WriteRead);
    QCOMPARE(form.ActiveChild()->Btn1->text(), QString("Reading"));
    // Named files on the command line take the place of the demonstration window.
    QVERIFY(WriteRegistration(Path("demo.kiv"), kivtKivs2, Defs()));
    TMainForm other({Path("demo.kiv")});
    other.OpenWriteReadAtStart = true;
    other.ProcessCommandLine();
    QCOMPARE(other.Children().size(), 1);
    QVERIFY(other.ActiveChild()->Named);
  }

  // No silent dead ends: the options during a reading say why; help from a modal dialog
  // can be used while the dialog is open.
  void optionsDuringAReadingAndHelpFromADialog() {
    TMainForm form({});
    form.NewCommand();
    TChildForm* child = form.ActiveChild();
    int runs = 0;
    form.RunCommDialog = [&](TCommDlg&) {
      ++runs;
      return int(QDialog::Rejected);
    };
    child->Kiv.IsReading = true;
    form.CommOptions();
    child->Kiv.IsReading = false;
    QCOMPARE(runs, 0);
    QCOMPARE(int(messages_.shown.size()), 1);
    QVERIFY(messages_.shown[0].text.find("A reading is in progress") == 0);

    QDialog dialog(&form);
    QWidget* helpParent = nullptr;
    QTimer::singleShot(0, [&] {
      form.HelpRequest(5);
      helpParent = form.HelpWindow()->parentWidget();
      dialog.reject();
    });
    dialog.exec();
    QCOMPARE(helpParent, static_cast<QWidget*>(&dialog));
    form.HelpRequest(6);
    QVERIFY(form.HelpWindow());
    QCOMPARE(form.HelpWindow()->parentWidget(), static_cast<QWidget*>(nullptr));
  }

  void saveAsAsksBeforeReplacing() {
    QVERIFY(WriteRegistration(Path("exists.kiv"), kivtKivs3, Defs()));
    QByteArray before;
    {
      QFile f(Path("exists.kiv"));
      f.open(QIODevice::ReadOnly);
      before = f.readAll();
    }
    TMainForm form({});
    form.NewCommand();
    TChildForm* child = form.Children().last();
    child->Kiv.SetStationInfo("Station 7");
    child->Kiv.Modified = true;
    int dialogs = 0;
    form.SaveDialog = [&](std::string& name, bool) {
      ++dialogs;
      if (dialogs > 2) return false;
      name = Path("exists.kiv").toStdString();
      return true;
    };
    messages_.answers = {MsgAnswer::No, MsgAnswer::No};
    child->SaveAs();
    QCOMPARE(dialogs, 3);
    QCOMPARE(messages_.asked.size(), size_t(2));
    QCOMPARE(messages_.asked[0].text, "File :" + Path("exists.kiv").toStdString() +
                                          " file already exists\nReplace existing file?");
    QVERIFY(!child->Named);
    QVERIFY(child->Kiv.Modified);
    QFile f(Path("exists.kiv"));
    f.open(QIODevice::ReadOnly);
    QCOMPARE(f.readAll(), before);
    f.close();

    dialogs = 0;
    messages_.answers = {MsgAnswer::Yes};
    child->SaveAs();
    QVERIFY(child->Named);
    QVERIFY(!child->Kiv.Modified);
    TKiv back;
    QVERIFY(back.LoadFromFile(Path("exists.kiv").toStdString()));
    QCOMPARE(back.StationInfo(), std::string("Station 7"));

    // A named registration without an extension is saved with ".kiv" appended.
    child->FileName = Path("plain").toStdString();
    child->Save();
    QVERIFY(QFileInfo::exists(Path("plain.kiv")));
  }

  void closeQueryAnswers() {
    TMainForm form({});
    form.NewCommand();
    TChildForm* child = form.Children().last();
    child->Kiv.Modified = true;
    form.SaveDialog = [](std::string&, bool) { return false; };

    messages_.answers = {MsgAnswer::Cancel};
    QVERIFY(!form.close());
    QCOMPARE(messages_.asked.back().text,
             std::string("File File 1.kiv was modified\nSave changes?"));
    messages_.answers = {MsgAnswer::Yes};  // then the save dialog is cancelled
    QVERIFY(!form.close());
    QCOMPARE(form.Children().size(), 1);

    // Closing the window alone, answered No.
    messages_.answers = {MsgAnswer::No};
    QVERIFY(form.MdiArea->currentSubWindow()->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(form.Children().size(), 0);
    QVERIFY(form.close());
  }

  void optionsDialogCancelRestoresPortSpeedAndTcp() {
    TMainForm form({});
    form.SerialPort->CommPort = "ttyNoSuchA";
    form.SerialPort->BaudRate = br4800;
    form.CommSettings().MBTCPIP = "10.0.0.1";
    form.CommSettings().MBTCPPort = 1502;
    form.CommSettings().Time_Out = 500;
    struct {
      int speeds = 0, speed = -1;
      QString first, status;
      std::string portBeforeEnter, portAfterEnter;
      TBaudRate chosenSpeed = br110;
      bool tcp = false, portBoxEnabled = true, tcpBoxEnabled = false, stillOpen = false;
      uint16_t tcpPort = 0;
      std::string ip;
    } seen;
    bool checked = false;
    form.RunCommDialog = [&](TCommDlg& dlg) {
      dlg.show();
      seen.speeds = dlg.SpeedComboBox->count();
      seen.speed = dlg.SpeedComboBox->currentIndex();
      seen.first = dlg.PortComboBox->itemText(0);
      seen.status = dlg.lbStatus->text();
      // A typed name is applied on Enter only.
      dlg.PortComboBox->lineEdit()->selectAll();
      QTest::keyClicks(dlg.PortComboBox->lineEdit(), "ttyNoSuchB");
      seen.portBeforeEnter = form.SerialPort->CommPort;
      QTest::keyClick(dlg.PortComboBox->lineEdit(), Qt::Key_Return);
      seen.portAfterEnter = form.SerialPort->CommPort;
      seen.stillOpen = dlg.isVisible();
      dlg.SpeedComboBox->setCurrentIndex(br115200);
      seen.chosenSpeed = form.SerialPort->BaudRate;
      dlg.cbxMBTCPComm->click();
      seen.tcp = form.CommSettings().MBTCPComm;
      seen.portBoxEnabled = dlg.PortComboBox->isEnabled();
      seen.tcpBoxEnabled = dlg.edtMBTCPPort->isEnabled();
      dlg.edtMBTCPPort->selectAll();
      QTest::keyClicks(dlg.edtMBTCPPort, "80a");
      seen.tcpPort = form.CommSettings().MBTCPPort;
      dlg.edtMBTCPIP->selectAll();
      QTest::keyClicks(dlg.edtMBTCPIP, "192.168.1.9");
      seen.ip = form.CommSettings().MBTCPIP;
      dlg.tbTimeOut->setValue(900);
      checked = true;
      return int(QDialog::Rejected);
    };
    form.CommOptions();
    QVERIFY(checked);
    QCOMPARE(seen.speeds, kBaudRateCount);
    QCOMPARE(seen.speed, int(br4800));
    QCOMPARE(seen.first, QString("None"));
    QCOMPARE(seen.status, QString("Not connected"));
    QCOMPARE(seen.portBeforeEnter, std::string("ttyNoSuchA"));
    QCOMPARE(seen.portAfterEnter, std::string("ttyNoSuchB"));
    QVERIFY(seen.stillOpen);
    QCOMPARE(seen.chosenSpeed, br115200);
    QVERIFY(seen.tcp);
    QVERIFY(!seen.portBoxEnabled);
    QVERIFY(seen.tcpBoxEnabled);
    QCOMPARE(seen.tcpPort, uint16_t(502));
    QCOMPARE(seen.ip, std::string("192.168.1.9"));
    QCOMPARE(form.SerialPort->CommPort, std::string("ttyNoSuchA"));
    QCOMPARE(form.SerialPort->BaudRate, br4800);
    QVERIFY(!form.CommSettings().MBTCPComm);
    QCOMPARE(form.CommSettings().MBTCPIP, std::string("10.0.0.1"));
    QCOMPARE(form.CommSettings().MBTCPPort, uint16_t(1502));
    QCOMPARE(form.CommSettings().Time_Out, 500);

    form.RunCommDialog = [&](TCommDlg& dlg) {
      dlg.show();
      dlg.tbTimeOut->setValue(900);
      dlg.tbTimeSilence->setValue(2000);  // kept within 1..1000
      dlg.SpeedComboBox->setCurrentIndex(br19200);
      for (QPushButton* b : dlg.findChildren<QPushButton*>()) {
        if (b->text() == "OK") b->click();
      }
      return dlg.result();
    };
    form.CommOptions();
    QCOMPARE(form.CommSettings().Time_Out, 900);
    QCOMPARE(form.CommSettings().TimeSilence, 1000);
    QCOMPARE(form.SerialPort->BaudRate, br19200);
  }

  void xScaleBox() {
    TMainForm form({});
    QVERIFY(!form.cbXScale->isEnabled());
    form.NewCommand();
    TChildForm* child = form.Children().last();
    QVERIFY(form.cbXScale->isEnabled());
    QCOMPARE(form.cbXScale->currentText(),
             QString(child->GraphModel.Autoscale() ? "Fit"
                                                   : QString::number(child->GraphModel.ScaleX())));
    // A choice from the list applies at once.
    form.cbXScale->setCurrentIndex(form.cbXScale->findText("75"));
    emit form.cbXScale->activated(form.cbXScale->currentIndex());
    QCOMPARE(child->GraphModel.ScaleX(), 75);
    QVERIFY(!child->GraphModel.Autoscale());
    QLineEdit* edit = form.cbXScale->lineEdit();
    auto type = [&](const char* text) {
      edit->clear();
      QTest::keyClicks(edit, text);
    };
    type("123");
    QCOMPARE(child->GraphModel.ScaleX(), 75);  // still typing
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(child->GraphModel.ScaleX(), 123);
    type("9");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(child->GraphModel.Autoscale());
    QCOMPARE(form.cbXScale->currentText(), QString("Fit"));
    type("50000");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(child->GraphModel.ScaleX(), 50000);
    QVERIFY(!child->GraphModel.Autoscale());
    type("50001");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(child->GraphModel.Autoscale());
    // Scale box typing: nothing is completed or applied until Enter.
    type("1");
    QCOMPARE(form.cbXScale->currentText(), QString("1"));
    QVERIFY(child->GraphModel.Autoscale());
    type("5");
    QCOMPARE(form.cbXScale->currentText(), QString("5"));
    type("50");  // equals an item, but the user may still be typing 500
    QVERIFY(child->GraphModel.Autoscale());
    QTest::keyClicks(edit, "0");
    QCOMPARE(form.cbXScale->currentText(), QString("500"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(child->GraphModel.ScaleX(), 500);
    QVERIFY(!child->GraphModel.Autoscale());
  }

  void toolbarFollowsTheActiveWindowAndMenusMerge() {
    TMainForm form({});
    QVERIFY(!form.btnSave->isEnabled());
    QVERIFY(form.btnLoad->isEnabled());
    form.NewCommand();
    TChildForm* child = form.Children().last();
    QVERIFY(form.btnGraphView->isEnabled());
    form.btnGraphView->trigger();
    QCOMPARE(child->ViewMode, TEventsView::Graph);
    form.btnEventsView->trigger();
    QCOMPARE(child->ViewMode, TEventsView::Sequences);
    form.btnListView->trigger();
    QCOMPARE(child->ViewMode, TEventsView::Listing);
    form.btnNormView->trigger();
    QCOMPARE(child->ViewMode, TEventsView::All);
    QVERIFY(child->FileMenu()->menuAction()->isVisible());
    QVERIFY(!form.FileMenu->menuAction()->isVisible());
  }

  void longHintGoesToTheStatusBar() {
    TMainForm form({});
    QStatusTipEvent tip("Load file");
    QCoreApplication::sendEvent(&form, &tip);
    QCOMPARE(form.StatusPanel0->text(), QString("Load file"));
    QCOMPARE(form.btnLoad->statusTip(), QString("Load file"));
    QCOMPARE(form.btnLoad->toolTip(), QString("Open"));
    QCOMPARE(form.btnSaveAs->toolTip(), QString("Save Ass..."));
    // The registration window's newer items split their hints too, and a long hint is
    // not cut by a fixed panel.
    form.NewCommand();
    TChildForm* child = form.ActiveChild();
    QCOMPARE(child->actCompare->toolTip(), QString("Compare settings"));
    QCOMPARE(child->actCompare->statusTip(),
             QString("Both parsets, or a parset of another registration or file"));
    form.resize(900, 400);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStatusTipEvent longTip(child->actReport->statusTip());
    QCoreApplication::sendEvent(&form, &longTip);
    QVERIFY(!form.StatusPanel0->text().contains('|'));
    QVERIFY(form.StatusPanel0->width() >=
            form.StatusPanel0->fontMetrics().horizontalAdvance(form.StatusPanel0->text()));
    child->Kiv.Modified = false;
  }

  void helpOpensThePageOfTheContext() {
    TMainForm form({});
    form.HelpRequest(6);
    QVERIFY(form.HelpWindow());
    QVERIFY2(form.HelpWindow()->source().toString().endsWith("/6.html"),
             qPrintable(form.HelpWindow()->source().toString()));
    QVERIFY(form.HelpWindow()->toPlainText().contains("Write/Read"));
    form.HelpRequest(999);
    QVERIFY(form.HelpWindow()->source().toString().endsWith("/index.html"));
  }

  void aboutBoxGoesThroughTheMessageService() {
    TMainForm form({});
    form.About();
    QCOMPARE(messages_.shown.back().title, std::string("Informacje"));
    QVERIFY(messages_.shown.back().text.rfind("Program for unit type KIVS-2 i KIVS-3 ", 0) == 0);
  }

  // One window per file: opening it again, under another spelling of its path too, brings
  // its window to the front.
  void openingAFileTwiceActivatesItsWindow() {
    QVERIFY(WriteRegistration(Path("twice.kiv"), kivtKivs2, Defs()));
    QVERIFY(WriteRegistration(Path("other.kiv"), kivtKivs2, Defs()));
    QVERIFY(QFile::link(Path("twice.kiv"), Path("link.kiv")));
    TMainForm form({});
    QVERIFY(form.OpenFileByName(Path("twice.kiv").toStdString()));
    TChildForm* first = form.ActiveChild();
    QVERIFY(first);
    QVERIFY(form.OpenFileByName(Path("other.kiv").toStdString()));
    QVERIFY(form.ActiveChild() != first);
    for (const QString& name : {Path("twice.kiv"), QString("./twice.kiv"), Path("link.kiv")}) {
      QVERIFY(form.OpenFileByName(name.toStdString()));
      QCOMPARE(form.Children().size(), 2);
      QCOMPARE(form.ActiveChild(), first);
      QVERIFY(form.OpenFileByName(Path("other.kiv").toStdString()));
    }
    // A name not saved yet is one window too.
    QVERIFY(form.OpenFileByName(Path("later.kiv").toStdString()));
    QVERIFY(form.OpenFileByName(Path("later.kiv").toStdString()));
    QCOMPARE(form.Children().size(), 3);
    QVERIFY(messages_.shown.empty());
    QFile::remove(Path("link.kiv"));
  }

  // The Edit menu of the active registration window sits in the main window's menu bar;
  // Ctrl+Z and Ctrl+Shift+Z undo and redo its grid edits.
  void editMenuUndoesTheActiveWindowsEdits() {
    QVERIFY(WriteRegistration(Path("edit.kiv"), kivtKivs2, Defs()));
    TMainForm form({});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.OpenFileByName(Path("edit.kiv").toStdString()));
    TChildForm* child = form.ActiveChild();
    QVERIFY(child);
    QStringList menus;
    for (QAction* a : form.menuBar()->actions())
      if (a->isVisible()) menus << a->text();
    QCOMPARE(menus.mid(0, 2), (QStringList{"&File", "&Edit"}));
    const std::vector<uint8_t> saved(child->Kiv.Zestaw1(), child->Kiv.Zestaw1() + 512);
    child->ShowPage(TChildPage::Settings);
    // Two edits of the first voltage setting.
    int row = 0, column = 0;
    for (int r = 1; r <= child->Kiv.Defs.SectionCount() && row == 0; ++r) {
      const TSets* sets = child->Kiv.Defs.SectionSets(r);
      for (int j = 1; sets && j <= sets->Count() && row == 0; ++j) {
        if (sets->GetSetting(j).Kind == skVoltage) {
          row = r;
          column = znsgrid::ValueColumn(j);
        }
      }
    }
    QVERIFY(row > 0);
    child->ZnsGrid->item(row, column)->setText("6.5k");
    child->ZnsGrid->item(row, column)->setText("10k");
    QCOMPARE(child->UndoStack()->count(), 2);
    const std::vector<uint8_t> edited(child->Kiv.Zestaw1(), child->Kiv.Zestaw1() + 512);
    child->ZnsGrid->setFocus();
    for (int i = 0; i < 2; ++i) QTest::keyClick(child->ZnsGrid, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!child->UndoStack()->canUndo());
    QVERIFY(std::equal(saved.begin(), saved.end(), child->Kiv.Zestaw1()));
    QVERIFY(!child->windowTitle().endsWith('*'));
    for (int i = 0; i < 2; ++i)
      QTest::keyClick(child->ZnsGrid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!child->UndoStack()->canRedo());
    QVERIFY(std::equal(edited.begin(), edited.end(), child->Kiv.Zestaw1()));
    child->Kiv.Modified = false;
  }

  // The program's message boxes: Enter gives the answer the question names.
  void messageBoxDefaultButtons() {
    TQtMessageService service;
    TScopedMessageService scope(&service);
    QString defaultText;
    auto pressEnter = [&defaultText] {
      QTimer::singleShot(0, [&defaultText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
      });
    };
    pressEnter();
    QCOMPARE(Messages().AskWithDefault(MsgIcon::Warning, "Confirm", "Write?", MsgButtons::YesNo,
                                       MsgAnswer::No),
             MsgAnswer::No);
    QVERIFY(defaultText.contains("No"));
    pressEnter();
    QCOMPARE(Messages().Choose(MsgIcon::Warning, "Warning", "changed",
                               {"Overwrite", "Save As", "Cancel"}, 1, 2),
             1);
    QCOMPARE(defaultText, QString("Save As"));
    QTimer::singleShot(0, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(Messages().Choose(MsgIcon::Warning, "Warning", "changed",
                               {"Overwrite", "Save As", "Cancel"}, 1, 2),
             2);
  }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
