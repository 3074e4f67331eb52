#include "widgetsinks.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

// The newest line stays in view, unless the reader has scrolled back to read older ones.
class TFollowEnd {
 public:
  explicit TFollowEnd(QPlainTextEdit* memo)
      : bar_(memo->verticalScrollBar()), atEnd_(bar_->value() >= bar_->maximum() - 1) {}
  ~TFollowEnd() {
    if (atEnd_) bar_->setValue(bar_->maximum());
  }
  TFollowEnd(const TFollowEnd&) = delete;
  TFollowEnd& operator=(const TFollowEnd&) = delete;

 private:
  QScrollBar* bar_;
  bool atEnd_;
};

}  // namespace

void TMemoTrace::Append(const std::string& line) {
  TFollowEnd follow(memo_);
  memo_->appendPlainText(QString::fromStdString(line));
  ++count_;
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
  TFollowEnd follow(memo_);
  QTextCursor c(memo_->document()->lastBlock());
  c.movePosition(QTextCursor::EndOfBlock);
  c.insertText(QString::fromStdString(text));
}

void TListBoxSequences::Append(const std::string& line) {
  list_->addItem(QString::fromStdString(line));
}

void TListBoxSequences::SetMultiSelect(bool on) {
  // Several sequences are picked as everywhere else: Ctrl and Shift with click or arrows.
  list_->setSelectionMode(on ? QAbstractItemView::ExtendedSelection
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
