#include "extrasdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "childform.h"
#include "comtrade.h"
#include "csvexport.h"
#include "lister.h"
#include "messages.h"
#include "printing.h"
#include "report.h"

std::function<std::string(QWidget*)> TSettingsCompareDlg::OpenFileHook;
std::function<std::string(QWidget*, const std::string&)> ExportDirHook;
std::function<std::string(QWidget*, const std::string&)> ExportFileHook;
std::function<void(TSettingsCompareDlg&)> CompareDialogHook;

namespace {

const QColor kDifferBackground(255, 230, 150);

std::string BaseName(const std::string& fileName) {
  const QString b = QFileInfo(QString::fromStdString(fileName)).completeBaseName();
  return b.isEmpty() ? std::string("registration") : b.toStdString();
}

std::string ChooseDir(QWidget* parent, const std::string& proposed) {
  if (ExportDirHook) return ExportDirHook(parent, proposed);
  return QFileDialog::getExistingDirectory(parent, "Export COMTRADE into",
                                           QString::fromStdString(proposed))
      .toStdString();
}

std::string ChooseFile(QWidget* parent, const std::string& proposed, const QString& filter) {
  if (ExportFileHook) return ExportFileHook(parent, proposed);
  return QFileDialog::getSaveFileName(parent, "Export", QString::fromStdString(proposed), filter)
      .toStdString();
}

void ShowError(const std::string& text) {
  Messages().Show(MsgIcon::Error, "Export", text);
}

// The selected sequence of the window, or 0 with a message when there is none.
uint16_t SelectedSequence(TChildForm& form) {
  const uint16_t n = form.Lister()->SelectedSequence();
  if (n == 0) ShowError("Select a sequence first");
  return n;
}

void ExportComtrade(TChildForm& form) {
  const uint16_t n = SelectedSequence(form);
  if (n == 0) return;
  TEvLister& lister = *form.Lister();
  if (lister.EventsMatrix().RowLength(n) == 0) {
    ShowError(NoEventsToExportText(n));
    return;
  }
  const std::string dir = ChooseDir(
      &form, QFileInfo(QString::fromStdString(form.FileName)).absolutePath().toStdString());
  if (dir.empty()) return;
  TGraphModel graph;
  TComtradeRecord rec;
  // The export draws into its own model; the window's graph is given back its sequence.
  const bool ok = SequenceToComtrade(lister, graph, n, rec);
  lister.SetGraph(&form.GraphModel);
  lister.SelectSequence(n);
  if (!ok) {
    ShowError("Sequence " + std::to_string(n) + " has no route to export");
    return;
  }
  std::string error;
  const std::string base = BaseName(form.FileName) + "_seq" + std::to_string(n);
  if (!SaveComtrade(rec, dir, base, error)) ShowError(error);
}

void ExportCsv(TChildForm& form) {
  const uint16_t n = SelectedSequence(form);
  if (n == 0) return;
  const std::vector<TListedEvent> events = ListedEvents(*form.Lister(), n);
  if (events.empty()) {
    ShowError(NoEventsToExportText(n));
    return;
  }
  const QString proposed = QFileInfo(QString::fromStdString(form.FileName)).absolutePath() + "/" +
                           QString::fromStdString(BaseName(form.FileName)) +
                           QString("_seq%1.csv").arg(n);
  const std::string name = ChooseFile(&form, proposed.toStdString(), "CSV files (*.csv)");
  if (name.empty()) return;
  std::string error;
  if (!SaveText(name, EventsCsv(events), error)) ShowError(error);
}

void ServiceReport(TChildForm& form) {
  const QString proposed = QFileInfo(QString::fromStdString(form.FileName)).absolutePath() + "/" +
                           QString::fromStdString(BaseName(form.FileName)) + "_report.pdf";
  const std::string name = ChooseFile(&form, proposed.toStdString(), "PDF files (*.pdf)");
  if (name.empty()) return;
  form.Printing = true;
  TChildPrintSource source(form);
  TReportResult result;
  std::string error;
  const bool ok = WriteServiceReport(source, form.Kiv, name, result, error);
  form.Printing = false;
  if (!ok) ShowError(error);
}

void Compare(TChildForm& form) {
  std::vector<TSettingsCompareDlg::TCandidate> others;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    std::vector<TChildForm*> forms;
    if (auto* f = qobject_cast<TChildForm*>(top)) forms.push_back(f);
    for (TChildForm* f : top->findChildren<TChildForm*>()) forms.push_back(f);
    for (TChildForm* f : forms)
      if (f != &form) others.push_back({BaseName(f->FileName), &f->Kiv});
  }
  TSettingsCompareDlg dlg(form.Kiv, BaseName(form.FileName), std::move(others), &form);
  if (CompareDialogHook) {
    CompareDialogHook(dlg);
  } else {
    dlg.exec();
  }
}

}  // namespace

