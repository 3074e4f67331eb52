#include "archiveui.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "childform.h"
#include "inifile.h"
#include "kivdate.h"
#include "messages.h"
#include "uitext.h"

namespace {

std::string SeenText(double d) {
  return d == 0 ? "never" : DateTimeToStr(d);
}

}  // namespace

// ---------------------------------------------------------------------------
// The table of sequences

void TArchiveSequenceModel::Reset(TArchive* archive, std::vector<TArchiveSequence> rows) {
  beginResetModel();
  archive_ = archive;
  rows_ = std::move(rows);
  endResetModel();
}

int TArchiveSequenceModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TArchiveSequenceModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

const TArchiveSequence* TArchiveSequenceModel::Row(int r) const {
  return r >= 0 && r < static_cast<int>(rows_.size()) ? &rows_[static_cast<size_t>(r)] : nullptr;
}

QVariant TArchiveSequenceModel::data(const QModelIndex& index, int role) const {
  const TArchiveSequence* s = Row(index.row());
  if (s == nullptr) return {};
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case 0:
        return QVariant(static_cast<qlonglong>(s->Id));
      case 1:
        return Q(s->Device);
      default: {
        // The line as the sequence list shows it, without "Sequence no.1 ": each archived
        // sequence is sequence 1 of the registration that holds it.
        QString line = Q(s->Header);
        if (line.startsWith("Sequence no.")) line = line.section(' ', 2);
        return line + (s->Version > 1 ? QString("  [version %1]").arg(s->Version) : "");
      }
    }
  }
  if (role == Qt::ToolTipRole && archive_ != nullptr) {
    TSequenceSeen seen;
    std::string error;
    if (!archive_->Seen(s->Id, seen, error)) return Q(error);
    return Q("First seen: " + SeenText(seen.First) + "\nLast seen: " + SeenText(seen.Last) +
             "\nReadings: " + std::to_string(seen.Readings) +
             "\nEvents: " + std::to_string(s->Events));
  }
  return {};
}

QVariant TArchiveSequenceModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"Id", "Device", "Sequence"};
  return section >= 0 && section < 3 ? QVariant(kTitles[section]) : QVariant();
}

// ---------------------------------------------------------------------------
// The Archive window

TArchiveWindow::TArchiveWindow(std::function<TArchive*(std::string&)> archive,
                               std::function<void(int64_t)> open, QWidget* parent)
    : QWidget(parent, Qt::Window), archive_(std::move(archive)), open_(std::move(open)) {
  setWindowTitle("Archive");
  setObjectName("ArchiveWindow");
  resize(900, 520);
  auto* box = new QVBoxLayout(this);
  lbLocation_ = new QLabel(this);
  lbLocation_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->addWidget(lbLocation_);

  auto* filters = new QHBoxLayout;
  const auto field = [&](const QString& label, const QString& hint, int width) {
    filters->addWidget(new QLabel(label, this));
    auto* e = new QLineEdit(this);
    e->setPlaceholderText(hint);
    if (width > 0) e->setMaximumWidth(width);
    connect(e, &QLineEdit::returnPressed, this, [this] { Search(); });
    filters->addWidget(e);
    return e;
  };
  edtFrom = field("From", "yyyy-mm-dd", 110);
  edtTo = field("To", "yyyy-mm-dd", 110);
  edtEvent = field("Event", "code (FBh) or name", 170);
  edtText = field("Text", "words of the listing", 0);
  auto* search = new QPushButton("Search", this);
  connect(search, &QPushButton::clicked, this, [this] { Search(); });
  filters->addWidget(search);
  box->addLayout(filters);

  auto* split = new QSplitter(this);
  lbDevices = new QListWidget(this);
  lbDevices->setObjectName("lbDevices");
  connect(lbDevices, &QListWidget::currentRowChanged, this, [this] { Search(); });
  tvSequences = new QTableView(split);
  tvSequences->setObjectName("tvSequences");
  Model = new TArchiveSequenceModel(this);
  tvSequences->setModel(Model);
  tvSequences->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvSequences->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvSequences->verticalHeader()->hide();
  tvSequences->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  tvSequences->horizontalHeader()->setStretchLastSection(true);
  tvSequences->setColumnWidth(0, 60);
  tvSequences->setColumnWidth(1, 170);
  connect(tvSequences, &QTableView::doubleClicked, this,
          [this](const QModelIndex& i) { OpenRow(i.row()); });
  auto* devicePane = new QWidget(split);
  auto* deviceBox = new QVBoxLayout(devicePane);
  deviceBox->setContentsMargins(0, 0, 0, 0);
  deviceBox->addWidget(lbDevices);
  auto* deviceButtons = new QHBoxLayout;
  btnRename = new QPushButton("Rename...", devicePane);
  btnRename->setToolTip("Give the selected device another name; its history stays");
  connect(btnRename, &QPushButton::clicked, this, [this] { AskRename(); });
  btnMerge = new QPushButton("Merge into...", devicePane);
  btnMerge->setToolTip(
      "Move the selected device's history into another device (sequences both hold are kept "
      "once)");
  connect(btnMerge, &QPushButton::clicked, this, [this] { AskMerge(); });
  deviceButtons->addWidget(btnRename);
  deviceButtons->addWidget(btnMerge);
  deviceBox->addLayout(deviceButtons);
  split->addWidget(devicePane);
  split->addWidget(tvSequences);
  split->setStretchFactor(1, 1);
  split->setSizes({200, 700});
  box->addWidget(split, 1);
  lbStatus = new QLabel(this);
  box->addWidget(lbStatus);
}

