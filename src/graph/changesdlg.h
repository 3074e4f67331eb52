// TChangesDialog: the state changes of the drawn series between the graph's two cursors
// (Graph -> "Changes between cursors"), one line each, copyable as text for a report.
#pragma once

#include <QDialog>
#include <vector>

#include "graphmodel.h"

class QTableWidget;

class TChangesDialog : public QDialog {
  Q_OBJECT

 public:
  TChangesDialog(const std::vector<TStateChange>& Changes, double X1, double X2,
                 QWidget* parent = nullptr);
  // The list as tab-separated text lines (header first), as Copy puts it on the clipboard.
  QString Text() const;
  void CopyToClipboard() const;
  QTableWidget* Table() const { return table_; }

 protected:
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  std::vector<TStateChange> changes_;
  QTableWidget* table_ = nullptr;
};
