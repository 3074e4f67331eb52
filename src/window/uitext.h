// Small helpers every window of the program shares: our UTF-8 texts as Qt strings, and
// the hints of controls and menu items.
#pragma once

#include <QAction>
#include <QString>
#include <QWidget>
#include <string>

inline QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The short part of a hint (before "|") is the tooltip, the long part goes to the status
// bar; a hint without "|" is both.
inline QString ShortHint(const QString& hint) {
  int bar = hint.indexOf('|');
  return bar < 0 ? hint : hint.left(bar);
}

inline QString LongHint(const QString& hint) {
  int bar = hint.indexOf('|');
  return bar < 0 ? hint : hint.mid(bar + 1);
}

inline void SetHint(QWidget* w, const QString& hint) {
  w->setToolTip(ShortHint(hint));
  w->setStatusTip(LongHint(hint));
}

inline void SetHint(QAction* a, const QString& hint) {
  a->setToolTip(ShortHint(hint));
  a->setStatusTip(LongHint(hint));
}