void TArchiveWindow::Refresh() {
  std::string error;
  TArchive* a = archive_(error);
  lbDevices->blockSignals(true);
  const QString current = lbDevices->currentItem() ? lbDevices->currentItem()->text() : QString();
  lbDevices->clear();
  if (a == nullptr) {
    lbDevices->blockSignals(false);
    lbLocation_->setText(Q(error));
    Model->Reset(nullptr, {});
    lbStatus->clear();
    return;
  }
  lbLocation_->setText(
      Q((a->IsPostgres() ? "PostgreSQL archive " : "Archive ") + a->Location().Text()));
  std::vector<TArchiveDevice> devices;
  if (!a->Devices(devices, error)) lbStatus->setText(Q(error));
  lbDevices->addItem("All devices");
  int select = 0;
  for (const TArchiveDevice& d : devices) {
    auto* item = new QListWidgetItem(Q(d.Name), lbDevices);
    item->setToolTip(Q(d.Identification + ", slave " + std::to_string(d.Slave) + "\n" +
                       std::to_string(d.Readings) + " readings, " + std::to_string(d.Sequences) +
                       " sequences\nRead from " + SeenText(d.FirstRead) + " to " +
                       SeenText(d.LastRead)));
    if (item->text() == current) select = lbDevices->count() - 1;
  }
  lbDevices->setCurrentRow(select);
  lbDevices->blockSignals(false);
  Search();
}

void TArchiveWindow::Search() {
  // Rename and merge act on one device, and a merge needs another.
  btnRename->setEnabled(!CurrentDevice().empty());
  btnMerge->setEnabled(!CurrentDevice().empty() && lbDevices->count() > 2);
  std::string error;
  TArchive* a = archive_(error);
  if (a == nullptr) return;
  TSequenceFilter f;
  f.Device = CurrentDevice();
  int64_t us = 0;
  const auto bad = [this](const QString& text) {
    lbStatus->setText(text);
    Model->Reset(nullptr, {});
  };
  const std::string from = edtFrom->text().trimmed().toStdString();
  const std::string to = edtTo->text().trimmed().toStdString();
  if (!from.empty()) {
    if (!ParseArchiveDate(from, false, us)) return bad("Invalid date: " + Q(from));
    f.FromUs = us;
  }
  if (!to.empty()) {
    if (!ParseArchiveDate(to, true, us)) return bad("Invalid date: " + Q(to));
    f.ToUs = us;
  }
  const std::string event = edtEvent->text().trimmed().toStdString();
  uint8_t code = 0;
  // "FBh" or "0xFB" is a code; any other text part of an event's name.
  if (!event.empty() && (event.back() == 'h' || event.back() == 'H' || event.rfind("0x", 0) == 0) &&
      ParseEventCode(event, code)) {
    f.Codes.push_back(code);
  } else {
    f.EventName = event;
  }
  f.Words = SplitWords(edtText->text().toStdString());
  std::vector<TArchiveSequence> rows;
  if (!a->Sequences(f, rows, error)) return bad(Q(error));
  lbStatus->setText(QString("%1 sequences").arg(rows.size()));
  Model->Reset(a, std::move(rows));
}

