#include "childform.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kivdate.h"
#include "lister.h"
#include "uitext.h"

// The events page: the sequence list, the listing of the current sequence and its graph.

std::vector<int32_t> SplitThousandths(const std::vector<int32_t>& parts) {
  if (parts.size() != 3) return {};
  int64_t sum = 0;
  for (int32_t p : parts) {
    if (p < 0) return {};
    sum += p;
  }
  if (sum == 0) return {};
  std::vector<int32_t> t;
  int64_t before = 0;
  // Each border rounded once: the parts then add up to exactly 1000.
  for (int32_t p : parts) {
    const int64_t end = (before + p) * 1000 / sum;
    const int64_t start = before * 1000 / sum;
    t.push_back(static_cast<int32_t>(end - start));
    before += p;
  }
  return t;
}

void TChildForm::BuildEventsPage() {
  auto* page = new QWidget;
  Panel3 = new QWidget(page);
  Panel3->setObjectName("Panel3");
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(Panel3);
  // The list, the listing and the graph share the page; the user drags the borders.
  EventsSplitter = new QSplitter(Qt::Vertical, Panel3);
  EventsSplitter->setObjectName("EventsSplitter");
  EventsSplitter->setChildrenCollapsible(false);
  EventsListBox = new QListWidget(Panel3);
  EventsListBox->setObjectName("EventsListBox");
  EventsListBox->addItem("Not read");
  // Click, Ctrl+click and Shift+click, and the arrows with Shift, pick sequences for
  // printing; the sequence under the cursor is the one shown.
  EventsListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FMemo = new QTextEdit(Panel3);
  FMemo->setObjectName("FMemo");
  FMemo->setReadOnly(true);
  FMemo->setLineWrapMode(QTextEdit::NoWrap);
  FMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Graph->setObjectName("Graph");
  for (QWidget* w : {static_cast<QWidget*>(EventsListBox), static_cast<QWidget*>(FMemo),
                     static_cast<QWidget*>(Graph)})
    EventsSplitter->addWidget(w);
  connect(EventsSplitter, &QSplitter::splitterMoved, this, [this] {
    const QList<int> sizes = EventsSplitter->sizes();
    const std::vector<int32_t> split =
        SplitThousandths(std::vector<int32_t>(sizes.begin(), sizes.end()));
    if (split.empty()) return;
    eventsSplit_ = split;
    emit EventsSplitMoved();
  });
  connect(EventsListBox, &QListWidget::itemClicked, this,
          [this] { Guarded([this] { EventsListClick(true); }); });
  // The listing and the graph follow the current sequence however it moves: arrows,
  // Home/End, Page keys, or the mouse. Enter does what a click does.
  connect(EventsListBox, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) Guarded([this] { ShowCurrentSequence(); });
  });
  connect(EventsListBox, &QListWidget::itemActivated, this,
          [this] { Guarded([this] { EventsListClick(true); }); });
  Notebook1->addTab(page, "Events buffer");
}

// ---------------------------------------------------------------------------
// Events page

void TChildForm::SetView(TEventsView view) {
  ViewMode = view;
  LayoutEventsPage();
  EventsListClick(false);
}

void TChildForm::LayoutEventsPage() {
  int w = Panel3->width();
  int h = Panel3->height();
  const bool all = ViewMode == TEventsView::All;
  EventsListBox->setVisible(all || ViewMode == TEventsView::Sequences);
  FMemo->setVisible(all || ViewMode == TEventsView::Listing);
  Graph->setVisible(all || ViewMode == TEventsView::Graph);
  // One part shown fills the page; all three share it as last dragged.
  EventsSplitter->setGeometry(0, 0, w, h);
  QList<int> sizes;
  if (all) {
    for (int32_t t : eventsSplit_) sizes.push_back(static_cast<int>(int64_t{h} * t / 1000));
  } else {
    sizes = {ViewMode == TEventsView::Sequences ? h : 0, ViewMode == TEventsView::Listing ? h : 0,
             ViewMode == TEventsView::Graph ? h : 0};
  }
  EventsSplitter->setSizes(sizes);
}

void TChildForm::SetEventsSplit(const std::vector<int32_t>& split) {
  const std::vector<int32_t> t = SplitThousandths(split);
  if (t.empty()) return;
  eventsSplit_ = t;
  LayoutEventsPage();
}

bool TChildForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel3 && event->type() == QEvent::Resize) {
    LayoutEventsPage();
  }
  return QWidget::eventFilter(watched, event);
}

int TChildForm::CurrentSequenceRow() const {
  int row = EventsListBox->currentRow();
  if (row < 0 && !EventsListBox->selectedItems().isEmpty()) {
    row = EventsListBox->row(EventsListBox->selectedItems().first());
  }
  return row;
}

void TChildForm::ShowCurrentSequence() {
  Graph->DeselectAll();
  lister_->SelectSequence(static_cast<uint16_t>(CurrentSequenceRow() + 1));
}

void TChildForm::EventsListClick(bool fromList) {
  // A click has moved the current sequence already, which showed it.
  if (!fromList || lister_->SelectedSequence() != CurrentSequenceRow() + 1) {
    ShowCurrentSequence();
  }
  if (fromList) {
    if (ViewMode == TEventsView::Sequences) SetView(TEventsView::Listing);
    if (EventsListBox->isVisible()) EventsListBox->setFocus();
  }
}

void TChildForm::RedecodeEvents() {
  lister_->Refresh(this);
}

void TChildForm::EventsRead() {
  if (Kiv.EventsReadDate() != 0) lbBufLoadTime->setText(Q(DateTimeToStr(Kiv.EventsReadDate())));
  RedecodeEvents();
  if (EventsListBox->count() > 0 && EventsListBox->selectedItems().isEmpty()) {
    EventsListBox->setCurrentRow(0);
    EventsListClick(false);
  }
}

void TChildForm::ShowLegend() {
  lister_->ShowLegend();
}
