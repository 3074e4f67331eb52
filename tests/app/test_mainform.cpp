// The main window driven through its real widgets: configuration, command line, New,
// Open, Save As, the close query, the options dialog and the X-scale box.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QtTest>

#include "childform.h"
#include "commdlg.h"
#include "guitestutil.h"
#include "helpwindow.h"
#include "kivfiles.h"
#include "mainform.h"
#include "messages.h"
#include "rsdhan.h"

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
    // Opened while service mode was still off.
    QVERIFY(child->ChbTraceMessages->isHidden());
    form.ProcessCommandLine();  // runs once only
    QCOMPARE(form.Children().size(), 1);
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
    form.cbXScale->setCurrentIndex(form.cbXScale->findText("75"));
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
    type("50");  // equals an item: applied at once
    QCOMPARE(child->GraphModel.ScaleX(), 50);
  }

  void toolbarFollowsTheActiveWindowAndMenusMerge() {
    TMainForm form({});
    QVERIFY(!form.btnSave->isEnabled());
    QVERIFY(form.btnLoad->isEnabled());
    form.NewCommand();
    TChildForm* child = form.Children().last();
    QVERIFY(form.btnGraphView->isEnabled());
    form.btnGraphView->trigger();
    QCOMPARE(child->ViewMode, 2);
    form.btnEventsView->trigger();
    QCOMPARE(child->ViewMode, 1);
    form.btnListView->trigger();
    QCOMPARE(child->ViewMode, 3);
    form.btnNormView->trigger();
    QCOMPARE(child->ViewMode, 0);
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
    QCOMPARE(form.StatusPanel0->width(), 200);
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
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
