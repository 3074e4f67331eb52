#include "markers.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

TMarker::TMarker(QWidget* parent) : QWidget(parent) {
  resize(10, 10);
  setAutoFillBackground(true);
  setCursor(Qt::SizeHorCursor);
}

void TMarker::EndUpdate() {
  locked_ = false;
  Reposition();
}

void TMarker::SetRange(const TGraphRect& Range) {
  range_ = Range;
  Reposition();
}

void TMarker::SetLimits(double Min, double Max) {
  min_ = Min;
  max_ = Max;
  Reposition();
}

void TMarker::SetValue(double V) {
  value_ = V;
  placed_ = true;
  Reposition();
}

int TMarker::ClampedLeft(int X) const {
  const int left = X - width() / 2;
  return std::clamp(left, 0, std::max(0, range_.Right + width() / 2));
}

void TMarker::Reposition() {
  if (locked_) return;
  int x = 0;
  if (max_ != min_) {
    x = RoundHalfEvenInt((value_ - min_) / (max_ - min_) * (range_.Right - range_.Left) +
                         range_.Left);
  } else {
    // No span to place a value on: stay where the cursor is.
    x = this->x() + width() / 2;
  }
  move(ClampedLeft(x), range_.Bottom + 1);
  update();
}

void TMarker::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(LineColor, 1));
  const int w = width();
  const int h = height();
  const QPoint tri[] = {{0, h - 1}, {w / 2, 0}, {w, h - 1}, {0, h - 1}};
  p.drawPolyline(tri, 4);
}

void TMarker::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton || dragging_) return;
  dragging_ = true;
  emit StartDrag(this);
  lastMouse_ = {-32000, -32000};
}

void TMarker::mouseMoveEvent(QMouseEvent* Event) {
  if (!dragging_) return;
  const QPoint pos = Event->position().toPoint();
  if (pos.x() == lastMouse_.x()) return;
  lastMouse_ = pos;
  placed_ = true;
  const int x = mapToParent(pos).x();
  if ((Event->modifiers() & Qt::ShiftModifier) && SnapTo) {
    if (const std::optional<double> snapped = SnapTo(x)) {
      value_ = *snapped;
      Reposition();  // the triangle sits on the change itself
      emit Changed(this);
      return;
    }
  }
  if (range_.Right != range_.Left) {
    const double v = (max_ - min_) / (range_.Right - range_.Left) * (x - range_.Left) + min_;
    if (v >= min_ && v <= max_) value_ = v;
  }
  // The triangle follows the mouse even where the value no longer changes.
  move(ClampedLeft(x), this->y());
  emit Changed(this);
}

void TMarker::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  emit EndDrag(this);
}

void TMarker::mouseDoubleClickEvent(QMouseEvent* Event) {
  Event->accept();
}
