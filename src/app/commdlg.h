// TCommDlg: the communication options. Port, speed and the TCP settings take effect while
// the dialog is open; the two times are handed back on OK only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTabBar;
class QStackedWidget;
class TRsdHan;
struct TCommSettings;

class TCommDlg : public QDialog {
  Q_OBJECT
 public:
  TCommDlg(TRsdHan* port, TCommSettings* settings, QWidget* parent = nullptr);
  ~TCommDlg() override;

  void SetTimeOut(uint16_t ms);
  void SetTimeSilence(uint16_t ms);
  uint16_t TimeOut() const { return timeOut_; }
  uint16_t TimeSilence() const { return timeSilence_; }
  bool Connected() const { return connected_; }

  // Help requests of the Help button; the main window connects its help.
  std::function<void(int)> OnHelp;

  QComboBox* PortComboBox;
  QComboBox* SpeedComboBox;
  QLabel* lbStatus = nullptr;
  QLineEdit* edtMBTCPIP;
  QLineEdit* edtMBTCPPort;
  QCheckBox* cbxMBTCPComm;
  QSpinBox* tbTimeOut;
  QSpinBox* tbTimeSilence;
  QTabBar* TabSet;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PortChosen();
  void ApplyPort();
  void TcpClicked();
  void UpdateStatus();
  void Accept();

  TRsdHan* port_;
  TCommSettings* settings_;
  bool connected_ = false;
  uint16_t timeOut_ = 500;
  uint16_t timeSilence_ = 300;
  bool filling_ = false;
};
