// Takes the screenshots of docs/: the program reads the simulated device, then each main
// view is grabbed into a PNG. Run under Xvfb: xvfb-run -a kivsvc_screenshots OUTDIR
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "archiveui.h"
#include "childform.h"
#include "commdlg.h"
#include "kivsimproc.h"
#include "mainform.h"
#include "messages.h"
#include "programicons.h"
#include "programservices.h"
#include "scenario.h"

namespace {

bool Save(QWidget* w, const QString& dir, const char* name) {
  // Let the page just shown finish its layout (scroll bars included) before the grab.
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
  QString path = dir + "/" + name;
  bool ok = w->grab().save(path, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// The toolbar and menu icons at 1x and 2x, side by side.
bool SaveIcons(const QString& dir, const char* name) {
  const QStringList names = {"document-new",        "document-open",     "document-save",
                             "document-save-as",    "document-print",    "document-print-preview",
                             "document-properties", "kivsvc-view-all",   "kivsvc-view-sequences",
                             "kivsvc-view-listing", "kivsvc-view-graph", "kivsvc-legend",
                             "edit-copy",           "edit-select-all",   "edit-undo",
                             "edit-redo",           "window-close",      "application-exit",
                             "help-contents",       "help-about"};
  const int cell = 52;
  QImage img(cell * names.size() + 8, 22 + 44 + 24, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  for (int i = 0; i < names.size(); ++i) {
    QIcon icon = ProgramIcon(names[i]);
    p.drawPixmap(8 + i * cell + 15, 6, icon.pixmap(QSize(22, 22)));
    QPixmap big = icon.pixmap(QSize(22, 22), 2.0);
    big.setDevicePixelRatio(1.0);
    p.drawPixmap(8 + i * cell + 4, 36, big);
  }
  p.end();
  QString path = dir + "/" + name;
  bool ok = img.save(path, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: kivsvc_screenshots OUTDIR\n");
    return 2;
  }
  QString out = QDir(argv[1]).absolutePath();
  QDir().mkpath(out);
  QTemporaryDir tmp;
  QString defs = QString(KIVSVC_SHARE_DIR);

  KivsimProcess sim;
  if (!sim.Start(KIVSIM_PATH, {"--tcp", "127.0.0.1:0", "--type", "kivs2", "--defs", defs})) {
    std::fprintf(stderr, "kivsim did not start\n");
    return 1;
  }
  QFile ini(tmp.filePath("kiv.ini"));
  ini.open(QIODevice::WriteOnly);
  ini.write(QString("[kivsvc_screenshots]\nMBTCPComm=1\nMBTCPIP=127.0.0.1\nMBTCPPort=%1\nPort=\n"
                    "TimeSilence=5\n")
                .arg(sim.Port())
                .toUtf8());
  ini.close();
  qputenv("KIVSVC_CONFIG", ini.fileName().toLocal8Bit());
  qputenv("KIVSVC_INSTALLDIR", defs.toLocal8Bit());
  qputenv("KIVSVC_ARCHIVE", tmp.filePath("archive.sqlite").toLocal8Bit());
  QDir::setCurrent(tmp.path());

  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  bool ok = true;
  {
    TProgramServices services;
    TMainForm form({}, &services);
    form.resize(1024, 720);
    form.show();
    // The demonstration start: a registration window on the Write/Read page.
    form.OpenWriteReadAtStart = true;
    form.ProcessCommandLine();
    TChildForm* child = form.ActiveChild();
    ok &= Save(&form, out, "screenshot-start.png");
    child->Btn1->click();
    child->cmdOutline->setCurrentItem(child->cmdOutline->topLevelItem(0)->child(0));
    ok &= Save(&form, out, "screenshot-writeread.png");
    child->ShowPage(TChildPage::Events);
    child->SetView(TEventsView::All);
    if (child->EventsListBox->count() > 1) {
      child->EventsListBox->setCurrentRow(1);
      child->EventsListClick(false);
    }
    ok &= Save(&form, out, "screenshot-events.png");
    child->SetView(TEventsView::Listing);
    ok &= Save(&form, out, "screenshot-listing.png");
    child->SetView(TEventsView::All);
    child->ShowPage(TChildPage::Settings);
    ok &= Save(&form, out, "screenshot-settings.png");
    ok &= SaveIcons(out, "toolbar-icons.png");

    form.RunCommDialog = [&](TCommDlg& dlg) {
      dlg.show();
      ok &= Save(&dlg, out, "screenshot-options.png");
      return int(QDialog::Rejected);
    };
    form.CommOptions();
    child->Kiv.Modified = false;

    // The Archive window: the reading above was archived when it ended; two more
    // stations' histories of a few readings each beside it.
    TArchiveUi* archive = form.ArchiveUi();
    std::string error;
    if (TArchive* a = archive->Archive(error)) {
      const char* const stations[] = {"Substation Lipowa 2", "Pumping station North"};
      for (int d = 0; d < 2; ++d) {
        for (int r = 0; r < 4; ++r) {
          TKiv kiv;
          kiv.DefsDir = defs.toStdString();
          GenerateScenario(kiv, d == 0 ? kivtKivs3 : kivtKivs2, 40 + d, 60 + 25 * r);
          kiv.SetStationInfo(stations[d]);
          TImportResult res;
          if (!a->Import(kiv, "reading.kiv", "", res, error))
            std::fprintf(stderr, "%s\n", error.c_str());
        }
      }
    } else {
      std::fprintf(stderr, "%s\n", error.c_str());
      ok = false;
    }
    archive->ShowWindow();
    TArchiveWindow* w = archive->Window();
    w->resize(980, 540);
    w->lbDevices->setCurrentRow(2);
    ok &= Save(w, out, "screenshot-archive.png");
  }
  return ok ? 0 : 1;
}
