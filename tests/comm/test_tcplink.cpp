// The Modbus-over-TCP client with the UniversalMBTCPSendAndWait contract, against an
// in-process QModbusTcpServer answering from a simulated device.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QModbusTcpConnectionObserver>
#include <QModbusTcpServer>
#include <QTcpServer>

#include "fakelinks.h"
#include "mbtcpclient.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "comm_tcp_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Counts the connections the server accepts; the server owns it.
class Counter : public QModbusTcpConnectionObserver {
 public:
  explicit Counter(int& count) : count_(count) {}
  bool acceptNewConnection(QTcpSocket*) override {
    ++count_;
    return true;
  }

 private:
  int& count_;
};

class Server : public QModbusTcpServer {
 public:
  explicit Server(TSimDevice& device) : device_(device) {
    installConnectionObserver(new Counter(connections));
  }
  int connections = 0;

 protected:
  QModbusResponse processRequest(const QModbusPdu& request) override {
    Bytes pdu{static_cast<uint8_t>(request.functionCode())};
    const QByteArray data = request.data();
    pdu.insert(pdu.end(), data.begin(), data.end());
    const Bytes reply = device_.Handle(pdu);
    if (reply[0] & 0x80)
      return QModbusExceptionResponse(static_cast<QModbusPdu::FunctionCode>(reply[0] & 0x7F),
                                      static_cast<QModbusPdu::ExceptionCode>(reply[1]));
    return QModbusResponse(static_cast<QModbusPdu::FunctionCode>(reply[0]),
                           QByteArray(reinterpret_cast<const char*>(reply.data() + 1),
                                      static_cast<qsizetype>(reply.size() - 1)));
  }

 private:
  TSimDevice& device_;
};

uint16_t FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

}  // namespace

// Deletes what the server and client left for the event loop (their sockets, and the
// buffer the server keeps per connection until its socket is destroyed): the test has
// no event loop to run afterwards, and the leak check would count them.
struct DeferredDeletes {
  ~DeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST(TcpLink, RepliesExceptionsAndOneConnectionPerEndpoint) {
  App();
  DeferredDeletes flush;  // destroyed last
  TSimDevice device(SampleContent("K3ABCDEFGHIJKLMN", 300));
  Server server(device);
  const uint16_t port = FreePort();
  server.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
  server.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
  server.setServerAddress(31);
  ASSERT_TRUE(server.connectDevice());

  TMBTCPClient client;
  uint8_t reply[300] = {};
  uint16_t length = 0;
  const uint8_t ident[] = {0x03, 0x0E, 0x78, 0x00, 0x08};
  ASSERT_TRUE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", port, 31, ident, reply, 1000, 5, &length));
  EXPECT_EQ(length, 1 + 1 + 16);
  EXPECT_EQ(reply[0], 3);
  EXPECT_EQ(reply[1], 16);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 2), 16), "K3ABCDEFGHIJKLMN");

  // An address the device does not hold: the exception reply, code with bit 7 set.
  const uint8_t beyond[] = {0x03, 0x0F, 0xA3, 0x00, 0x7D};  // the third events block
  ASSERT_TRUE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", port, 31, beyond, reply, 1000, 5, &length));
  EXPECT_EQ(length, 2);
  EXPECT_EQ(reply[0], 0x83);
  EXPECT_EQ(reply[1], 0x02);

  // A PDU above the Modbus limit is refused; the link still works afterwards.
  uint8_t tooLong[260] = {0x10};
  EXPECT_FALSE(client.UniversalMBTCPSendAndWait("127.0.0.1", port, 31, tooLong, reply, 1000,
                                                sizeof tooLong, &length));
  EXPECT_EQ(length, 0);
  ASSERT_TRUE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", port, 31, ident, reply, 1000, 5, &length));
  EXPECT_EQ(server.connections, 1);  // the connection was kept

  // Another unit: the server stays silent, the wait ends at the time-out.
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", port, 5, ident, reply, 300, 5, &length));
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_LT(clock.elapsed(), 2000);

  // Nothing listening: no reply, without hanging.
  const uint16_t closed = FreePort();
  clock.restart();
  EXPECT_FALSE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", closed, 31, ident, reply, 300, 5, &length));
  EXPECT_LT(clock.elapsed(), 2000);
  // Back to the device: a new connection for the changed endpoint.
  ASSERT_TRUE(
      client.UniversalMBTCPSendAndWait("127.0.0.1", port, 31, ident, reply, 1000, 5, &length));
  EXPECT_EQ(server.connections, 2);

  // The server frees a connection's buffer only when it sees the connection end: a
  // server destroyed with a live connection leaves it behind.
  client.Disconnect();
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
