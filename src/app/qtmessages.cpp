#include "qtmessages.h"

#include <QApplication>
#include <QMessageBox>

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

}  // namespace

void TQtMessageService::Show(MsgIcon icon, const std::string& title, const std::string& text) {
  QWidget* parent =
      QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data();
  QMessageBox box(ToIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

MsgAnswer TQtMessageService::Ask(MsgIcon icon, const std::string& title, const std::string& text,
                                 MsgButtons buttons) {
  QMessageBox::StandardButtons b = QMessageBox::Ok;
  if (buttons == MsgButtons::YesNo) b = QMessageBox::Yes | QMessageBox::No;
  if (buttons == MsgButtons::YesNoCancel)
    b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  QWidget* parent =
      QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data();
  QMessageBox box(ToIcon(icon), QString::fromStdString(title), QString::fromStdString(text), b,
                  parent);
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
