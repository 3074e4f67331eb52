#include "mbtcpclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <vector>

#include "hostport.h"
#include "mbap.h"

TMBTCPClient::TMBTCPClient(QObject* parent) : QObject(parent) {}

TMBTCPClient::~TMBTCPClient() {
  Disconnect();
}

void TMBTCPClient::Disconnect() {
  if (socket_.state() != QAbstractSocket::UnconnectedState) socket_.abort();
}

void TMBTCPClient::Drop(const std::string& reason) {
  if (!reason.empty()) failure_ = reason;
  Disconnect();
}

bool TMBTCPClient::WaitUntil(const std::function<bool()>& done, int timeOutMs) {
  if (done()) return true;
  QDeadlineTimer deadline(std::max(0, timeOutMs), Qt::PreciseTimer);
  // Wakes the event wait at the deadline even when no event comes.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(std::max(0, timeOutMs));
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool TMBTCPClient::EnsureConnected(const QString& address, uint16_t port, int timeOutMs) {
  if (socket_.state() == QAbstractSocket::ConnectedState && address == address_ && port == port_) {
    // Bytes nobody asked for (junk after the last reply, a late reply) would be read as
    // the start of this reply: the exchange starts on a new connection instead.
    QCoreApplication::processEvents();
    if (socket_.state() == QAbstractSocket::ConnectedState && socket_.bytesAvailable() == 0)
      return true;
  }
  Disconnect();
  address_ = address;
  port_ = port;
  const std::string where = FormatHostPort(address.toStdString(), port);
  socket_.connectToHost(address, port);
  const bool settled = WaitUntil(
      [this] {
        const auto s = socket_.state();
        return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
      },
      timeOutMs);
  if (socket_.state() == QAbstractSocket::ConnectedState) {
    ++connections_;
    return true;
  }
  if (!settled) {
    failure_ = "Connection timed out: " + where;
  } else {
    switch (socket_.error()) {
      case QAbstractSocket::ConnectionRefusedError:
        failure_ = "Connection refused: " + where;
        break;
      case QAbstractSocket::HostNotFoundError:
        failure_ = "Host not found: " + address.toStdString();
        break;
      case QAbstractSocket::NetworkError:
        failure_ = "Network unreachable: " + where;
        break;
      default:
        failure_ = "Connection failed: " + where + ": " + socket_.errorString().toStdString();
        break;
    }
  }
  Disconnect();
  return false;
}

bool TMBTCPClient::ReadExactly(uint8_t* out, int n, int timeOutMs) {
  WaitUntil(
      [this, n] {
        return socket_.bytesAvailable() >= n || socket_.state() != QAbstractSocket::ConnectedState;
      },
      timeOutMs);
  if (socket_.bytesAvailable() < n) return false;
  return socket_.read(reinterpret_cast<char*>(out), n) == n;
}

bool TMBTCPClient::UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                             const uint8_t* requestPdu, uint8_t* replyPdu,
                                             int32_t timeOutMs, uint16_t requestPduLength,
                                             uint16_t* replyPduLength) {
  if (replyPduLength) *replyPduLength = 0;
  failure_.clear();
  lastUnit_ = unitId;
  if (!address || !requestPdu || !replyPdu || requestPduLength < 1) return false;
  if (requestPduLength + 1 > mbap::kMaxLength) {
    failure_ = "Request too long for Modbus over TCP";
    return false;
  }
  QDeadlineTimer deadline(std::max(0, timeOutMs), Qt::PreciseTimer);
  auto left = [&deadline] {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
  };
  if (!EnsureConnected(QString::fromLatin1(address), port, timeOutMs)) return false;

  const uint16_t transaction = ++transaction_;
  const std::vector<uint8_t> adu =
      mbap::BuildRequest(transaction, unitId, requestPdu, requestPduLength);
  socket_.write(reinterpret_cast<const char*>(adu.data()), static_cast<qint64>(adu.size()));

  uint8_t header[mbap::kHeaderSize];
  if (!ReadExactly(header, mbap::kHeaderSize, left())) {
    // Nothing, or a piece of a header: what is still to come would be read out of step.
    Drop(socket_.state() == QAbstractSocket::ConnectedState
             ? std::string()
             : "Connection closed by the device: " + std::string(address) + ":" +
                   std::to_string(port));
    return false;
  }
  const mbap::THeader h = mbap::ParseHeader(header);
  if (const std::string fault = mbap::HeaderFault(h, transaction); !fault.empty()) {
    Drop(fault);
    return false;
  }
  const int pduLength = h.Length - 1;
  uint8_t pdu[mbap::kMaxLength];
  if (!ReadExactly(pdu, pduLength, left())) {
    Drop(socket_.state() == QAbstractSocket::ConnectedState
             ? "Reply cut short, connection dropped"
             : "Connection closed by the device: " + std::string(address) + ":" +
                   std::to_string(port));
    return false;
  }
  if (const std::string fault = mbap::PduFault(pdu, pduLength); !fault.empty()) {
    Drop(fault);
    return false;
  }
  std::memcpy(replyPdu, pdu, static_cast<size_t>(pduLength));
  if (replyPduLength) *replyPduLength = static_cast<uint16_t>(pduLength);
  lastUnit_ = h.Unit;
  // Another device's answer is returned (the caller names it), but a connection on which
  // another unit answers is not trusted further.
  if (h.Unit != unitId) Disconnect();
  return true;
}
