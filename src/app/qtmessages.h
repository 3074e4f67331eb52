// The message service of the program: message boxes and questions as QMessageBox.
#pragma once

#include <QPointer>
#include <QWidget>

#include "messages.h"

class TQtMessageService : public IMessageService {
 public:
  explicit TQtMessageService(QWidget* owner = nullptr) : owner_(owner) {}
  void Show(MsgIcon icon, const std::string& title, const std::string& text) override;
  MsgAnswer Ask(MsgIcon icon, const std::string& title, const std::string& text,
                MsgButtons buttons) override;

 private:
  QPointer<QWidget> owner_;
};
