// The registration window's controls behind the small interfaces the Qt-free logic writes
// into: the message list (trace), the sequence list and the event listing.
#pragma once

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <functional>

#include "listersinks.h"
#include "tracelist.h"

class TMemoTrace : public ITraceList {
 public:
  explicit TMemoTrace(QPlainTextEdit* memo) : memo_(memo) {}
  int Count() const override { return count_; }
  void Append(const std::string& line) override;
  void DeleteFirst() override;
  void DeleteLast() override;
  void AppendToLast(const std::string& text) override;

 private:
  QPlainTextEdit* memo_;
  int count_ = 0;
};

class TListBoxSequences : public ISequenceList {
 public:
  TListBoxSequences(QListWidget* list, std::function<void(void*)> onClick)
      : list_(list), onClick_(std::move(onClick)) {}
  void Clear() override { list_->clear(); }
  void Append(const std::string& line) override;
  int Count() const override { return list_->count(); }
  void SetMultiSelect(bool on) override;
  void SetSelected(int index, bool selected) override;
  void RunClick(void* sender) override {
    if (onClick_) onClick_(sender);
  }

 private:
  QListWidget* list_;
  std::function<void(void*)> onClick_;
};

class TMemoListing : public IEventListing {
 public:
  explicit TMemoListing(QTextEdit* memo) : memo_(memo) {}
  void BeginUpdate() override;
  void EndUpdate() override;
  void Clear() override {
    memo_->clear();
    lines_ = 0;
  }
  void AppendLine(const std::string& line, bool bold) override;

 private:
  QTextEdit* memo_;
  int lines_ = 0;
};