std::string TArchiveWindow::CurrentDevice() const {
  if (lbDevices->currentRow() <= 0 || lbDevices->currentItem() == nullptr) return "";
  return lbDevices->currentItem()->text().toStdString();
}

void TArchiveWindow::AskRename() {
  const std::string from = CurrentDevice();
  if (from.empty()) return;
  bool ok = false;
  const QString to = QInputDialog::getText(this, "Rename device", "New name of " + Q(from) + ":",
                                           QLineEdit::Normal, Q(from), &ok)
                         .trimmed();
  if (ok && !to.isEmpty() && to.toStdString() != from) RenameDevice(from, to.toStdString());
}

void TArchiveWindow::AskMerge() {
  const std::string from = CurrentDevice();
  if (from.empty()) return;
  QStringList others;
  for (int i = 1; i < lbDevices->count(); ++i)
    if (lbDevices->item(i)->text().toStdString() != from) others << lbDevices->item(i)->text();
  if (others.isEmpty()) return;
  bool ok = false;
  const QString into = QInputDialog::getItem(
      this, "Merge devices", "Merge the history of " + Q(from) + " into:", others, 0, false, &ok);
  if (ok) MergeDevices(from, into.toStdString());
}

bool TArchiveWindow::RenameDevice(const std::string& from, const std::string& to) {
  std::string error;
  TArchive* a = archive_(error);
  if (a == nullptr || !a->Rename(from, to, error)) {
    Messages().Show(MsgIcon::Error, "Archive", error);
    return false;
  }
  Refresh();
  for (int i = 1; i < lbDevices->count(); ++i)
    if (lbDevices->item(i)->text().toStdString() == to) lbDevices->setCurrentRow(i);
  return true;
}

bool TArchiveWindow::MergeDevices(const std::string& from, const std::string& into) {
  if (Messages().Ask(MsgIcon::Warning, "Merge devices",
                     "Merge the history of " + from + " into " + into +
                         "? Sequences both hold are kept once, and " + from +
                         " is gone. This cannot be undone.",
                     MsgButtons::YesNo) != MsgAnswer::Yes)
    return false;
  std::string error;
  TArchive* a = archive_(error);
  TMergeResult r;
  if (a == nullptr || !a->Merge(from, into, r, error)) {
    Messages().Show(MsgIcon::Error, "Archive", error);
    return false;
  }
  Refresh();
  lbStatus->setText(Q(from + " merged into " + into + ": " + std::to_string(r.Moved) +
                      " sequences moved, " + std::to_string(r.Shared) + " shared kept once"));
  return true;
}

void TArchiveWindow::OpenRow(int row) {
  if (const TArchiveSequence* s = Model->Row(row)) open_(s->Id);
}

// ---------------------------------------------------------------------------
// The program's side

TArchiveUi::TArchiveUi(QWidget* mainWindow, std::string iniPath, std::string iniSection,
                       std::function<TChildForm*()> createChild)
    : QObject(mainWindow),
      main_(mainWindow),
      iniPath_(std::move(iniPath)),
      iniSection_(std::move(iniSection)),
      createChild_(std::move(createChild)) {
  TIniFile ini(iniPath_);
  ArchiveEveryReading = ini.ReadInteger(iniSection_, "ArchiveEveryReading", 1) != 0;
}

TArchiveUi::~TArchiveUi() {
  delete window_;
}

TArchive* TArchiveUi::Archive(std::string& error) {
  // A window open for days outlives a server restart: a lost connection is opened again.
  if (archive_ && archive_->Usable()) return archive_.get();
  TArchiveLocation loc;
  if (!DefaultArchiveLocation(iniPath_, iniSection_, loc, error)) return nullptr;
  auto a = std::make_unique<TArchive>();
  if (!a->Open(loc, error)) return nullptr;
  // The table's tooltips ask the archive they were filled from: never a replaced one.
  if (window_ != nullptr) window_->Model->Reset(nullptr, {});
  archive_ = std::move(a);
  return archive_.get();
}

