// Our Modbus-over-TCP client with the UniversalMBTCPSendAndWait contract, against an
// in-process server whose replies a test can break in any byte of the MBAP header.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include "fakelinks.h"
#include "mbap.h"
#include "mbtcpclient.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "comm_tcp_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Answers each request ADU from a simulated device; `edit` may change the reply ADU.
class Server {
 public:
  explicit Server(TSimDevice& device) : device_(device) {
    App();
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        ++connections;
        buffer_.clear();  // one client at a time: a new connection starts afresh
        s->setParent(&server_);
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] { OnData(s); });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      }
    });
  }
  uint16_t Port() const { return server_.serverPort(); }
  std::function<void(Bytes& adu)> edit;
  int connections = 0;
  std::vector<Bytes> requests;

 private:
  void OnData(QTcpSocket* s) {
    buffer_ += s->readAll();
    while (buffer_.size() >= 7) {
      const auto* b = reinterpret_cast<const uint8_t*>(buffer_.constData());
      const int length = (b[4] << 8) | b[5];
      if (buffer_.size() < 6 + length) return;
      const Bytes adu(b, b + 6 + length);
      buffer_.remove(0, 6 + length);
      requests.push_back(adu);
      const Bytes pdu = device_.Handle(Bytes(adu.begin() + 7, adu.end()));
      Bytes reply(7 + pdu.size());
      std::copy(adu.begin(), adu.begin() + 7, reply.begin());
      reply[4] = static_cast<uint8_t>((pdu.size() + 1) >> 8);
      reply[5] = static_cast<uint8_t>(pdu.size() + 1);
      std::copy(pdu.begin(), pdu.end(), reply.begin() + 7);
      if (edit) edit(reply);
      s->write(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()));
    }
  }

  TSimDevice& device_;
  QTcpServer server_;
  QByteArray buffer_;
};

uint16_t FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

const uint8_t kIdent[] = {0x03, 0x0E, 0x78, 0x00, 0x08};

struct Exchange {
  TMBTCPClient& client;
  uint16_t port;
  uint8_t reply[300] = {};
  uint16_t length = 0;
  bool Run(uint8_t unit = 31, const uint8_t* pdu = kIdent, uint16_t n = 5, int timeOut = 1000) {
    return client.UniversalMBTCPSendAndWait("127.0.0.1", port, unit, pdu, reply, timeOut, n,
                                            &length);
  }
};

// Deletes what server and client left for the event loop: the test runs none afterwards.
struct DeferredDeletes {
  ~DeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

}  // namespace

TEST(Mbap, RequestHeaderAndReplyChecks) {
  const Bytes adu = mbap::BuildRequest(0x1234, 31, kIdent, 5);
  EXPECT_EQ(adu, (Bytes{0x12, 0x34, 0, 0, 0, 6, 31, 0x03, 0x0E, 0x78, 0x00, 0x08}));
  const mbap::THeader h = mbap::ParseHeader(adu.data());
  EXPECT_EQ(h.Transaction, 0x1234);
  EXPECT_EQ(h.Length, 6);
  EXPECT_EQ(h.Unit, 31);
  EXPECT_EQ(mbap::HeaderFault(h, 0x1234), "");
  EXPECT_NE(mbap::HeaderFault(h, 0x1235), "");
  mbap::THeader bad = h;
  bad.Protocol = 1;
  EXPECT_NE(mbap::HeaderFault(bad, 0x1234), "");
  for (int length : {0, 1, 255, 0xFFFF}) {
    bad = h;
    bad.Length = static_cast<uint16_t>(length);
    EXPECT_NE(mbap::HeaderFault(bad, 0x1234), "") << length;
  }
  bad = h;
  bad.Unit = 5;  // judged by the caller, which names the other device
  EXPECT_EQ(mbap::HeaderFault(bad, 0x1234), "");

  EXPECT_EQ(mbap::PduFault(Bytes{0x83, 0x02}.data(), 2), "");
  EXPECT_NE(mbap::PduFault(Bytes{0x83, 0x02, 0x00}.data(), 3), "");
  EXPECT_NE(mbap::PduFault(Bytes{0x83}.data(), 1), "");
  EXPECT_EQ(mbap::PduFault(Bytes{0x03, 0x02, 0xAA, 0xBB}.data(), 4), "");
  EXPECT_NE(mbap::PduFault(Bytes{0x03, 0x04, 0xAA, 0xBB}.data(), 4), "");
  EXPECT_NE(mbap::PduFault(Bytes{0x03, 0x00, 0xAA, 0xBB}.data(), 4), "");
  EXPECT_EQ(mbap::PduFault(Bytes{0x10, 0x08, 0x80, 0x00, 0x77}.data(), 5), "");
  EXPECT_NE(mbap::PduFault(Bytes{0x10, 0x08, 0x80, 0x00}.data(), 4), "");
}

