// Modbus over TCP with the UniversalMBTCPSendAndWait contract: our own client over
// QTcpSocket, so that every field of the reply's MBAP header is checked against the
// request and a reply is read to exactly the length its header gives. Waiting handles
// pending events, so the window stays responsive during an exchange.
#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <functional>
#include <string>

#include "commlink.h"

class TMBTCPClient : public QObject, public ITcpLink {
  Q_OBJECT
 public:
  explicit TMBTCPClient(QObject* parent = nullptr);
  ~TMBTCPClient() override;

  bool UniversalMBTCPSendAndWait(const char* address, uint16_t port, uint8_t unitId,
                                 const uint8_t* requestPdu, uint8_t* replyPdu, int32_t timeOutMs,
                                 uint16_t requestPduLength, uint16_t* replyPduLength) override;
  uint8_t LastUnitId() const override { return lastUnit_; }
  std::string LastFailure() const override { return failure_; }
  void Disconnect() override;
  // Connections made since construction.
  int Connections() const { return connections_; }

 private:
  // Connects to address:port unless connected there with nothing unread; false with the
  // reason in failure_ when no connection was made before the deadline.
  bool EnsureConnected(const QString& address, uint16_t port, int timeOutMs);
  // Processes events until done() or the time has passed; done() decides.
  bool WaitUntil(const std::function<bool()>& done, int timeOutMs);
  // Reads n bytes into out, waiting up to timeOutMs; false when they did not all come.
  bool ReadExactly(uint8_t* out, int n, int timeOutMs);
  void Drop(const std::string& reason);

  QTcpSocket socket_;
  QString address_;
  uint16_t port_ = 0;
  uint16_t transaction_ = 0;
  uint8_t lastUnit_ = 0;
  std::string failure_;
  int connections_ = 0;
};
