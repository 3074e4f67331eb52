#include "mbtcpclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QModbusReply>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <functional>

#include "modbusframe.h"

namespace {
// Data bytes after the function code in the longest Modbus PDU (253 bytes).
constexpr int kMaxPduData = 252;
}  // namespace

TMBTCPClient::TMBTCPClient(QObject* parent) : QObject(parent) {
  client_.setNumberOfRetries(0);
}

TMBTCPClient::~TMBTCPClient() {
  Disconnect();
}

void TMBTCPClient::Disconnect() {
  if (client_.state() != QModbusDevice::UnconnectedState) client_.disconnectDevice();
}

void TMBTCPClient::WaitUntil(const std::function<bool()>& done, int timeOutMs) {
  QDeadlineTimer deadline(std::max(0, timeOutMs), Qt::PreciseTimer);
  // Wakes the event wait at the deadline even when no event comes.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(std::max(0, timeOutMs));
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool TMBTCPClient::EnsureConnected(const QString& address, uint16_t port, int timeOutMs) {
  if (client_.state() == QModbusDevice::ConnectedState && address == address_ && port == port_)
    return true;
  Disconnect();
  WaitUntil([this] { return client_.state() == QModbusDevice::UnconnectedState; }, timeOutMs);
  client_.setConnectionParameter(QModbusDevice::NetworkAddressParameter, address);
  client_.setConnectionParameter(QModbusDevice::NetworkPortParameter, int{port});
  address_ = address;
  port_ = port;
  if (!client_.connectDevice()) return false;
  WaitUntil(
      [this] {
        const auto s = client_.state();
        return s == QModbusDevice::ConnectedState || s == QModbusDevice::UnconnectedState;
      },
      timeOutMs);
  if (client_.state() == QModbusDevice::ConnectedState) return true;
  Disconnect();
  return false;
}

bool TMBTCPClient::UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                             const uint8_t* requestPdu, uint8_t* replyPdu,
                                             int32_t timeOutMs, uint16_t requestPduLength,
                                             uint16_t* replyPduLength) {
  if (replyPduLength) *replyPduLength = 0;
  if (!address || !requestPdu || !replyPdu || requestPduLength < 1) return false;
  QDeadlineTimer deadline(std::max(0, timeOutMs), Qt::PreciseTimer);
  if (!EnsureConnected(QString::fromLatin1(address), port, timeOutMs)) return false;

  client_.setTimeout(std::max(1, static_cast<int>(deadline.remainingTime())));
  const QModbusRequest request(
      static_cast<QModbusPdu::FunctionCode>(requestPdu[0]),
      QByteArray(reinterpret_cast<const char*>(requestPdu + 1), requestPduLength - 1));
  // Null when the client is not connected or refuses the request (too long): no reply.
  QPointer<QModbusReply> reply = client_.sendRawRequest(request, unitId);
  if (!reply) return false;  // nothing went out: the stream is as it was
  WaitUntil([&reply] { return !reply || reply->isFinished(); },
            static_cast<int>(deadline.remainingTime()) + 50);
  if (!reply) {
    Disconnect();
    return false;
  }
  bool answered = false;
  if (reply->isFinished()) {
    const QModbusResponse response = reply->rawResult();
    if (response.isException()) {
      // The response holds the plain function code; the exception reply on the wire
      // has bit 7 set.
      replyPdu[0] = static_cast<uint8_t>(response.functionCode() | modbus::kExceptionBit);
      replyPdu[1] = static_cast<uint8_t>(response.exceptionCode());
      if (replyPduLength) *replyPduLength = 2;
      answered = true;
    } else if (reply->error() == QModbusDevice::NoError && response.isValid()) {
      const QByteArray data = response.data();
      const int n = std::min<int>(static_cast<int>(data.size()), kMaxPduData);
      replyPdu[0] = static_cast<uint8_t>(response.functionCode());
      std::copy(data.begin(), data.begin() + n, replyPdu + 1);
      if (replyPduLength) *replyPduLength = static_cast<uint16_t>(n + 1);
      answered = true;
    }
  }
  // After a lost, cut or garbled reply the stream may still hold a part of it (or get the
  // rest later), and every later reply would be read out of step: the next exchange
  // starts on a new connection. Disconnecting also ends a reply still pending.
  if (!answered) Disconnect();
  // A finished reply is deleted at once: a deferred delete waits for the event loop the
  // dialogue was started from, so a long series of requests (a soak, a caller without a
  // running loop) would pile up every reply until then.
  if (reply && reply->isFinished())
    delete reply.data();
  else if (reply)
    reply->deleteLater();
  return answered;
}
