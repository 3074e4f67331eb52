#include "znsgrid.h"

#include <algorithm>
#include <cstdlib>

#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>

namespace {

constexpr int kBorderGrip = 4;  // pixels either side of a column border that grab it

}  // namespace

TZnsGridTable::TZnsGridTable(int rows, int cols, QWidget* parent)
    : QTableWidget(rows, cols, parent) {
  // Pixel scrolling: the cells pass under the fixed row and column instead of jumping.
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerPixel);
  fixedRow_ = MakeFixedView();
  fixedCol_ = MakeFixedView();
  corner_ = MakeFixedView();
  fixedRow_->setObjectName("ZnsGridFixedRow");
  fixedCol_->setObjectName("ZnsGridFixedColumn");
  corner_->setObjectName("ZnsGridFixedCorner");

  // The fixed views follow the grid's scrolling in their own direction.
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, fixedRow_->horizontalScrollBar(),
          &QScrollBar::setValue);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, fixedCol_->verticalScrollBar(),
          &QScrollBar::setValue);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int c, int, int size) {
    for (QTableView* v : {fixedRow_, fixedCol_, corner_}) v->setColumnWidth(c, size);
    UpdateFixedViews();
  });
  connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int r, int, int size) {
    for (QTableView* v : {fixedRow_, fixedCol_, corner_}) v->setRowHeight(r, size);
    UpdateFixedViews();
  });
  auto rowsOrColumnsChanged = [this] { UpdateFixedViews(); };
  connect(model(), &QAbstractItemModel::rowsInserted, this, rowsOrColumnsChanged);
  connect(model(), &QAbstractItemModel::columnsInserted, this, rowsOrColumnsChanged);
  connect(model(), &QAbstractItemModel::rowsRemoved, this, rowsOrColumnsChanged);
  connect(model(), &QAbstractItemModel::columnsRemoved, this, rowsOrColumnsChanged);
  UpdateFixedViews();
}

TZnsGridTable::~TZnsGridTable() {
  // The model and headers go after this part of the object: nothing of theirs may reach
  // the fixed views any more.
  disconnect(model(), nullptr, this, nullptr);
  disconnect(horizontalHeader(), nullptr, this, nullptr);
  disconnect(verticalHeader(), nullptr, this, nullptr);
  for (QTableView* v : {fixedRow_, fixedCol_, corner_}) v->viewport()->removeEventFilter(this);
  fixedRow_ = fixedCol_ = corner_ = nullptr;
}

QTableView* TZnsGridTable::MakeFixedView() {
  auto* v = new QTableView(this);
  v->setModel(model());
  v->horizontalHeader()->hide();
  v->verticalHeader()->hide();
  v->setFocusPolicy(Qt::NoFocus);
  v->setSelectionMode(QAbstractItemView::NoSelection);
  v->setEditTriggers(QAbstractItemView::NoEditTriggers);
  v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  v->setHorizontalScrollMode(ScrollPerPixel);
  v->setVerticalScrollMode(ScrollPerPixel);
  v->setFrameShape(QFrame::NoFrame);
  v->setMouseTracking(true);
  v->viewport()->setMouseTracking(true);
  v->viewport()->installEventFilter(this);
  viewport()->stackUnder(v);
  v->show();
  return v;
}

void TZnsGridTable::UpdateFixedViews() {
  if (!fixedRow_ || !fixedCol_ || !corner_) return;
  const int rows = rowCount(), cols = columnCount();
  for (QTableView* v : {fixedRow_, fixedCol_, corner_}) {
    v->setFont(font());
    v->setShowGrid(showGrid());
  }
  for (int c = 0; c < cols; ++c) {
    const int w = columnWidth(c);
    fixedCol_->setColumnHidden(c, c != 0);
    corner_->setColumnHidden(c, c != 0);
    fixedRow_->setColumnHidden(c, false);
    for (QTableView* v : {fixedRow_, fixedCol_, corner_}) {
      if (v->columnWidth(c) != w && !v->isColumnHidden(c)) v->setColumnWidth(c, w);
    }
  }
  for (int r = 0; r < rows; ++r) {
    const int h = rowHeight(r);
    fixedRow_->setRowHidden(r, r != 0);
    corner_->setRowHidden(r, r != 0);
    fixedCol_->setRowHidden(r, false);
    for (QTableView* v : {fixedRow_, fixedCol_, corner_}) {
      if (v->rowHeight(r) != h && !v->isRowHidden(r)) v->setRowHeight(r, h);
    }
  }
  const QRect vp = viewport()->geometry();
  const int w0 = cols > 0 ? columnWidth(0) : 0;
  const int h0 = rows > 0 ? rowHeight(0) : 0;
  fixedRow_->setGeometry(vp.x(), vp.y(), vp.width(), std::min(h0, vp.height()));
  fixedCol_->setGeometry(vp.x(), vp.y(), std::min(w0, vp.width()), vp.height());
  corner_->setGeometry(vp.x(), vp.y(), std::min(w0, vp.width()), std::min(h0, vp.height()));
  fixedRow_->setVisible(rows > 0);
  fixedCol_->setVisible(cols > 0);
  corner_->setVisible(rows > 0 && cols > 0);
  corner_->raise();
  fixedRow_->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
  fixedCol_->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void TZnsGridTable::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  UpdateFixedViews();
}

