#include "commdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "commlink.h"
#include "messages.h"
#include "rsdhan.h"
#include "uitext.h"

namespace {
const char* const kSpeeds[kBaudRateCount] = {"110",   "300",   "600",   "1200",  "2400",
                                             "4800",  "9600",  "14400", "19200", "38400",
                                             "56000", "57600", "115200"};
}

TCommDlg::TCommDlg(TRsdHan* port, TCommSettings* settings, QWidget* parent)
    : QDialog(parent), port_(port), settings_(settings) {
  setWindowTitle("Options");
  setObjectName("CommDlg");
  // A port that vanishes while the dialog is open shows "Not connected" at once.
  port_->OnShowSt = [this] {
    connected_ = port_->Active();
    if (lbStatus) UpdateStatus();
  };

  // Page "Port setup".
  auto* portPage = new QWidget;
  auto* serial = new QGroupBox("Port COM", portPage);
  PortComboBox = new QComboBox(serial);
  PortComboBox->setObjectName("PortComboBox");
  PortComboBox->setEditable(true);
  PortComboBox->setMaxVisibleItems(4);
  PortComboBox->setInsertPolicy(QComboBox::NoInsert);
  SetHint(PortComboBox, "Comm port selection");
  SpeedComboBox = new QComboBox(serial);
  SpeedComboBox->setObjectName("SpeedComboBox");
  for (const char* s : kSpeeds) SpeedComboBox->addItem(s);
  SpeedComboBox->setToolTip("Speed");
  lbStatus = new QLabel("Not connected", serial);
  lbStatus->setObjectName("lbStatus");
  auto* serialForm = new QFormLayout(serial);
  serialForm->addRow("Port", PortComboBox);
  serialForm->addRow("Speed", SpeedComboBox);
  serialForm->addRow(lbStatus);

  auto* tcp = new QGroupBox("Port TCP", portPage);
  edtMBTCPIP = new QLineEdit(tcp);
  edtMBTCPIP->setObjectName("edtMBTCPIP");
  edtMBTCPIP->setMaxLength(15);
  edtMBTCPPort = new QLineEdit(tcp);
  edtMBTCPPort->setObjectName("edtMBTCPPort");
  auto* tcpForm = new QFormLayout(tcp);
  tcpForm->addRow("IP:", edtMBTCPIP);
  tcpForm->addRow("Port:", edtMBTCPPort);
  cbxMBTCPComm = new QCheckBox("Use modbus over TCP", portPage);
  cbxMBTCPComm->setObjectName("cbxMBTCPComm");
  auto* portBox = new QVBoxLayout(portPage);
  portBox->addWidget(serial);
  portBox->addWidget(tcp);
  portBox->addWidget(cbxMBTCPComm);

  // Page "Times".
  auto* timesPage = new QWidget;
  auto* times = new QGroupBox(timesPage);
  tbTimeOut = new QSpinBox(times);
  tbTimeOut->setObjectName("tbTimeOut");
  tbTimeOut->setRange(1, 3000);
  tbTimeOut->setSingleStep(10);
  tbTimeSilence = new QSpinBox(times);
  tbTimeSilence->setObjectName("tbTimeSilence");
  tbTimeSilence->setRange(1, 1000);
  tbTimeSilence->setSingleStep(5);
  auto* timesForm = new QFormLayout(times);
  timesForm->addRow("Wait time [ms]", tbTimeOut);
  timesForm->addRow("Silence time [ms]", tbTimeSilence);
  auto* timesBox = new QVBoxLayout(timesPage);
  timesBox->addWidget(times);
  timesBox->addStretch();

  auto* pages = new QStackedWidget(this);
  pages->addWidget(portPage);
  pages->addWidget(timesPage);
  TabSet = new QTabBar(this);
  TabSet->setShape(QTabBar::RoundedSouth);
  TabSet->addTab("Port setup");
  TabSet->addTab("Times");
  connect(TabSet, &QTabBar::currentChanged, pages, &QStackedWidget::setCurrentIndex);

  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  auto* help = new QPushButton("Help", this);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(help);
  buttons->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(pages, 1);
  left->addWidget(TabSet);
  auto* all = new QHBoxLayout(this);
  all->addLayout(left, 1);
  all->addLayout(buttons);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] {
    if (OnHelp) OnHelp(0);
  });

  // A choice from the list applies at once; a typed name only on Enter or on leaving the
  // box, so half-typed names never open other devices.
  connect(PortComboBox, &QComboBox::activated, this, [this] { PortChosen(); });
  PortComboBox->lineEdit()->installEventFilter(this);
  connect(SpeedComboBox, &QComboBox::currentIndexChanged, this, [this] {
    if (filling_) return;
    ApplyPort();
    UpdateStatus();
  });
  connect(cbxMBTCPComm, &QCheckBox::toggled, this, [this] { TcpClicked(); });
  connect(edtMBTCPIP, &QLineEdit::textEdited, this,
          [this](const QString& t) { settings_->MBTCPIP = t.toStdString(); });
  connect(edtMBTCPPort, &QLineEdit::textEdited, this, [this](const QString& t) {
    bool number = false;
    uint v = t.toUInt(&number);
    settings_->MBTCPPort = number && v <= 0xFFFF ? static_cast<uint16_t>(v) : 502;
  });
}

