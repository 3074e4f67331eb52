// Helpers shared by the window tests: a scratch directory, registration files, and the
// device simulator as a child process.
#pragma once

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "kivbase.h"

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
    QString exe = qEnvironmentVariable("KIVSIM");
    if (exe.isEmpty()) return false;
    QStringList args = {"--tcp", "127.0.0.1:0", "--type", "kivs2"};
    args << extra;
    QString defs = qEnvironmentVariable("KIVSVC_INSTALLDIR");
    if (!defs.isEmpty()) args << "--defs" << defs;
    process.setProgram(exe);
    process.setArguments(args);
    process.start();
    if (!process.waitForStarted(5000)) return false;
    QRegularExpression re("listening on tcp [^:]+:(\\d+)");
    QString out;
    for (int i = 0; i < 100; ++i) {
      process.waitForReadyRead(100);
      out += QString::fromLocal8Bit(process.readAllStandardOutput());
      auto m = re.match(out);
      if (m.hasMatch()) {
        port = static_cast<uint16_t>(m.captured(1).toUInt());
        return true;
      }
    }
    return false;
  }
  ~TSimProcess() {
    if (process.state() != QProcess::NotRunning) {
      process.terminate();
      if (!process.waitForFinished(3000)) process.kill();
      process.waitForFinished(1000);
    }
  }
  QProcess process;
  uint16_t port = 0;
};
