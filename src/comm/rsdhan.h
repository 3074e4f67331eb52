// TRsdHan: the program's one serial port, over QSerialPort. Fixed frame 8N1, no flow
// control, DTR and RTS low; a read returns at once with what has arrived.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <string>

#include "commlink.h"

enum TBaudRate {
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200
};
constexpr int kBaudRateCount = 13;
// Bits per second of a speed index; 9600 for an index outside the list.
int BaudRateValue(TBaudRate rate);

// The port opened but its speed, frame or line state could not be set.
class EComState : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRsdHan : public QObject, public ISerialLink {
  Q_OBJECT
 public:
  using TNotify = std::function<void()>;
  // Results of Open, kept in Status.
  static constexpr uint8_t kStatusNotOpened = 7;
  static constexpr uint8_t kStatusOpen = 0;
  static constexpr uint8_t kStatusCannotOpen = 14;

  explicit TRsdHan(QObject* parent = nullptr);
  ~TRsdHan() override;

  TBaudRate BaudRate = br9600;
  // A platform name ("ttyS0", "ttyUSB0", "COM1") or a device path ("/dev/pts/3").
  std::string CommPort;

  // Closes an open port, then opens CommPort: 0 when open, 14 when it could not be
  // opened or CommPort is empty. Raises EComState (after closing the port again) when
  // the port opened but its state could not be set.
  int Open();
  void Close();
  bool Active() const { return active_; }
  uint8_t Status() const { return status_; }
  void SetState();

  int Write(const uint8_t* data, int count) override;
  int Read(uint8_t* buffer, int capacity) override;
  // After a port vanished, the next exchange's discard opens it again first.
  int DiscardInput() override;
  int BitsPerSecond() const override { return BaudRateValue(BaudRate); }
  std::string LastFailure() const override { return failure_; }

  // The system's serial ports, sorted; refilled on every call.
  const QStringList& CommList();
  // The system's serial port names, sorted, into list. Qt's port list reports no failure
  // (a list it cannot read comes back empty), so the answer is always true.
  static bool EnumeratePorts(QStringList& list);

  TNotify OnOpen;
  TNotify OnClose;
  TNotify OnProgress;  // kept for the owner's use; the handler itself does not fire it
  TNotify OnShowSt;

 private:
  static void Fire(const TNotify& event) {
    if (event) event();
  }

  // Closes a port the system took away (adapter pulled out) and keeps the reason; true
  // when that happened.
  bool CheckLost();
  // Waits until the written bytes have left the UART.
  bool Drain();

  QSerialPort port_;
  bool active_ = false;
  bool lost_ = false;
  std::string failure_;
  uint8_t status_ = kStatusNotOpened;
  QStringList portList_;
};
