#include "programicons.h"

#include <QFile>

QIcon ProgramIcon(const QString& name) {
  return QIcon::fromTheme(name, QIcon(":/icons/" + name + ".svg"));
}

bool HasOwnIcon(const QString& name) {
  return QFile::exists(":/icons/" + name + ".svg");
}
