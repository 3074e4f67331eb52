#include "childform.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>

#include "gridlayout.h"
#include "kivdate.h"
#include "messages.h"
#include "settingcells.h"
#include "settings.h"
#include "uitext.h"
#include "znsgrid.h"

// The settings page: the grid of a parset, the tab set that picks the parset, and the
// commit of an edited cell.

namespace {

// Widest a name or value column gets when fitted at opening; dragging goes beyond.
constexpr int kMaxNameColumnWidth = 260;
constexpr int kMaxValueColumnWidth = 160;

}  // namespace

// Opens an editor only on a value cell, and tells the window which cell is edited.
class TZnsDelegate : public QStyledItemDelegate {
 public:
  TZnsDelegate(TChildForm* form) : QStyledItemDelegate(form), form_(form) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (!znsgrid::IsValueCell(form_->Kiv.Defs, index.column(), index.row())) return nullptr;
    form_->EditCol = index.column();
    form_->EditRow = index.row();
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

 private:
  TChildForm* form_;
};

namespace {

// One edit of a settings cell: parset n's whole image before and after it.
class TParsetEdit : public QUndoCommand {
 public:
  TParsetEdit(TChildForm* form, int n, std::vector<uint8_t> before, std::vector<uint8_t> after,
              int r, int c, const QString& text)
      : QUndoCommand(text),
        form_(form),
        n_(n),
        before_(std::move(before)),
        after_(std::move(after)),
        r_(r),
        c_(c) {}
  void undo() override { form_->ApplyParsetImage(n_, before_, r_, c_); }
  void redo() override {
    // Pushing it runs redo: the cell's commit has stored the bytes already.
    if (pushed_) form_->ApplyParsetImage(n_, after_, r_, c_);
    pushed_ = true;
  }

 private:
  TChildForm* form_;
  int n_;
  std::vector<uint8_t> before_;
  std::vector<uint8_t> after_;
  int r_;
  int c_;
  bool pushed_ = false;
};

}  // namespace

void TChildForm::BuildSettingsPage() {
  auto* page = new QWidget;
  ZnsGrid = new TZnsGridTable(znsgrid::kInitialRows, znsgrid::kInitialCols, page);
  ZnsGrid->setObjectName("ZnsGrid");
  ZnsGrid->horizontalHeader()->hide();
  ZnsGrid->verticalHeader()->hide();
  ZnsGrid->horizontalHeader()->setDefaultSectionSize(znsgrid::kDefaultColWidth);
  ZnsGrid->verticalHeader()->setDefaultSectionSize(znsgrid::kDefaultRowHeight);
  ZnsGrid->verticalHeader()->setMinimumSectionSize(znsgrid::kDefaultRowHeight);
  ZnsGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  QFont f("Arial");
  f.setPixelSize(11);
  ZnsGrid->setFont(f);
  ZnsGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  ZnsGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  ZnsGrid->setItemDelegate(new TZnsDelegate(this));
  connect(ZnsGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!fillingGrid_) GridEditEnded(item->column(), item->row());
  });
  connect(ZnsGrid, &QTableWidget::currentCellChanged, this, [this](int, int, int, int) {
    // Moving to another cell ends an open edit: Qt commits the editor, which reports the
    // change through itemChanged; nothing is left open here.
  });

  TabSet1 = new QTabBar(page);
  TabSet1->setObjectName("TabSet1");
  TabSet1->addTab("Settings - parset  1");
  TabSet1->addTab("Settings - parset  2");
  TabSet1->setShape(QTabBar::RoundedSouth);
  connect(TabSet1, &QTabBar::currentChanged, this, [this](int index) {
    ParsetTab = index;
    Guarded([this] { ShowParset(); });
  });
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->addWidget(ZnsGrid, 1);
  box->addWidget(TabSet1);
  Notebook1->addTab(page, "Settings");
}

// ---------------------------------------------------------------------------
// Settings grid

void TChildForm::SetCell(int r, int c, const std::string& text) {
  QTableWidgetItem* item = ZnsGrid->item(r, c);
  if (!item) {
    item = new QTableWidgetItem;
    ZnsGrid->setItem(r, c, item);
  }
  bool fixed = r < znsgrid::kFixedRows || c < znsgrid::kFixedCols;
  // The fixed row and column are headings, never part of a selection.
  Qt::ItemFlags flags = fixed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (znsgrid::IsValueCell(Kiv.Defs, c, r)) flags |= Qt::ItemIsEditable;
  item->setFlags(flags);
  if (fixed) item->setBackground(palette().button());
  item->setText(Q(text));
}

void TChildForm::ShowParsetDates() {
  if (Kiv.Zestaw1ReadDate() != 0) lbZns1LoadTime->setText(Q(DateTimeToStr(Kiv.Zestaw1ReadDate())));
  if (Kiv.Zestaw2ReadDate() != 0) lbZns2LoadTime->setText(Q(DateTimeToStr(Kiv.Zestaw2ReadDate())));
}

