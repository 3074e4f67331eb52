// Our Modbus-over-TCP client with the UniversalMBTCPSendAndWait contract, against an
// in-process server whose replies a test can break in any byte of the MBAP header.
#include <gtest/gtest.h>

#include <QCoreApplication>
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

// What only the in-process server sees: the request ADU. The replies, refusals and
// connections every ITcpLink shares are held in test_tcpcontract.cpp.
TEST(TcpLink, RequestHeaderOfEachExchange) {
  DeferredDeletes flush;
  TSimDevice device(SampleContent("K3ABCDEFGHIJKLMN", 300));
  Server server(device);
  TMBTCPClient client;
  Exchange x{client, server.Port()};
  ASSERT_TRUE(x.Run());
  const uint8_t beyond[] = {0x03, 0x0F, 0xA3, 0x00, 0x7D};
  ASSERT_TRUE(x.Run(31, beyond));
  // The transaction id counts up; protocol 0; the length counts unit id and PDU; the unit
  // id is the slave address.
  ASSERT_EQ(server.requests.size(), 2u);
  const int t0 = (server.requests[0][0] << 8) | server.requests[0][1];
  EXPECT_EQ((server.requests[1][0] << 8) | server.requests[1][1], t0 + 1);
  EXPECT_EQ(server.requests[1][2] | server.requests[1][3], 0);
  EXPECT_EQ((server.requests[1][4] << 8) | server.requests[1][5], 6);
  EXPECT_EQ(server.requests[1][6], 31);
  EXPECT_EQ(Bytes(server.requests[1].begin() + 7, server.requests[1].end()),
            Bytes(beyond, beyond + 5));
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
