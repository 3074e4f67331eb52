#include "simserver.h"

#include <QIODevice>
#include <QSerialPort>
#include <QThread>
#include <cstdio>

#include "modbusframe.h"

namespace {

const char* AreaName(TSimDevice::TArea area) {
  switch (area) {
    case TSimDevice::TArea::Identification:
      return "identification";
    case TSimDevice::TArea::Zestaw1:
      return "parset 1";
    case TSimDevice::TArea::Zestaw2:
      return "parset 2";
    case TSimDevice::TArea::EventBlock:
      return "events block";
    default:
      return "other";
  }
}

void Flush(QIODevice* raw) {
  if (auto* port = qobject_cast<QSerialPort*>(raw)) {
    port->flush();
    while (port->bytesToWrite() > 0)
      if (!port->waitForBytesWritten(1000)) break;
  }
}

}  // namespace

void TSimCore::SendRaw(QIODevice* raw, std::vector<uint8_t> frame, bool split) {
  const auto* bytes = reinterpret_cast<const char*>(frame.data());
  const qint64 n = static_cast<qint64>(frame.size());
  if (split) {
    const qint64 first = n / 2;
    raw->write(bytes, first);
    Flush(raw);
    QThread::msleep(static_cast<unsigned long>(faults_.SplitPauseMs));
    raw->write(bytes + first, n - first);
  } else {
    raw->write(bytes, n);
  }
  Flush(raw);
}

QModbusResponse TSimCore::Serve(const QModbusPdu& request, QIODevice* raw) {
  const int number = ++served_;
  std::vector<uint8_t> pdu{static_cast<uint8_t>(request.functionCode())};
  const QByteArray data = request.data();
  pdu.insert(pdu.end(), data.begin(), data.end());
  const TSimDevice::TArea area = device_.AreaOf(pdu.data(), pdu.size());
  const int block = device_.BlockOf(pdu.data(), pdu.size());
  const int address = pdu.size() >= 3 ? (pdu[1] << 8) | pdu[2] : 0;
  const int count = pdu.size() >= 5 ? (pdu[3] << 8) | pdu[4] : 0;

  std::string what = AreaName(area);
  if (block >= 0) what += " " + std::to_string(block + 1);
  std::vector<uint8_t> reply;
  std::string note;
  if (number == faults_.NoReplyTo) {
    note = "no reply";
  } else if (faults_.RefuseIdentification && area == TSimDevice::TArea::Identification) {
    reply = SimException(pdu[0], simdev::kIllegalFunction);
    note = "refused";
  } else if (faults_.ExceptionAtBlock > 0 && block + 1 == faults_.ExceptionAtBlock) {
    reply = SimException(pdu[0], simdev::kIllegalDataAddress);
    note = "refused";
  } else {
    reply = device_.Handle(pdu);
  }
  if (note.empty()) {
    if (reply.size() >= 2 && (reply[0] & 0x80))
      note = "exception " + std::to_string(reply[1]);
    else if (reply.size() >= 2 && reply[0] == modbus::kReadHoldingRegisters)
      note = std::to_string(reply[1]) + " bytes";
    else
      note = "written";
  }

  const bool late = faults_.DelayMs > 0 && (faults_.DelayAt == 0 || faults_.DelayAt == number);
  const bool wrongCrc = number == faults_.WrongCrcAt;
  const bool otherAddress = number == faults_.OtherAddressAt;
  const bool split = faults_.SplitPauseMs > 0;
  if (!reply.empty()) {
    if (late) note += ", " + std::to_string(faults_.DelayMs) + " ms late";
    if (raw && wrongCrc) note += ", wrong CRC";
    if (raw && otherAddress) note += ", from address " + std::to_string((slave_ + 1) % 248);
    if (raw && split) note += ", in two parts";
  }
  std::printf("request %d: function %d address %d count %d (%s): %s\n", number, pdu[0], address,
              count, what.c_str(), note.c_str());
  std::fflush(stdout);
  if (reply.empty()) return QModbusResponse();  // an invalid response: nothing is sent

  if (late) QThread::msleep(static_cast<unsigned long>(faults_.DelayMs));
  if (raw && (wrongCrc || otherAddress || split)) {
    std::vector<uint8_t> frame{static_cast<uint8_t>(otherAddress ? (slave_ + 1) % 248 : slave_)};
    frame.insert(frame.end(), reply.begin(), reply.end());
    frame.resize(frame.size() + 2);
    modbus::AppendCrc(frame.data(), frame.size() - 2);
    if (wrongCrc) frame.back() ^= 0x5A;
    SendRaw(raw, std::move(frame), split);
    return QModbusResponse();
  }
  if (reply[0] & 0x80)
    return QModbusExceptionResponse(static_cast<QModbusPdu::FunctionCode>(reply[0] & 0x7F),
                                    static_cast<QModbusPdu::ExceptionCode>(reply[1]));
  return QModbusResponse(static_cast<QModbusPdu::FunctionCode>(reply[0]),
                         QByteArray(reinterpret_cast<const char*>(reply.data() + 1),
                                    static_cast<qsizetype>(reply.size() - 1)));
}
