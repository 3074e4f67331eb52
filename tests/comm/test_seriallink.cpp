// The serial port handler and Transact over a real pseudo-terminal pair made by socat,
// with a scripted device on the other end.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>
#include <QTimer>
#include <memory>

#include "../core/tracelines.h"
#include "fakelinks.h"
#include "kivcomm.h"
#include "kivsimproc.h"
#include "qtwaiter.h"
#include "rsdhan.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "comm_serial_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// The device end: answers each request from a simulated device, with each reply sent in
// parts at chosen delays.
class ScriptedDevice {
 public:
  ScriptedDevice(const QString& path, TSimDevice& device) : device_(device) {
    port_.setPortName(path);
    port_.open(QIODevice::ReadWrite);
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { OnRequest(); });
  }
  bool Ok() const { return port_.isOpen(); }
  // Delays (ms after the request) of the two halves of reply n (0-based); unset replies go
  // whole at once.
  std::function<std::pair<int, int>(int n)> timing;
  int requests = 0;

 private:
  void OnRequest() {
    buffer_ += port_.readAll();
    if (buffer_.size() < 8) return;
    Bytes request(buffer_.begin(), buffer_.end());
    buffer_.clear();
    const Bytes reply = RtuReply(device_, request, 31);
    const auto [first, second] = timing ? timing(requests) : std::pair<int, int>{0, 0};
    ++requests;
    const QByteArray bytes(reinterpret_cast<const char*>(reply.data()),
                           static_cast<qsizetype>(reply.size()));
    const qsizetype half = bytes.size() / 2;
    QTimer::singleShot(first, &port_, [this, bytes, half] { port_.write(bytes.left(half)); });
    QTimer::singleShot(second, &port_, [this, bytes, half] { port_.write(bytes.mid(half)); });
  }

  TSimDevice& device_;
  QSerialPort port_;
  QByteArray buffer_;
};

}  // namespace

TEST(SerialLink, OpenStatusAndWrite) {
  App();
  PtyPair pty;
  ASSERT_TRUE(pty.Ok()) << "socat is needed";
  TRsdHan han;
  EXPECT_EQ(han.BaudRate, br9600);
  EXPECT_EQ(han.Status(), 7);
  EXPECT_EQ(BaudRateValue(br115200), 115200);
  EXPECT_EQ(BaudRateValue(br56000), 56000);
  int shown = 0, opened = 0, closed = 0;
  han.OnShowSt = [&] { ++shown; };
  han.OnOpen = [&] { ++opened; };
  han.OnClose = [&] { ++closed; };

  EXPECT_EQ(han.Open(), 14);  // no port named
  EXPECT_EQ(han.Status(), 14);
  EXPECT_FALSE(han.Active());
  han.CommPort = "/dev/kivsvc-no-such-port";
  EXPECT_EQ(han.Open(), 14);
  EXPECT_EQ(shown, 2);

  han.CommPort = pty.Dev();  // pseudo-terminals are opened by path
  han.BaudRate = br115200;
  ASSERT_EQ(han.Open(), 0);
  EXPECT_TRUE(han.Active());
  EXPECT_EQ(han.Status(), 0);
  EXPECT_EQ(opened, 3);

  QSerialPort peer;
  peer.setPortName(pty.Peer());
  ASSERT_TRUE(peer.open(QIODevice::ReadWrite));
  uint8_t buf[64];
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(han.Read(buf, 64), 0);  // nothing there: back at once
  EXPECT_LT(clock.elapsed(), 50);

  const uint8_t out[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(han.Write(out, 5), 5);
  // The write lasts the bytes' wire time, handling events meanwhile: the peer may have
  // taken them in already.
  ASSERT_TRUE(peer.bytesAvailable() > 0 || peer.waitForReadyRead(1000));
  QThread::msleep(20);
  EXPECT_EQ(peer.readAll(), QByteArray("\x01\x02\x03\x04\x05", 5));

  // Reads in pieces, discarding and a vanished port are held for every ISerialLink in
  // test_serialcontract.cpp.
  han.Close();
  EXPECT_FALSE(han.Active());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(han.Write(out, 5), 0);
  const QStringList& list = han.CommList();
  QStringList sorted = list;
  sorted.sort();
  EXPECT_EQ(list, sorted);
}

struct SerialRig {
  QCoreApplication& app = App();
  PtyPair pty;
  TSimDevice device{SampleContent("12345678", 600)};
  std::unique_ptr<ScriptedDevice> peer;
  TRsdHan han;
  TQtWaiter waiter;
  TKiv kiv;
  TStringTraceList trace;
  TCommSettings settings;
  std::unique_ptr<TKivComm> comm;

  SerialRig() {
    if (!pty.Ok()) return;
    peer = std::make_unique<ScriptedDevice>(pty.Peer(), device);
    han.CommPort = pty.Dev();
    han.BaudRate = br115200;
    han.Open();
    settings.SerialPort = &han;
    settings.Waiter = &waiter;
    settings.TimeSilence = 40;
    settings.Time_Out = 400;
    kiv.SetTraceList(&trace);
    kiv.TraceMessages = false;
    kiv.Defs.ZnsSize = 119;
    kiv.Defs.Zns1Adres = 2177;
    kiv.Defs.Zns2Adres = 2433;
    comm = std::make_unique<TKivComm>(kiv, settings);
  }
  void IdentRequest() {
    const uint8_t pdu[] = {0x03, 0x0E, 0x78, 0x00, 0x08};
    std::copy(pdu, pdu + 5, kiv.Request.begin() + 1);
    kiv.RequestLength = 8;
  }
};

TEST(SerialLink, LateReplyOfAnEarlierExchangeIsNotTakenForTheNext) {
  SerialRig rig;
  ASSERT_TRUE(rig.pty.Ok() && rig.peer->Ok() && rig.han.Active());
  // Later than Time_Out (400 ms): the first exchange gives up before it comes.
  rig.peer->timing = [](int n) { return n == 0 ? std::pair{600, 600} : std::pair{0, 0}; };
  rig.IdentRequest();
  rig.comm->Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "TimeOut, cancel reading");
  rig.comm->Wait(500);  // the late reply is in the port now
  rig.IdentRequest();
  rig.comm->Transact();
  EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
  EXPECT_EQ(rig.kiv.ReplyLength, 21);
}

TEST(SerialLink, ReplyStillArrivingWhenTheSilenceEndsIsCompleted) {
  SerialRig rig;
  ASSERT_TRUE(rig.pty.Ok() && rig.peer->Ok() && rig.han.Active());
  // Half the frame within the silence, the rest 100 ms after it ends.
  int rest = 140;
  rig.peer->timing = [&rest](int) { return std::pair{5, rest}; };
  rig.IdentRequest();
  rig.comm->Transact();
  EXPECT_FALSE(rig.kiv.Error) << FromEnd(rig.trace.lines);
  EXPECT_EQ(rig.kiv.ReplyLength, 21);
  rig.comm->ReadZestaw(1);
  EXPECT_FALSE(rig.kiv.Error);
  EXPECT_EQ(rig.kiv.Zestaw1Length(), 238);

  // A rest later than Time_Out is a broken frame.
  rig.settings.Time_Out = 50;
  rest = 600;
  rig.IdentRequest();
  rig.comm->Transact();
  EXPECT_TRUE(rig.kiv.Error);
  EXPECT_EQ(FromEnd(rig.trace.lines), "CRC error, cancel reading");
}
