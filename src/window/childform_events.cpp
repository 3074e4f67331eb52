#include "childform.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kivdate.h"
#include "lister.h"
#include "uitext.h"

// The events page: the sequence list, the listing of the current sequence and its graph.

void TChildForm::BuildEventsPage() {
  auto* page = new QWidget;
  Panel3 = new QWidget(page);
  Panel3->setObjectName("Panel3");
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(Panel3);
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
  Graph->setParent(Panel3);
  Graph->setObjectName("Graph");
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
  int quarter = h / 4;
  const bool all = ViewMode == TEventsView::All;
  EventsListBox->setVisible(all || ViewMode == TEventsView::Sequences);
  FMemo->setVisible(all || ViewMode == TEventsView::Listing);
  Graph->setVisible(all || ViewMode == TEventsView::Graph);
  switch (ViewMode) {
    case TEventsView::All:
      EventsListBox->setGeometry(0, 0, w, quarter);
      FMemo->setGeometry(0, quarter, w, quarter);
      Graph->setGeometry(0, 2 * quarter, w, h - 2 * quarter);
      break;
    case TEventsView::Sequences:
      EventsListBox->setGeometry(0, 0, w, h);
      break;
    case TEventsView::Graph:
      Graph->setGeometry(0, 0, w, h);
      break;
    case TEventsView::Listing:
      FMemo->setGeometry(0, 0, w, h);
      break;
  }
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
