// kivsim as a child process with its control input, and the program's links to it: Modbus
// over TCP on 127.0.0.1, or Modbus RTU through a socat pseudo-terminal pair.
#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <string>

#include "kivcomm.h"
#include "mbtcpclient.h"
#include "qtwaiter.h"
#include "rsdhan.h"
#include "tracelist.h"

inline QCoreApplication& TestApp() {
  static int argc = 1;
  static char name[] = "comm_fault_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class SimProcess {
 public:
  // serial: a pseudo-terminal pair is made and kivsim serves its one end.
  SimProcess(bool serial, const QStringList& extra, int baud = 115200) {
    TestApp();
    if (serial) {
      dev_ = dir_.filePath("dev");
      const QString peer = dir_.filePath("peer");
      socat_.start("socat", {"pty,raw,echo=0,link=" + dev_, "pty,raw,echo=0,link=" + peer});
      for (int i = 0; i < 200 && !(QFileInfo::exists(dev_) && QFileInfo::exists(peer)); ++i)
        QThread::msleep(10);
      args_ << "--serial" << peer << "--baud" << QString::number(baud);
    } else {
      args_ << "--tcp"
            << "127.0.0.1:0";
    }
    args_ << "--defs" << DEFS_DIR << "--control" << extra;
    sim_.setProcessChannelMode(QProcess::SeparateChannels);
    sim_.start(KIVSIM_PATH, args_);
    ok_ = WaitFor("kivsim: listening on");
    if (!serial) {
      const int colon = static_cast<int>(out_.indexOf(':', out_.indexOf("listening on tcp")));
      port_ = static_cast<uint16_t>(out_.mid(colon + 1).split('\n').first().toInt());
    }
  }
  ~SimProcess() {
    sim_.terminate();
    if (!sim_.waitForFinished(3000)) sim_.kill();
    sim_.waitForFinished(1000);
    socat_.terminate();
    socat_.waitForFinished(2000);
  }
  bool Ok() const { return ok_; }
  bool Running() { return sim_.state() == QProcess::Running; }
  // Ends the pseudo-terminal pair, as an adapter pulled out of its socket.
  void PullPort() {
    socat_.kill();
    socat_.waitForFinished(2000);
  }
  uint16_t Port() const { return port_; }
  std::string Dev() const { return dev_.toStdString(); }
  QString Output() { return QString::fromUtf8(out_ + sim_.readAllStandardOutput()); }

  // Arms a fault ("cut=5", "exception=4@+2") and waits until kivsim has taken it.
  bool Arm(const std::string& line) {
    const qsizetype before = out_.size();
    sim_.write(QByteArray::fromStdString(line + "\n"));
    sim_.waitForBytesWritten(2000);
    return WaitFor("kivsim: armed", before);
  }

 private:
  bool WaitFor(const char* text, qsizetype from = 0) {
    for (int i = 0; i < 500; ++i) {
      out_ += sim_.readAllStandardOutput();
      if (out_.indexOf(text, from) >= 0) return true;
      if (sim_.state() == QProcess::NotRunning) return false;
      sim_.waitForReadyRead(20);
    }
    return false;
  }

  QTemporaryDir dir_;
  QString dev_;
  QStringList args_;
  QProcess socat_;
  QProcess sim_;
  QByteArray out_;
  uint16_t port_ = 0;
  bool ok_ = false;
};

// One registration of the program reading from the simulator over a real link.
struct LiveRig {
  explicit LiveRig(bool serial, const QStringList& simArgs = {}) : sim(serial, simArgs) {
    settings.MBTCPComm = !serial;
    settings.Waiter = &waiter;
    if (serial) {
      han.CommPort = sim.Dev();
      han.BaudRate = br115200;
      han.Open();
      settings.SerialPort = &han;
      // A reply still arriving when the silence ends is read on up to Time_Out.
      settings.TimeSilence = 80;
      settings.Time_Out = 200;
    } else {
      settings.TcpLink = &tcp;
      settings.MBTCPIP = "127.0.0.1";
      settings.MBTCPPort = sim.Port();
      settings.TimeSilence = 5;
      settings.Time_Out = 100;
    }
    kiv.DefsDir = DEFS_DIR;
    kiv.SetTraceList(&trace);
    kiv.TraceMessages = false;
  }
  bool Ok() const { return sim.Ok() && (settings.MBTCPComm || han.Active()); }
  bool Traced(const std::string& line) const {
    return std::find(trace.lines.begin(), trace.lines.end(), line) != trace.lines.end();
  }

  SimProcess sim;
  TRsdHan han;
  TMBTCPClient tcp;
  TQtWaiter waiter;
  TKiv kiv;
  TStringTraceList trace;
  TCommSettings settings;
  TKivComm comm{kiv, settings};
};
