// Modbus over TCP with the UniversalMBTCPSendAndWait contract, over QModbusTcpClient.
// The connection stays open while the endpoint stays the same; the wait handles pending
// events, so the window stays responsive during an exchange.
#pragma once

#include <QModbusTcpClient>
#include <QObject>
#include <QString>
#include <functional>

#include "commlink.h"

class TMBTCPClient : public QObject, public ITcpLink {
  Q_OBJECT
 public:
  explicit TMBTCPClient(QObject* parent = nullptr);
  ~TMBTCPClient() override;

  bool UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                 const uint8_t* requestPdu, uint8_t* replyPdu, int32_t timeOutMs,
                                 uint16_t requestPduLength, uint16_t* replyPduLength) override;
  void Disconnect();

 private:
  // Connects to address:port unless already connected there; false when it could not
  // connect before the deadline.
  bool EnsureConnected(const QString& address, uint16_t port, int timeOutMs);
  void WaitUntil(const std::function<bool()>& done, int timeOutMs);

  QModbusTcpClient client_;
  QString address_;
  uint16_t port_ = 0;
};
