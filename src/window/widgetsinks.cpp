#include "widgetsinks.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

void TMemoTrace::Append(const std::string& line) {
  memo_->appendPlainText(QString::fromStdString(line));
  ++count_;
  memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

void TMemoTrace::DeleteFirst() {
  if (count_ == 0) return;
  if (count_ == 1) {
    memo_->clear();
  } else {
    QTextCursor c(memo_->document()->firstBlock());
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  }
  --count_;
}

void TMemoTrace::DeleteLast() {
  if (count_ == 0) return;
  if (count_ == 1) {
    memo_->clear();
  } else {
    QTextCursor c(memo_->document()->lastBlock());
    c.movePosition(QTextCursor::EndOfBlock);
    c.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  }
  --count_;
}

void TMemoTrace::AppendToLast(const std::string& text) {
  if (count_ == 0) {
    Append(text);
    return;
  }
  QTextCursor c(memo_->document()->lastBlock());
  c.movePosition(QTextCursor::EndOfBlock);
  c.insertText(QString::fromStdString(text));
}

void TListBoxSequences::Append(const std::string& line) {
  list_->addItem(QString::fromStdString(line));
}

void TListBoxSequences::SetMultiSelect(bool on) {
  list_->setSelectionMode(on ? QAbstractItemView::MultiSelection
                             : QAbstractItemView::SingleSelection);
}

void TListBoxSequences::SetSelected(int index, bool selected) {
  if (QListWidgetItem* item = list_->item(index)) {
    item->setSelected(selected);
    if (selected && list_->currentRow() < 0) {
      list_->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    }
  }
}

void TMemoListing::BeginUpdate() {
  memo_->setUpdatesEnabled(false);
}

void TMemoListing::EndUpdate() {
  memo_->setUpdatesEnabled(true);
  memo_->moveCursor(QTextCursor::Start);
}

void TMemoListing::AppendLine(const std::string& line, bool bold) {
  QTextCursor c(memo_->document());
  c.movePosition(QTextCursor::End);
  QTextCharFormat fmt;
  fmt.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  if (lines_ > 0 || !memo_->document()->isEmpty()) c.insertBlock();
  ++lines_;
  c.insertText(QString::fromStdString(line), fmt);
}