TSettingsCompareDlg::TSettingsCompareDlg(const TKiv& kiv, const std::string& name,
                                         std::vector<TCandidate> others, QWidget* parent)
    : QDialog(parent), kiv_(kiv), name_(name) {
  setWindowTitle("Compare settings");
  candidates_.push_back({name, &kiv});
  for (TCandidate& c : others) candidates_.push_back(std::move(c));

  auto* box = new QVBoxLayout(this);
  auto* sides = new QHBoxLayout;
  cbA_ = new QComboBox(this);
  cbA_->addItems({"Parset 1", "Parset 2"});
  cbB_ = new QComboBox(this);
  auto* btnFile = new QPushButton("File...", this);
  chbDifferences_ = new QCheckBox("Differences only", this);
  sides->addWidget(new QLabel(QString::fromStdString(name) + ":", this));
  sides->addWidget(cbA_);
  sides->addWidget(new QLabel("against", this));
  sides->addWidget(cbB_, 1);
  sides->addWidget(btnFile);
  sides->addWidget(chbDifferences_);
  box->addLayout(sides);
  table_ = new QTableWidget(0, 4, this);
  table_->setHorizontalHeaderLabels({"Section", "Setting", "A", "B"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setVisible(false);
  box->addWidget(table_, 1);
  summary_ = new QLabel(this);
  box->addWidget(summary_);
  auto* btnClose = new QPushButton("Close", this);
  box->addWidget(btnClose, 0, Qt::AlignRight);
  resize(760, 520);

  FillSideB();
  cbB_->setCurrentIndex(1);  // parset 2 of this registration
  connect(cbA_, &QComboBox::currentIndexChanged, this, [this] { Refill(); });
  connect(cbB_, &QComboBox::currentIndexChanged, this, [this] { Refill(); });
  connect(chbDifferences_, &QCheckBox::toggled, this, [this] { Refill(); });
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnFile, &QPushButton::clicked, this, [this] {
    const std::string file =
        OpenFileHook
            ? OpenFileHook(this)
            : QFileDialog::getOpenFileName(this, "Compare with", {}, "Registration files (*.kiv)")
                  .toStdString();
    if (!file.empty()) AddFile(file);
  });
  Refill();
}

TSettingsCompareDlg::~TSettingsCompareDlg() = default;

void TSettingsCompareDlg::FillSideB() {
  const QSignalBlocker block(cbB_);
  cbB_->clear();
  for (const TCandidate& c : candidates_)
    for (int p = 1; p <= 2; ++p)
      cbB_->addItem(QString::fromStdString(c.Name) + QString(": parset %1").arg(p));
}

void TSettingsCompareDlg::SetSides(int parsetA, int entryB) {
  cbA_->setCurrentIndex(parsetA == 2 ? 1 : 0);
  cbB_->setCurrentIndex(entryB);
  Refill();
}

bool TSettingsCompareDlg::AddFile(const std::string& fileName) {
  auto kiv = std::make_unique<TKiv>();
  kiv->DefsDir = kiv_.DefsDir;
  if (!kiv->LoadFromFile(fileName)) return false;
  candidates_.push_back({BaseName(fileName), kiv.get()});
  files_.push_back(std::move(kiv));
  FillSideB();
  cbB_->setCurrentIndex(cbB_->count() - 2);
  Refill();
  return true;
}

void TSettingsCompareDlg::SetDifferencesOnly(bool on) {
  chbDifferences_->setChecked(on);
  Refill();
}

void TSettingsCompareDlg::Refill() {
  const int b = std::max(0, cbB_->currentIndex());
  const TCandidate& other = candidates_[static_cast<size_t>(b / 2)];
  diff_.Compare(ParsetSide(kiv_, cbA_->currentIndex() + 1), ParsetSide(*other.Kiv, b % 2 + 1));
  const bool only = chbDifferences_->isChecked();
  table_->setRowCount(0);
  for (const TSettingsDiffRow& r : diff_.Rows()) {
    if (only && !r.Differs) continue;
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString cells[4] = {QString::fromStdString(r.Section), QString::fromStdString(r.Name),
                              r.InA ? QString::fromStdString(r.TextA) : "(none)",
                              r.InB ? QString::fromStdString(r.TextB) : "(none)"};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (r.Differs) item->setBackground(kDifferBackground);
      table_->setItem(row, c, item);
    }
  }
  table_->setHorizontalHeaderLabels(
      {"Section", "Setting", cbA_->currentText(), cbB_->currentText()});
  table_->resizeColumnsToContents();
  summary_->setText(diff_.DifferenceCount() == 0
                        ? QString("No differences")
                        : QString("%1 differing settings").arg(diff_.DifferenceCount()));
}

void RunExtrasCommand(TChildForm& form, const std::string& command) {
  if (command == "compare") {
    Compare(form);
  } else if (command == "export-comtrade") {
    ExportComtrade(form);
  } else if (command == "export-csv") {
    ExportCsv(form);
  } else if (command == "report") {
    ServiceReport(form);
  }
}