int TZnsGridTable::BorderColumnAt(const QTableView* view, int x) const {
  for (int c = 0; c < columnCount(); ++c) {
    if (view->isColumnHidden(c)) continue;
    const int right = view->columnViewportPosition(c) + view->columnWidth(c);
    if (std::abs(x - right) <= kBorderGrip) return c;
  }
  return -1;
}

void TZnsGridTable::FitColumn(int c, int minimum, int maximum) {
  if (c < 0 || c >= columnCount()) return;
  int w = sizeHintForColumn(c);
  setColumnWidth(c, std::clamp(w, minimum, maximum));
}

bool TZnsGridTable::eventFilter(QObject* watched, QEvent* event) {
  QTableView* view = nullptr;
  for (QTableView* v : {fixedRow_, corner_, fixedCol_}) {
    if (v && watched == v->viewport()) view = v;
  }
  if (!view) return QTableWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Wheel:
      // The fixed parts do not scroll by themselves: the grid does, and they follow.
      QCoreApplication::sendEvent(viewport(), event);
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      break;
    default:
      return QTableWidget::eventFilter(watched, event);
  }
  auto* me = static_cast<QMouseEvent*>(event);
  const int x = me->position().toPoint().x();
  // Column borders are grabbed in the fixed row and the corner, as in a header.
  const bool sizing = view != fixedCol_ || me->position().toPoint().y() < rowHeight(0);
  const int border = sizing ? BorderColumnAt(view, x) : -1;
  switch (event->type()) {
    case QEvent::MouseMove:
      if (dragColumn_ >= 0) {
        setColumnWidth(dragColumn_, std::max(8, dragStartWidth_ + x - dragStartX_));
        return true;
      }
      view->viewport()->setCursor(border >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
      return true;
    case QEvent::MouseButtonPress:
      if (me->button() == Qt::LeftButton && border >= 0) {
        dragColumn_ = border;
        dragStartX_ = x;
        dragStartWidth_ = columnWidth(border);
      }
      return true;
    case QEvent::MouseButtonRelease:
      dragColumn_ = -1;
      return true;
    case QEvent::MouseButtonDblClick:
      if (me->button() == Qt::LeftButton && border >= 0) FitColumn(border);
      return true;
    default:
      return true;
  }
}

void TZnsGridTable::scrollTo(const QModelIndex& index, ScrollHint hint) {
  QTableWidget::scrollTo(index, hint);
  if (!index.isValid()) return;
  // A cell reached by the keyboard must not stay hidden under the fixed row or column.
  const int w0 = columnWidth(0), h0 = rowHeight(0);
  if (index.column() > 0) {
    const int left = columnViewportPosition(index.column());
    if (left < w0) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (w0 - left));
  }
  if (index.row() > 0) {
    const int top = rowViewportPosition(index.row());
    if (top < h0) verticalScrollBar()->setValue(verticalScrollBar()->value() - (h0 - top));
  }
}

QModelIndex TZnsGridTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  QModelIndex next = QTableWidget::moveCursor(action, modifiers);
  // The fixed row and column cannot be entered.
  if (next.isValid() && (next.row() == 0 || next.column() == 0)) {
    const QModelIndex here = currentIndex();
    if (here.isValid() && here.row() > 0 && here.column() > 0) return here;
    return model()->index(std::max(1, next.row()), std::max(1, next.column()));
  }
  return next;
}
