// kivsim as a child process with its control input, and the program's links to it: Modbus
// over TCP on 127.0.0.1, or Modbus RTU through a socat pseudo-terminal pair.
#pragma once

#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <string>

#include "kivcomm.h"
#include "kivsimproc.h"
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
    QStringList args;
    if (serial) {
      pty_ = std::make_unique<PtyPair>();
      args << "--serial" << pty_->Peer() << "--baud" << QString::number(baud);
    } else {
      args << "--tcp"
           << "127.0.0.1:0";
    }
    args << "--defs" << DEFS_DIR << "--control" << extra;
    ok_ = (!pty_ || pty_->Ok()) && sim_.Start(KIVSIM_PATH, args);
  }
  bool Ok() const { return ok_; }
  bool Running() const { return sim_.Running(); }
  // Ends the pseudo-terminal pair, as an adapter pulled out of its socket.
  void PullPort() {
    if (pty_) pty_->Pull();
  }
  uint16_t Port() const { return sim_.Port(); }
  std::string Dev() const { return pty_ ? pty_->Dev() : std::string(); }
  QString Output() { return sim_.Output(); }
  bool Arm(const std::string& line) { return sim_.Arm(line); }

 private:
  // The pair outlives kivsim, which holds its one end.
  std::unique_ptr<PtyPair> pty_;
  KivsimProcess sim_;
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
