#include "rsdhan.h"

#include "qtwaiter.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <cerrno>
#endif

namespace {
constexpr int kSpeeds[kBaudRateCount] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                         14400, 19200, 38400, 56000, 57600, 115200};
// A write has no time-out of its own; this bounds a port that never drains (a
// pseudo-terminal whose other side stopped reading) so the program cannot hang.
constexpr int kWriteLimitMs = 10000;
}  // namespace

int BaudRateValue(TBaudRate rate) {
  const int i = static_cast<int>(rate);
  return i >= 0 && i < kBaudRateCount ? kSpeeds[i] : 9600;
}

TRsdHan::TRsdHan(QObject* parent) : QObject(parent) {}

TRsdHan::~TRsdHan() {
  Close();
}

int TRsdHan::Open() {
  Close();
  int result = kStatusCannotOpen;
  if (!CommPort.empty()) {
    port_.setPortName(QString::fromStdString(CommPort));
    if (port_.open(QIODevice::ReadWrite)) {
      try {
        SetState();
      } catch (const EComState&) {
        // A port in an unknown state must not stay open for later exchanges.
        port_.close();
        status_ = kStatusCannotOpen;
        Fire(OnShowSt);
        throw;
      }
      result = kStatusOpen;
    }
  }
  active_ = result == kStatusOpen;
  if (active_) {
    lost_ = false;
    failure_.clear();
  }
  status_ = static_cast<uint8_t>(result);
  Fire(OnShowSt);
  Fire(OnOpen);
  return result;
}

void TRsdHan::Close() {
  if (!active_) {
    if (port_.isOpen()) port_.close();
    return;
  }
  port_.close();
  active_ = false;
  Fire(OnClose);
}

void TRsdHan::SetState() {
  const bool ok = port_.setBaudRate(BaudRateValue(BaudRate)) &&
                  port_.setDataBits(QSerialPort::Data8) && port_.setParity(QSerialPort::NoParity) &&
                  port_.setStopBits(QSerialPort::OneStop) &&
                  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!ok) throw EComState("Unable to set com state: " + port_.errorString().toStdString());
  // Linux raises DTR and RTS on open; the device expects them low. Pseudo-terminals
  // have no modem lines, so a refusal here is not an error.
  port_.setDataTerminalReady(false);
  port_.setRequestToSend(false);
  port_.clearError();
}

bool TRsdHan::CheckLost() {
  if (!active_) return lost_;
  const QSerialPort::SerialPortError e = port_.error();
  // A port that is gone for good; time-outs and parity trouble are the line's business.
  if (e != QSerialPort::ResourceError && e != QSerialPort::DeviceNotFoundError &&
      e != QSerialPort::PermissionError && e != QSerialPort::OpenError)
    return false;
  failure_ = "Serial port " + CommPort + " lost: " + port_.errorString().toStdString();
  lost_ = true;
  Close();
  status_ = kStatusCannotOpen;  // the options dialog shows "Not connected"
  Fire(OnShowSt);
  return true;
}

bool TRsdHan::Drain() {
#ifdef Q_OS_UNIX
  // QSerialPort returns once the bytes are in the kernel's queue; the request is still on
  // the wire then, and the silence must not start before it is out.
  const int fd = static_cast<int>(port_.handle());
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::tcdrain(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
#else
  // On Windows the write completes once the bytes have been sent.
  return true;
#endif
}

int TRsdHan::Write(const uint8_t* data, int count) {
  if (!active_ || count <= 0) return 0;
  QElapsedTimer started;
  started.start();
  const qint64 n = port_.write(reinterpret_cast<const char*>(data), count);
  if (n < 0) {
    CheckLost();
    return 0;
  }
  while (port_.bytesToWrite() > 0)
    if (!port_.waitForBytesWritten(kWriteLimitMs)) break;
  if (CheckLost()) return 0;
  if (port_.bytesToWrite() == 0 && !Drain() && CheckLost()) return 0;
  // Many USB adapters report the bytes drained once they are in the adapter, still ahead
  // of its UART (and a pseudo-terminal has no wire at all): the write ends no sooner than
  // the bytes' wire time at the set speed, 10 bits a character.
  const qint64 wireMs = (static_cast<qint64>(n) * 10000 + BitsPerSecond() - 1) / BitsPerSecond();
  if (const qint64 left = wireMs - started.elapsed(); left > 0)
    TQtWaiter().Wait(static_cast<int>(left));
  return static_cast<int>(std::max<qint64>(0, n - port_.bytesToWrite()));
}

int TRsdHan::Read(uint8_t* buffer, int capacity) {
  if (!active_ || capacity <= 0) return 0;
  // Takes what the driver holds now into the port's buffer, without waiting.
  port_.waitForReadyRead(0);
  const qint64 n = port_.read(reinterpret_cast<char*>(buffer), capacity);
  if (n <= 0 && CheckLost()) return 0;
  return n > 0 ? static_cast<int>(n) : 0;
}

int TRsdHan::DiscardInput() {
  if (!active_ && lost_) {
    // An exchange after the one that lost the port (the next dialogue: a failed exchange
    // ends its dialogue) tries the port again.
    try {
      if (Open() != kStatusOpen) failure_ = "Serial port " + CommPort + " cannot be opened";
    } catch (const EComState& e) {
      failure_ = e.what();
    }
    return 0;
  }
  if (!active_) return 0;
  port_.waitForReadyRead(0);
  const qsizetype n = port_.readAll().size();
  port_.clear(QSerialPort::Input);
  CheckLost();
  return static_cast<int>(n);
}

bool TRsdHan::EnumeratePorts(QStringList& list) {
  list.clear();
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    list.append(info.portName());
  list.sort();
  return true;
}

const QStringList& TRsdHan::CommList() {
  EnumeratePorts(portList_);
  return portList_;
}
