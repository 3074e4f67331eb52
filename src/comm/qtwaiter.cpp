#include "qtwaiter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

void TQtWaiter::Wait(int ms) {
  if (ms <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  QDeadlineTimer deadline(ms, Qt::PreciseTimer);
  if (!QCoreApplication::instance()) {
    QThread::msleep(static_cast<unsigned long>(ms));
    return;
  }
  // A timer due at the deadline wakes the event wait, so the loop sleeps between events
  // instead of spinning.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(ms);
  while (!deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