void TChildForm::ShowParset() {
  if (Kiv.GetKivType() == kivtUnknown) return;
  const uint8_t* parset = ParsetTab == 0 ? Kiv.Zestaw1() : Kiv.Zestaw2();
  int length = ParsetTab == 0 ? Kiv.Zestaw1Length() : Kiv.Zestaw2Length();
  ShowParsetDates();
  fillingGrid_ = true;
  const TKivDefs& defs = Kiv.Defs;
  const bool fitColumns = gridFittedFor_ != defs.FileName;
  int sections = defs.SectionCount();
  if (sections + 1 > ZnsGrid->rowCount()) ZnsGrid->setRowCount(sections + 1);
  for (int r = 1; r <= sections; ++r) {
    SetCell(r, 0, defs.SectionTitle(r));
    int n = znsgrid::SettingCount(defs, r);
    const TSets* sets = defs.SectionSets(r);
    for (int j = 1; j <= n; ++j) {
      int nameCol = znsgrid::NameColumn(j);
      if (ZnsGrid->columnCount() + znsgrid::kFixedCols < nameCol + 2) {
        ZnsGrid->setColumnCount(nameCol + 2 + znsgrid::kFixedCols);
      }
      TSetDesc desc = sets->GetSetting(j);
      const std::string value = SettingToText(desc, parset, length);
      SetCell(r, nameCol, SettingNameCell(desc));
      SetCell(r, nameCol + 1, value);
      // The whole name, the value and what may be typed, wherever the column cuts them.
      const QString tip = Q(SettingTooltip(desc, value));
      ZnsGrid->item(r, nameCol)->setToolTip(tip);
      ZnsGrid->item(r, nameCol + 1)->setToolTip(tip);
      // Column widths are set when the grid is fitted (below), not at every filling:
      // afterwards they are the user's.
    }
    int from = n > 0 ? znsgrid::SpacerColumn(n) + 1 : znsgrid::kFixedCols;
    int last = ZnsGrid->columnCount() - 1;
    for (int c = std::min(from, last); c <= last; ++c) SetCell(r, c, "");
  }
  SetCell(0, 0, DefinitionCell(defs));
  if (fitColumns) FitGridColumns();
  fillingGrid_ = false;
}

void TChildForm::FitGridColumns() {
  // At opening (and when other definitions come) names and values get the width they
  // need, within limits; afterwards the widths are the user's.
  gridFittedFor_ = Kiv.Defs.FileName;
  auto* grid = static_cast<TZnsGridTable*>(ZnsGrid);
  int maxSettings = 0;
  for (int r = 1; r <= Kiv.Defs.SectionCount(); ++r)
    maxSettings = std::max(maxSettings, znsgrid::SettingCount(Kiv.Defs, r));
  for (int j = 1; j <= maxSettings; ++j) {
    const int nameCol = znsgrid::NameColumn(j);
    grid->FitColumn(nameCol, znsgrid::kDefaultColWidth, kMaxNameColumnWidth);
    grid->FitColumn(nameCol + 1, znsgrid::kDefaultColWidth / 2, kMaxValueColumnWidth);
    if (nameCol + 2 < ZnsGrid->columnCount())
      ZnsGrid->setColumnWidth(nameCol + 2, znsgrid::kDefaultColWidth / 3);
  }
}

void TChildForm::GridEditEnded(int c, int r) {
  try {
    CommitCell(c, r);
  } catch (...) {
    ShowParset();
  }
}

void TChildForm::CommitCell(int c, int r) {
  uint8_t* parset = Kiv.Zestaw(ParsetTab + 1);
  if (ParsetTab < 0 || ParsetTab > 1 || !parset) return;
  int j = znsgrid::SettingOfColumn(c);
  if (j == 0) return;
  const TSets* sets = Kiv.Defs.SectionSets(r);
  if (!sets || j > sets->Count()) return;
  TSetDesc desc = sets->GetSetting(j);
  int length = Kiv.ZestawLength(ParsetTab + 1);
  QTableWidgetItem* item = ZnsGrid->item(r, c);
  std::string typed = item ? item->text().toStdString() : std::string();
  const std::vector<uint8_t> before(parset, parset + kivimg::kZestawCapacity);
  fillingGrid_ = true;
  std::string refused;
  try {
    // What the setting does not allow is not stored; say so rather than let the old value
    // come back without a word.
    refused = StoreTypedSetting(desc, typed, length, parset);
    std::string shown = SettingToText(desc, parset, length);
    SetCell(r, c, shown);
    EditCol = EditRow = -1;
  } catch (const std::exception& e) {
    // Text that is not a number: the stored value comes back, and the person who typed it
    // learns why.
    SetCell(r, c, SettingToText(desc, parset, length));
    refused = e.what();
  }
  fillingGrid_ = false;
  std::vector<uint8_t> after(parset, parset + kivimg::kZestawCapacity);
  if (after != before) {
    Kiv.Modified = true;
    const QString text = QString("parset %1: %2").arg(ParsetTab + 1).arg(Q(desc.Name));
    undoStack_->push(new TParsetEdit(this, ParsetTab + 1, before, std::move(after), r, c, text));
    RefreshModifiedMark();
  }
  if (!refused.empty()) {
    Messages().Show(MsgIcon::Warning, "Warning", refused);
  }
}

void TChildForm::ApplyParsetImage(int n, const std::vector<uint8_t>& bytes, int r, int c) {
  uint8_t* parset = Kiv.Zestaw(n);
  if (!parset || bytes.size() > kivimg::kZestawCapacity) return;
  std::copy(bytes.begin(), bytes.end(), parset);
  Kiv.Modified = true;
  // The change is shown where it happened.
  ShowPage(TChildPage::Settings);
  if (TabSet1->currentIndex() != n - 1) {
    TabSet1->setCurrentIndex(n - 1);  // shows the parset
  } else {
    ShowParset();
  }
  ZnsGrid->setCurrentCell(r, c);
  RefreshModifiedMark();
}
