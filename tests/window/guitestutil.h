// Helpers shared by the window tests: a scratch directory, registration files, and the
// device simulator as a child process.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "kivbase.h"
#include "kivsimproc.h"

// A registration of the given type with its definitions loaded, saved to path.
inline bool WriteRegistration(const QString& path, TKivType type, const std::string& defsDir) {
  TKiv kiv;
  kiv.DefsDir = defsDir;
  kiv.SetKivType(type);
  kiv.LoadDefinitions();
  kiv.SetZestaw1Length(static_cast<uint16_t>(kiv.Defs.ZnsSize * 2));
  kiv.SetZestaw2Length(static_cast<uint16_t>(kiv.Defs.ZnsSize * 2));
  return kiv.SaveToFile(path.toStdString());
}

// kivsim serving one device over TCP on a free port of 127.0.0.1.
class TSimProcess {
 public:
  bool Start(const QStringList& extra = {}) {
    QStringList args = {"--tcp", "127.0.0.1:0", "--type", "kivs2"};
    args << extra;
    QString defs = qEnvironmentVariable("KIVSVC_INSTALLDIR");
    if (!defs.isEmpty()) args << "--defs" << defs;
    if (!process.Start(qEnvironmentVariable("KIVSIM"), args)) return false;
    port = process.Port();
    return true;
  }
  KivsimProcess process;
  uint16_t port = 0;
};
