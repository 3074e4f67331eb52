#include "pagedlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

#include "messages.h"
#include "printlayout.h"

std::function<bool(TPageDlgFrm&)> TPageDlgFrm::ExecHook;

TPageDlgFrm::TPageDlgFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("PageDlgFrm");
  setWindowTitle("Print options");

  Pages = new QTabWidget(this);
  Pages->setTabPosition(QTabWidget::South);

  auto* range = new QWidget;
  auto* rangeBox = new QVBoxLayout(range);
  cbPrintListing = new QCheckBox("Listing", range);
  cbPrintGraph = new QCheckBox("Graph", range);
  cbPrintZns1 = new QCheckBox("Settings - parset 1", range);
  cbPrintZns2 = new QCheckBox("Settings - parset 2", range);
  cbPrintListing->setObjectName("cbPrintListing");
  cbPrintGraph->setObjectName("cbPrintGraph");
  cbPrintZns1->setObjectName("cbPrintZns1");
  cbPrintZns2->setObjectName("cbPrintZns2");
  for (QCheckBox* c : {cbPrintListing, cbPrintGraph, cbPrintZns1, cbPrintZns2}) {
    rangeBox->addWidget(c);
  }
  rangeBox->addStretch();
  Pages->addTab(range, "Zakres wydruku");

  auto* margins = new QWidget;
  auto* grid = new QGridLayout(margins);
  const char* labels[4] = {"Up", "Down", "Left", "Right"};
  for (int i = 0; i < 4; ++i) {
    auto* edit = new QLineEdit(margins);
    edit->setObjectName(QString("edtMargin%1").arg(labels[i]));
    edit->installEventFilter(this);
    auto* up = new QToolButton(margins);
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(margins);
    down->setArrowType(Qt::DownArrow);
    auto* pair = new QVBoxLayout;
    pair->setSpacing(0);
    pair->addWidget(up);
    pair->addWidget(down);
    grid->addWidget(new QLabel(labels[i], margins), i, 0);
    grid->addWidget(edit, i, 1);
    grid->addLayout(pair, i, 2);
    edtMargin[static_cast<size_t>(i)] = edit;
    btnMarginUp[static_cast<size_t>(i)] = up;
    btnMarginDown[static_cast<size_t>(i)] = down;
    connect(up, &QToolButton::clicked, this, [this, i] { StepMargin(i, 1); });
    connect(down, &QToolButton::clicked, this, [this, i] { StepMargin(i, -1); });
  }
  grid->setRowStretch(4, 1);
  Pages->addTab(margins, "Margins");

  btnOK = new QPushButton("OK", this);
  btnCancel = new QPushButton("Cancel", this);
  btnHelp = new QPushButton("Hel&p", this);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnHelp, &QPushButton::clicked, this, [this] {
    if (OnHelp) OnHelp();
  });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnHelp);
  buttons->addStretch();

  auto* row = new QHBoxLayout(this);
  row->addWidget(Pages, 1);
  row->addLayout(buttons);

  SetFlags(flags_);
  ShowMargins();
}

TPageDlgFrm& TPageDlgFrm::Instance() {
  // Lives for the rest of the run; widgets cannot outlive the application object, whose
  // own teardown is too late to delete them, so the end of the process frees it.
  static TPageDlgFrm* instance = new TPageDlgFrm;
  return *instance;
}

void TPageDlgFrm::SetFlags(uint8_t flags) {
  flags_ = flags;
  cbPrintListing->setChecked(flags & kPrintListing);
  cbPrintGraph->setChecked(flags & kPrintGraph);
  cbPrintZns1->setChecked(flags & kPrintZns1);
  cbPrintZns2->setChecked(flags & kPrintZns2);
}

uint8_t TPageDlgFrm::ReadFlags() const {
  uint8_t f = 0;
  if (cbPrintListing->isChecked()) f |= kPrintListing;
  if (cbPrintGraph->isChecked()) f |= kPrintGraph;
  if (cbPrintZns1->isChecked()) f |= kPrintZns1;
  if (cbPrintZns2->isChecked()) f |= kPrintZns2;
  return f;
}

bool TPageDlgFrm::Run() {
  SetFlags(flags_);
  ShowMargins();
  const bool ok = ExecHook ? ExecHook(*this) : exec() == QDialog::Accepted;
  if (ok) flags_ = ReadFlags();
  return ok;
}

void TPageDlgFrm::SetMargin(int i, int32_t tenths) {
  if (i < 0 || i > 3) return;
  margins_[static_cast<size_t>(i)] = tenths < 0 ? 0 : tenths;
}

void TPageDlgFrm::ShowMargins() {
  for (size_t i = 0; i < 4; ++i) {
    edtMargin[i]->setText(QString::fromStdString(FormatMargin(margins_[i])));
  }
}

void TPageDlgFrm::ReadMargin(int i) {
  if (i < 0 || i > 3) return;
  std::string error;
  try {
    margins_[static_cast<size_t>(i)] =
        ParseMargin(edtMargin[static_cast<size_t>(i)]->text().toStdString());
  } catch (const std::exception& e) {
    error = e.what();
  }
  // The boxes are shown again before the message, whose box takes the focus: leaving the
  // box again then finds a valid text instead of asking once more.
  ShowMargins();
  if (!error.empty()) Messages().Show(MsgIcon::Error, "Error", error);
}

void TPageDlgFrm::StepMargin(int i, int delta) {
  if (i < 0 || i > 3) return;
  int32_t m = margins_[static_cast<size_t>(i)];
  try {
    m = ParseMargin(edtMargin[static_cast<size_t>(i)]->text().toStdString());
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
    return;
  }
  if (delta > 0 && m < std::numeric_limits<int32_t>::max()) ++m;
  if (delta < 0 && m > 0) --m;
  margins_[static_cast<size_t>(i)] = m;
  edtMargin[static_cast<size_t>(i)]->setText(QString::fromStdString(FormatMargin(m)));
}

bool TPageDlgFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    for (int i = 0; i < 4; ++i) {
      if (watched == edtMargin[static_cast<size_t>(i)]) ReadMargin(i);
    }
  }
  return QDialog::eventFilter(watched, event);
}
