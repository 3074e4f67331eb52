#include "helpwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

THelpWindow::THelpWindow(QWidget* parent) : QTextBrowser(parent) {
  setWindowFlag(Qt::Window);
  setWindowTitle("KIV service - Help");
  setOpenLinks(true);
  resize(560, 480);
}

QString THelpWindow::HelpDir(const std::string& installDir) {
  QString exe = QCoreApplication::applicationDirPath();
  const QString candidates[] = {QString::fromStdString(installDir) + "/help", exe + "/help",
                                exe + "/../share/kivsvc/help"};
  for (const QString& dir : candidates) {
    if (QFileInfo::exists(dir + "/index.html")) return QDir::cleanPath(dir);
  }
  return {};
}

bool THelpWindow::ShowContext(const QString& dir, int context) {
  QString page = dir + "/" + QString::number(context) + ".html";
  bool found = context > 0 && QFileInfo::exists(page);
  if (!found) page = dir + "/index.html";
  setSearchPaths({dir});
  setSource(QUrl::fromLocalFile(page));
  return found;
}
