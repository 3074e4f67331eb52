#include "changesdlg.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

TChangesDialog::TChangesDialog(const std::vector<TStateChange>& Changes, double X1, double X2,
                               QWidget* parent)
    : QDialog(parent), changes_(Changes) {
  setWindowTitle(QStringLiteral("Changes between cursors"));
  auto* layout = new QVBoxLayout(this);
  // Each cursor by its own name, whichever lies left.
  auto* span = new QLabel(QStringLiteral("x1= %1   x2= %2   %3 changes")
                              .arg(QString::fromStdString(CursorValueText(X1)),
                                   QString::fromStdString(CursorValueText(X2)))
                              .arg(changes_.size()),
                          this);
  span->setObjectName(QStringLiteral("lbSpan"));
  layout->addWidget(span);

  const std::vector<std::string> lines = StateChangeLines(changes_);
  const QStringList header = QString::fromStdString(lines.front()).split(QLatin1Char('\t'));
  table_ =
      new QTableWidget(static_cast<int>(changes_.size()), static_cast<int>(header.size()), this);
  table_->setObjectName(QStringLiteral("ChangesTable"));
  table_->setHorizontalHeaderLabels(header);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (size_t r = 1; r < lines.size(); ++r) {
    const QStringList cells = QString::fromStdString(lines[r]).split(QLatin1Char('\t'));
    for (int c = 0; c < cells.size() && c < header.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == 0 || c == 3) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(static_cast<int>(r - 1), c, item);
    }
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
  copy->setObjectName(QStringLiteral("btnCopy"));
  connect(copy, &QPushButton::clicked, this, [this] { CopyToClipboard(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 360);
}

QString TChangesDialog::Text() const {
  QString text;
  for (const std::string& line : StateChangeLines(changes_)) {
    text += QString::fromStdString(line);
    text += QLatin1Char('\n');
  }
  return text;
}

void TChangesDialog::CopyToClipboard() const {
  QGuiApplication::clipboard()->setText(Text());
}

void TChangesDialog::keyPressEvent(QKeyEvent* Event) {
  // Ctrl+C copies the whole list, as the Copy button does.
  if (Event->matches(QKeySequence::Copy)) {
    CopyToClipboard();
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}
