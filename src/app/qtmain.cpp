// The program: the main window and the message service over message boxes.
#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "mainform.h"
#include "messages.h"
#include "programservices.h"
#include "qtmessages.h"

namespace {

// The window icon: the transfer-switch mark of our logo, the same drawing as data/kivsvc.svg.
QIcon AppIcon() {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 60, 110));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRect(2, 2, 60, 60), 12, 12);
  p.setBrush(Qt::white);
  p.drawEllipse(QPoint(18, 46), 6, 6);
  p.drawEllipse(QPoint(46, 46), 6, 6);
  p.setPen(QPen(QColor(230, 90, 60), 6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(18, 46, 44, 18);
  return QIcon(pm);
}

// The last line of defence: an exception that a handler let through is shown, and the
// program with its open registrations keeps running.
class TKivApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      Messages().Show(MsgIcon::Error, "Error", e.what());
    } catch (...) {
      Messages().Show(MsgIcon::Error, "Error", "Unknown error");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before any window system is needed, so scripts and packaging checks can ask.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kivsvc %s\n", KIVSVC_VERSION);
    return 0;
  }
  TKivApplication app(argc, argv);
  QApplication::setApplicationName("kivsvc");
  app.setWindowIcon(AppIcon());
  QStringList args = QApplication::arguments();
  args.removeFirst();
  // Printing and the File menu's additions of every registration window.
  TProgramServices services;
  TMainForm form(args, &services);
  form.OpenWriteReadAtStart = qEnvironmentVariableIntValue("KIVSVC_DEMO") == 1;
  TQtMessageService messages(&form);
  TScopedMessageService scope(&messages);
  form.show();
  return app.exec();
}