TEST(TcpLink, RepliesExceptionsTransactionsAndConnections) {
  DeferredDeletes flush;
  TSimDevice device(SampleContent("K3ABCDEFGHIJKLMN", 300));
  Server server(device);
  TMBTCPClient client;
  Exchange x{client, server.Port()};
  ASSERT_TRUE(x.Run());
  EXPECT_EQ(x.length, 1 + 1 + 16);
  EXPECT_EQ(x.reply[0], 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(x.reply + 2), 16), "K3ABCDEFGHIJKLMN");
  EXPECT_EQ(client.LastUnitId(), 31);

  // Past the data: the exception reply, code with bit 7 set.
  const uint8_t beyond[] = {0x03, 0x0F, 0xA3, 0x00, 0x7D};
  ASSERT_TRUE(x.Run(31, beyond));
  EXPECT_EQ(x.length, 2);
  EXPECT_EQ(x.reply[0], 0x83);
  EXPECT_EQ(x.reply[1], 0x02);
  // The transaction id counts up; protocol 0; the unit id is the slave address.
  ASSERT_EQ(server.requests.size(), 2u);
  const int t0 = (server.requests[0][0] << 8) | server.requests[0][1];
  EXPECT_EQ((server.requests[1][0] << 8) | server.requests[1][1], t0 + 1);
  EXPECT_EQ(server.requests[1][2] | server.requests[1][3], 0);
  EXPECT_EQ(server.requests[1][6], 31);
  EXPECT_EQ(server.connections, 1);  // kept within a dialogue

  // A PDU above the Modbus limit never goes out; the link still works afterwards.
  uint8_t tooLong[260] = {0x10};
  EXPECT_FALSE(x.Run(31, tooLong, sizeof tooLong));
  EXPECT_EQ(x.length, 0);
  ASSERT_TRUE(x.Run());

  // The end of a dialogue closes the connection; the next exchange makes a new one.
  client.Disconnect();
  ASSERT_TRUE(x.Run());
  EXPECT_EQ(server.connections, 2);

  // Nothing listening: refused at once, with the reason.
  Exchange refused{client, FreePort()};
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(refused.Run());
  EXPECT_LT(clock.elapsed(), 900);
  EXPECT_EQ(client.LastFailure(), "Connection refused: 127.0.0.1:" + std::to_string(refused.port));
  ASSERT_TRUE(x.Run());
  EXPECT_EQ(client.LastFailure(), "");
  client.Disconnect();
}

// Every field of the reply header is checked; each mismatch drops the connection, and the
// next exchange works on a new one.
TEST(TcpLink, HeaderFaultsDropTheConnection) {
  DeferredDeletes flush;
  TSimDevice device(SampleContent("K3ABCDEFGHIJKLMN", 300));
  Server server(device);
  TMBTCPClient client;
  Exchange x{client, server.Port()};
  struct Fault {
    const char* name;
    std::function<void(Bytes&)> edit;
  };
  ASSERT_TRUE(x.Run());
  const std::vector<Fault> faults = {
      {"transaction id", [](Bytes& a) { a[1] ^= 0x40; }},
      {"protocol id", [](Bytes& a) { a[3] = 1; }},
      {"length zero", [](Bytes& a) { a[4] = 0, a[5] = 0; }},
      {"length one", [](Bytes& a) { a[4] = 0, a[5] = 1; }},
      {"length short", [](Bytes& a) { a[5] -= 2; }},  // the byte count no longer fits
      {"length long", [](Bytes& a) { a[5] += 4; }},   // waits for bytes that never come
      {"length above 254", [](Bytes& a) { a[4] = 1, a[5] = 0; }},
      {"byte count", [](Bytes& a) { a[8] = 12; }},
      {"exception of 3 bytes", [](Bytes& a) { a = {a[0], a[1], 0, 0, 0, 4, a[6], 0x83, 2, 0}; }},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    server.edit = f.edit;
    const int before = server.connections;
    EXPECT_FALSE(x.Run(31, kIdent, 5, 300));
    EXPECT_EQ(x.length, 0);
    if (std::string(f.name) != "length long") {
      EXPECT_NE(client.LastFailure(), "");
    }
    server.edit = nullptr;
    ASSERT_TRUE(x.Run());
    EXPECT_EQ(server.connections, before + 1);
    EXPECT_EQ(x.length, 18);
  }

  // Another unit's answer comes back named as such, and its connection is not kept.
  server.edit = [](Bytes& a) { a[6] = 5; };
  const int before = server.connections;
  EXPECT_TRUE(x.Run());
  EXPECT_EQ(client.LastUnitId(), 5);
  server.edit = nullptr;
  ASSERT_TRUE(x.Run());
  EXPECT_EQ(client.LastUnitId(), 31);
  EXPECT_EQ(server.connections, before + 1);

  // Junk after a good reply: this exchange succeeds, the next starts on a new connection
  // instead of reading the junk as its header.
  server.edit = [](Bytes& a) { a.insert(a.end(), {0x00, 0x07, 0x00, 0x00, 0x00}); };
  ASSERT_TRUE(x.Run());
  server.edit = nullptr;
  const int beforeJunk = server.connections;
  ASSERT_TRUE(x.Run());
  EXPECT_EQ(x.length, 18);
  EXPECT_EQ(server.connections, beforeJunk + 1);
  client.Disconnect();
}
