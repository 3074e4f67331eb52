// The archive in the program: a real reading from kivsim archived when it ends, File ->
// "Add to archive", the option, and the Archive window with its filters, tooltips and the
// double-click that opens a sequence in a registration window.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

#include "archive_fixture.h"
#include "archiveui.h"
#include "childform.h"
#include "guitestutil.h"
#include "lister.h"
#include "mainform.h"
#include "messages.h"

class TestArchiveUi : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  TRecordingMessages messages_;
  std::unique_ptr<TScopedMessageService> scope_;
  QString Path(const QString& name) const { return dir_.filePath(name); }
  static QString LastTrace(TChildForm* child) {
    const QStringList lines = child->MemoMessage->toPlainText().split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
  }
  static QAction* FindAction(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
      if (a->text() == text) return a;
    return nullptr;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("KIVSVC_ARCHIVE", Path("archive.sqlite").toLocal8Bit());
    scope_ = std::make_unique<TScopedMessageService>(&messages_);
  }

  void readingArchivedAndBrowsed() {
    TSimProcess sim;
    QVERIFY(sim.Start());
    const QString section = QString::fromStdString(
        ConfigSectionName(QCoreApplication::applicationFilePath().toStdString()));
    QFile ini(Path("kiv.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QString("[%1]\nMBTCPComm=1\nMBTCPIP=127.0.0.1\nMBTCPPort=%2\nPort=\nTimeSilence=5\n")
                  .arg(section)
                  .arg(sim.port)
                  .toUtf8());
    ini.close();
    qputenv("KIVSVC_CONFIG", Path("kiv.ini").toLocal8Bit());

    TMainForm form({});
    form.show();
    TArchiveUi* ui = form.ArchiveUi();
    QVERIFY(ui != nullptr);
    QVERIFY(ui->ArchiveEveryReading);
    QVERIFY(ui->actArchiveEveryReading->isChecked());

    // A reading that ends normally is archived and says so in the message list.
    form.NewCommand();
    TChildForm* child = form.ActiveChild();
    QVERIFY(child != nullptr);
    QVERIFY(FindAction(child->FileMenu(), "Add to archive") != nullptr);
    child->StartReading();
    QVERIFY2(!child->Kiv.Error, qPrintable(child->MemoMessage->toPlainText()));
    const QString archived = LastTrace(child);
    QVERIFY2(archived.startsWith("Archived: "), qPrintable(archived));
    QVERIFY2(archived.endsWith(" new, 0 grown, 0 known sequences"), qPrintable(archived));
    const int count = child->Lister()->SequenceCount();
    QVERIFY(count > 0);
    QCOMPARE(archived, QString("Archived: %1 new, 0 grown, 0 known sequences").arg(count));

    // File -> "Add to archive" again: everything known, shown in a message.
    messages_ = TRecordingMessages();
    FindAction(child->FileMenu(), "Add to archive")->trigger();
    QCOMPARE(messages_.shown.size(), size_t{1});
    QCOMPARE(QString::fromStdString(messages_.shown[0].text),
             QString("Archived: 0 new, 0 grown, %1 known sequences").arg(count));

    // With the option off a reading leaves the archive alone.
    ui->actArchiveEveryReading->setChecked(false);
    QVERIFY(ReadIniHas("ArchiveEveryReading=0"));
    child->StartReading();
    QVERIFY(!LastTrace(child).startsWith("Archived:"));
    ui->actArchiveEveryReading->setChecked(true);

    // The Archive window: the device, its sequences, the filters and the tooltip.
    ui->ShowWindow();
    TArchiveWindow* w = ui->Window();
    QVERIFY(w != nullptr && w->isVisible());
    QCOMPARE(w->lbDevices->count(), 2);  // "All devices" and the simulated one
    QCOMPARE(w->Model->rowCount(), count);
    w->lbDevices->setCurrentRow(1);
    QCOMPARE(w->Model->rowCount(), count);
    const QString tip = w->Model->data(w->Model->index(0, 2), Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith("First seen: "), qPrintable(tip));
    QVERIFY2(tip.contains("Readings: 1"), qPrintable(tip));
    w->edtEvent->setText("F5h");
    w->Search();
    const int restarts = w->Model->rowCount();
    QVERIFY(restarts > 0 && restarts < count);
    w->edtEvent->setText("RESTART");
    w->Search();
    QVERIFY(w->Model->rowCount() >= restarts);
    w->edtEvent->clear();
    w->edtFrom->setText("not a date");
    w->Search();
    QCOMPARE(w->Model->rowCount(), 0);
    QVERIFY(w->lbStatus->text().startsWith("Invalid date"));
    w->edtFrom->clear();
    w->edtText->setText("no-such-word");
    w->Search();
    QCOMPARE(w->Model->rowCount(), 0);
    w->edtText->clear();
    w->Search();
    QCOMPARE(w->Model->rowCount(), count);

    // Double-click: the sequence in a registration window of its own.
    const int before = form.Children().size();
    const QModelIndex last = w->Model->index(count - 1, 2);
    w->tvSequences->scrollTo(last);
    const QRect r = w->tvSequences->visualRect(last);
    messages_ = TRecordingMessages();
    QTest::mouseClick(w->tvSequences->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(w->tvSequences->viewport(), Qt::LeftButton, {}, r.center());
    QVERIFY2(messages_.shown.empty(),
             messages_.shown.empty() ? "" : messages_.shown[0].text.c_str());
    QCOMPARE(form.Children().size(), before + 1);
    TChildForm* opened = form.ActiveChild();
    QVERIFY(opened != child);
    QCOMPARE(opened->Lister()->SequenceCount(), uint16_t{1});
    QVERIFY(opened->windowTitle().contains("archive"));
    QVERIFY(!opened->Named);
    // The same sequence: its header after the number, and its listing.
    const QString mine = QString::fromStdString(opened->Lister()->SequenceHeader(1));
    const QString theirs =
        QString::fromStdString(child->Lister()->SequenceHeader(static_cast<uint16_t>(count)));
    QVERIFY(mine.startsWith("Sequence no.1 "));
    QCOMPARE(mine.section(' ', 2), theirs.section(' ', 2));
    QVERIFY(opened->FMemo->toPlainText().size() > 0);
    child->Kiv.Modified = false;
    opened->Kiv.Modified = false;
  }

  // Device names are labels in the window too: rename, and merge after a Yes.
  void renameAndMergeDevices() {
    TArchive archive;
    archive.DefsDir = qEnvironmentVariable("KIVSVC_INSTALLDIR").toStdString();
    TArchiveLocation loc;
    loc.Path = Path("names.sqlite").toStdString();
    std::string e;
    QVERIFY2(archive.Open(loc, e), e.c_str());
    const std::vector<TRecords> stream = archtest::SequenceStream(5, 20);
    QCOMPARE(stream.size(), size_t{20});
    TKiv north, south;
    archtest::MakeReading(north, {stream.begin(), stream.begin() + 10}, "North", 45000);
    archtest::MakeReading(south, {stream.begin() + 10, stream.end()}, "South", 45001);
    for (TKiv* k : {&north, &south}) {
      TImportResult r;
      QVERIFY2(archive.Import(*k, "r.kiv", "", r, e), e.c_str());
    }
    TArchiveWindow w([&](std::string&) { return &archive; }, [](int64_t) {});
    w.Refresh();
    QCOMPARE(w.lbDevices->count(), 3);
    QVERIFY(!w.btnRename->isEnabled());  // "All devices"
    w.lbDevices->setCurrentRow(2);
    QVERIFY(w.btnRename->isEnabled() && w.btnMerge->isEnabled());

    messages_ = TRecordingMessages();
    QVERIFY(!w.RenameDevice("South", "North"));
    QCOMPARE(messages_.shown.size(), size_t{1});
    QVERIFY2(messages_.shown[0].text.find("merge the two instead") != std::string::npos,
             messages_.shown[0].text.c_str());
    QVERIFY(w.RenameDevice("South", "East"));
    QCOMPARE(w.lbDevices->currentItem()->text(), QString("East"));
    QCOMPARE(w.Model->rowCount(), 10);

    messages_ = TRecordingMessages();
    messages_.answers = {MsgAnswer::No};
    QVERIFY(!w.MergeDevices("East", "North"));
    QCOMPARE(messages_.asked.size(), size_t{1});
    QVERIFY(messages_.asked[0].text.find("cannot be undone") != std::string::npos);
    QCOMPARE(w.lbDevices->count(), 3);
    messages_.answers = {MsgAnswer::Yes};
    QVERIFY(w.MergeDevices("East", "North"));
    QVERIFY(messages_.shown.empty());
    QCOMPARE(w.lbDevices->count(), 2);
    QCOMPARE(w.lbDevices->item(1)->text(), QString("North"));
    QVERIFY(!w.btnMerge->isEnabled());  // nothing left to merge with
    QVERIFY2(w.lbStatus->text().contains("10 sequences moved"), qPrintable(w.lbStatus->text()));
    w.lbDevices->setCurrentRow(1);
    QCOMPARE(w.Model->rowCount(), 20);
  }

 private:
  bool ReadIniHas(const QString& text) {
    QFile f(Path("kiv.ini"));
    return f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).contains(text);
  }
};

QTEST_MAIN(TestArchiveUi)
#include "test_archiveui.moc"
