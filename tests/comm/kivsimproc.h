// The child processes the tests run a device with: kivsim itself, and a socat
// pseudo-terminal pair for a serial line. Qt Core only, so comm, window and program tests
// all start them the same way.
#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>
#include <string>

// A socat pseudo-terminal pair in a folder of its own: the program's end and the device's end.
class PtyPair {
 public:
  PtyPair() {
    dev_ = dir_.filePath("dev");
    peer_ = dir_.filePath("peer");
    socat_.start("socat", {"pty,raw,echo=0,link=" + dev_, "pty,raw,echo=0,link=" + peer_});
    for (int i = 0; i < 200 && !Ok(); ++i) QThread::msleep(10);
  }
  ~PtyPair() {
    socat_.terminate();
    socat_.waitForFinished(2000);
  }
  bool Ok() const { return QFileInfo::exists(dev_) && QFileInfo::exists(peer_); }
  std::string Dev() const { return dev_.toStdString(); }
  QString Peer() const { return peer_; }
  // Ends the pair, as an adapter pulled out of its socket.
  void Pull() {
    socat_.kill();
    socat_.waitForFinished(2000);
  }

 private:
  QTemporaryDir dir_;
  QString dev_, peer_;
  QProcess socat_;
};

// kivsim as a child process, started with args and ready once it says where it listens;
// over TCP the port it chose is read from that line.
class KivsimProcess {
 public:
  KivsimProcess() = default;
  KivsimProcess(const KivsimProcess&) = delete;
  KivsimProcess& operator=(const KivsimProcess&) = delete;
  ~KivsimProcess() {
    if (sim_.state() == QProcess::NotRunning) return;
    sim_.terminate();
    if (!sim_.waitForFinished(3000)) sim_.kill();
    sim_.waitForFinished(1000);
  }

  bool Start(const QString& exe, const QStringList& args) {
    if (exe.isEmpty()) return false;
    sim_.setProcessChannelMode(QProcess::SeparateChannels);
    sim_.start(exe, args);
    if (!WaitFor("kivsim: listening on")) return false;
    const QRegularExpressionMatch m =
        QRegularExpression("listening on tcp [^:\\n]+:(\\d+)").match(QString::fromUtf8(out_));
    if (m.hasMatch()) port_ = static_cast<uint16_t>(m.captured(1).toUInt());
    return true;
  }
  bool Running() const { return sim_.state() == QProcess::Running; }
  uint16_t Port() const { return port_; }
  QString Output() { return QString::fromUtf8(out_ + sim_.readAllStandardOutput()); }

  // Arms a fault ("cut=5", "exception=4@+2") on the control input and waits until kivsim
  // has taken it.
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

  QProcess sim_;
  QByteArray out_;
  uint16_t port_ = 0;
};
