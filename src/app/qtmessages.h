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
  MsgAnswer AskWithDefault(MsgIcon icon, const std::string& title, const std::string& text,
                           MsgButtons buttons, MsgAnswer enterAnswer) override;
  int Choose(MsgIcon icon, const std::string& title, const std::string& text,
             const std::vector<std::string>& choices, int defaultChoice, int escapeChoice) override;

 private:
  QWidget* Parent() const;
  MsgAnswer AskBox(MsgIcon icon, const std::string& title, const std::string& text,
                   MsgButtons buttons, const MsgAnswer* enterAnswer);

  QPointer<QWidget> owner_;
};