void TArchiveUi::AddOptions(QMenu* menu) {
  actArchiveEveryReading = menu->addAction("Archive every reading");
  actArchiveEveryReading->setCheckable(true);
  actArchiveEveryReading->setChecked(ArchiveEveryReading);
  actArchiveEveryReading->setStatusTip(
      "Keep the sequences of each completed reading in the archive");
  connect(actArchiveEveryReading, &QAction::toggled, this, [this](bool on) {
    ArchiveEveryReading = on;
    TIniFile ini(iniPath_);
    ini.WriteInteger(iniSection_, "ArchiveEveryReading", on ? 1 : 0);
    ini.UpdateFile();
  });
}

void TArchiveUi::AddWindowItem(QMenu* menu) {
  menu->addAction("Archive", this, [this] { ShowWindow(); });
}

void TArchiveUi::ShowWindow() {
  if (window_ == nullptr) {
    window_ = new TArchiveWindow([this](std::string& e) { return Archive(e); },
                                 [this](int64_t id) { OpenSequence(id); });
  }
  window_->Refresh();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

bool TArchiveUi::AddToArchive(TChildForm& child, std::string& summary) {
  TArchive* a = Archive(summary);
  if (a == nullptr) return false;
  a->DefsDir = child.Kiv.DefsDir;
  TImportResult r;
  if (!a->Import(child.Kiv, child.FileName, "", r, summary)) return false;
  summary = "Archived: " + ImportSummary(r);
  if (r.NewNamesake)
    summary += "; it shares no sequence with the device of its name, so it is the new device " +
               r.Device + " (rename or merge it in the Archive window)";
  child.Kiv.Trace(summary);
  for (const std::string& h : r.ConflictHeaders)
    child.Kiv.Trace("Differs from the archived copy, kept as a further version: " + h);
  if (window_ != nullptr && window_->isVisible()) window_->Refresh();
  return true;
}

void TArchiveUi::AttachChild(TChildForm* child) {
  QAction* add = new QAction("Add to archive", child);
  add->setStatusTip("Keep the sequences of this registration in the archive");
  child->FileMenu()->insertAction(child->actPrint, add);
  child->FileMenu()->insertSeparator(child->actPrint);
  connect(add, &QAction::triggered, this, [this, child] {
    std::string text;
    const bool ok = AddToArchive(*child, text);
    if (ok) {
      Messages().Show(MsgIcon::Information, "Archive", text);
    } else {
      child->Kiv.Trace("Not archived: " + text);
      Messages().Show(MsgIcon::Error, "Archive", text);
    }
  });
  // A reading that ended normally with its events buffer read goes to the archive too.
  auto reading = std::make_shared<bool>(false);
  auto begin = child->Kiv.OnBeginRead;
  child->Kiv.OnBeginRead = [reading, begin] {
    *reading = true;
    TKiv::Fire(begin);
  };
  auto complete = child->Kiv.OnCompleteAll;
  child->Kiv.OnCompleteAll = [this, child, reading, complete] {
    TKiv::Fire(complete);
    if (!*reading) return;
    *reading = false;
    const TKiv& kiv = child->Kiv;
    if (!ArchiveEveryReading || kiv.Error || kiv.Cancel || !kiv.GetReadOptions().ReadEventRegister)
      return;
    std::string text;
    if (!AddToArchive(*child, text)) child->Kiv.Trace("Not archived: " + text);
  };
}

void TArchiveUi::OpenSequence(int64_t id) {
  std::string error;
  TArchive* a = Archive(error);
  std::vector<uint8_t> image;
  std::string device;
  if (a == nullptr || !a->SequenceImage(id, image, device, error)) {
    Messages().Show(MsgIcon::Error, "Archive", error);
    return;
  }
  TChildForm* child = createChild_();
  if (child == nullptr) return;
  // Not a file yet: Save asks for a name.
  std::string name = device + " - archive " + std::to_string(id) + ".kiv";
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  if (!LoadImage(child->Kiv, image)) {
    Messages().Show(MsgIcon::Error, "Archive", "The stored reading is damaged");
    return;
  }
  child->ShowLoadedRegistration(name);
  if (auto* w = qobject_cast<QMdiSubWindow*>(child->parentWidget())) {
    w->show();
    if (w->mdiArea()) w->mdiArea()->setActiveSubWindow(w);
  }
  main_->activateWindow();
}