bool TCommDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PortComboBox->lineEdit()) {
    bool enter = event->type() == QEvent::KeyPress &&
                 (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                  static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
    if (enter || event->type() == QEvent::FocusOut) {
      if (PortComboBox->currentText().toStdString() != port_->CommPort ||
          (PortComboBox->currentText() == "None" && !port_->CommPort.empty())) {
        PortChosen();
      }
      if (enter) return true;  // Enter applies the name, it does not close the dialog
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TCommDlg::SetTimeOut(uint16_t ms) {
  timeOut_ = ms;
  tbTimeOut->setValue(ms);
}

void TCommDlg::SetTimeSilence(uint16_t ms) {
  timeSilence_ = ms;
  tbTimeSilence->setValue(ms);
}

void TCommDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  filling_ = true;
  PortComboBox->clear();
  PortComboBox->addItem("None");
  PortComboBox->addItems(port_->CommList());
  PortComboBox->setCurrentText(QString::fromStdString(port_->CommPort));
  int speed = static_cast<int>(port_->BaudRate);
  SpeedComboBox->setCurrentIndex(speed >= 0 && speed < kBaudRateCount ? speed : br9600);
  edtMBTCPIP->setText(QString::fromStdString(settings_->MBTCPIP));
  edtMBTCPPort->setText(QString::number(settings_->MBTCPPort));
  filling_ = false;
  if (cbxMBTCPComm->isChecked() != settings_->MBTCPComm)
    cbxMBTCPComm->setChecked(settings_->MBTCPComm);
  if (!settings_->MBTCPComm) {
    try {
      connected_ = port_->Open() == 0;
    } catch (const std::exception& e) {
      connected_ = false;
      Messages().Show(MsgIcon::Error, "Error", e.what());
    }
  } else {
    connected_ = false;
  }
  UpdateStatus();
}

void TCommDlg::PortChosen() {
  QString text = PortComboBox->currentText();
  port_->CommPort = text == "None" ? std::string() : text.toStdString();
  ApplyPort();
  UpdateStatus();
}

void TCommDlg::ApplyPort() {
  int speed = SpeedComboBox->currentIndex();
  port_->BaudRate = static_cast<TBaudRate>(speed >= 0 ? speed : br9600);
  QString text = PortComboBox->currentText();
  port_->CommPort = text == "None" ? std::string() : text.toStdString();
  try {
    connected_ = port_->Open() == 0;
  } catch (const std::exception& e) {
    connected_ = false;
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
}

void TCommDlg::TcpClicked() {
  bool on = cbxMBTCPComm->isChecked();
  settings_->MBTCPComm = on;
  PortComboBox->setEnabled(!on);
  SpeedComboBox->setEnabled(!on);
  edtMBTCPIP->setEnabled(on);
  edtMBTCPPort->setEnabled(on);
}

TCommDlg::~TCommDlg() {
  port_->OnShowSt = nullptr;
}

void TCommDlg::UpdateStatus() {
  lbStatus->setText(connected_ ? "Connected" : "Not connected");
}

void TCommDlg::Accept() {
  timeSilence_ = static_cast<uint16_t>(tbTimeSilence->value());
  timeOut_ = static_cast<uint16_t>(tbTimeOut->value());
  accept();
}
