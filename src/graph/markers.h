// TMarker: one of the graph's two cursors, a small triangle under the plot that the user
// drags along the x axis. It knows the plot rectangle it travels along and the x values
// at its ends; the graph shows its value.
#pragma once

#include <QColor>
#include <QWidget>
#include <functional>
#include <optional>

#include "graphmodel.h"

class TMarker : public QWidget {
  Q_OBJECT

 public:
  explicit TMarker(QWidget* parent);

  QColor LineColor{0, 0x80, 0};
  // "1" or "2": written beside the triangle, on the hairline's top, in the changes list.
  QString Label;

  // While locked the cursor is not moved; EndUpdate repositions it.
  void BeginUpdate() { locked_ = true; }
  void EndUpdate();
  // The plot rectangle in the parent's coordinates.
  void SetRange(const TGraphRect& Range);
  void SetLimits(double Min, double Max);
  // Places the cursor under its value (clamped to the range's ends).
  void Reposition();

  double Value() const { return value_; }
  // Stores the value and repositions; no change notice (that is for dragging).
  void SetValue(double V);
  // The cursor was set or dragged at least once: only then it draws its hairline, so an
  // untouched cursor leaves no line over the axis at 0.
  bool Placed() const { return placed_; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  const TGraphRect& Range() const { return range_; }
  bool Dragging() const { return dragging_; }
  // Asked while dragging with Shift held, with the cursor's x in the parent: the value to
  // snap to, or none to follow the mouse.
  std::function<std::optional<double>(int)> SnapTo;

 signals:
  void Changed(TMarker* Sender);
  void StartDrag(TMarker* Sender);
  void EndDrag(TMarker* Sender);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;

 private:
  // The left edge for a centre at X, kept within 0 .. range.Right + width / 2.
  int ClampedLeft(int X) const;

  TGraphRect range_;
  double min_ = 0.0;
  double max_ = 0.0;
  double value_ = 0.0;
  bool locked_ = false;
  bool dragging_ = false;
  bool placed_ = false;
  QPoint lastMouse_{-32000, -32000};
};
