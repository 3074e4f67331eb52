#include "qtmessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon ToIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

QMessageBox::StandardButton ToStandardButton(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::Ok:
      return QMessageBox::Ok;
    case MsgAnswer::Yes:
      return QMessageBox::Yes;
    case MsgAnswer::No:
      return QMessageBox::No;
    case MsgAnswer::Cancel:
      break;
  }
  return QMessageBox::Cancel;
}

}  // namespace

QWidget* TQtMessageService::Parent() const {
  return QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data();
}

void TQtMessageService::Show(MsgIcon icon, const std::string& title, const std::string& text) {
  QMessageBox box(ToIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, Parent());
  box.exec();
}

MsgAnswer TQtMessageService::Ask(MsgIcon icon, const std::string& title, const std::string& text,
                                 MsgButtons buttons) {
  return AskBox(icon, title, text, buttons, nullptr);
}

MsgAnswer TQtMessageService::AskWithDefault(MsgIcon icon, const std::string& title,
                                            const std::string& text, MsgButtons buttons,
                                            MsgAnswer enterAnswer) {
  return AskBox(icon, title, text, buttons, &enterAnswer);
}

MsgAnswer TQtMessageService::AskBox(MsgIcon icon, const std::string& title, const std::string& text,
                                    MsgButtons buttons, const MsgAnswer* enterAnswer) {
  QMessageBox::StandardButtons b = QMessageBox::Ok;
  if (buttons == MsgButtons::YesNo) b = QMessageBox::Yes | QMessageBox::No;
  if (buttons == MsgButtons::YesNoCancel)
    b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  QMessageBox box(ToIcon(icon), QString::fromStdString(title), QString::fromStdString(text), b,
                  Parent());
  if (enterAnswer) box.setDefaultButton(ToStandardButton(*enterAnswer));
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    case QMessageBox::Ok:
      return MsgAnswer::Ok;
    default:
      return MsgAnswer::Cancel;
  }
}

int TQtMessageService::Choose(MsgIcon icon, const std::string& title, const std::string& text,
                              const std::vector<std::string>& choices, int defaultChoice,
                              int escapeChoice) {
  QMessageBox box(ToIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::NoButton, Parent());
  std::vector<QPushButton*> buttons;
  for (size_t i = 0; i < choices.size(); ++i) {
    const bool escape = static_cast<int>(i) == escapeChoice;
    buttons.push_back(box.addButton(QString::fromStdString(choices[i]),
                                    escape ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
  }
  const int count = static_cast<int>(buttons.size());
  if (defaultChoice >= 0 && defaultChoice < count)
    box.setDefaultButton(buttons[static_cast<size_t>(defaultChoice)]);
  if (escapeChoice >= 0 && escapeChoice < count)
    box.setEscapeButton(buttons[static_cast<size_t>(escapeChoice)]);
  box.exec();
  for (int i = 0; i < count; ++i) {
    if (box.clickedButton() == buttons[static_cast<size_t>(i)]) return i;
  }
  return escapeChoice;
}
