// The settings grid's table: its first row ("def: ...") and first column (the section
// titles) stay in place while the rest scrolls under them, and the user sizes columns by
// dragging a column border in the fixed row (a double-click there fits the column to its
// contents), as in the grids engineers know.
#pragma once

#include <QTableWidget>

class QTableView;

class TZnsGridTable : public QTableWidget {
  Q_OBJECT
 public:
  TZnsGridTable(int rows, int cols, QWidget* parent = nullptr);
  ~TZnsGridTable() override;

  // The views over the fixed row, the fixed column and the corner cell.
  QTableView* FixedRow() const { return fixedRow_; }
  QTableView* FixedColumn() const { return fixedCol_; }
  QTableView* FixedCorner() const { return corner_; }
  // The column whose right border lies within a few pixels of x (viewport coordinates of
  // the fixed row); -1 when none.
  int BorderColumnAt(const QTableView* view, int x) const;
  // The width column c's contents need.
  int ContentWidth(int c) const { return sizeHintForColumn(c); }
  // Fits column c to its contents, within [minimum, maximum] pixels.
  void FitColumn(int c, int minimum = 24, int maximum = 400);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

 private:
  QTableView* MakeFixedView();
  void UpdateFixedViews();

  QTableView* fixedRow_ = nullptr;
  QTableView* fixedCol_ = nullptr;
  QTableView* corner_ = nullptr;
  int dragColumn_ = -1;
  int dragStartX_ = 0;
  int dragStartWidth_ = 0;
};
