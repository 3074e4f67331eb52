// Waiting on the user interface thread: pending events are handled until the time is up,
// so the Cancel button, repainting and the close query keep working during a dialogue.
#pragma once

#include <QElapsedTimer>

#include "commlink.h"

class TQtWaiter : public IWaiter {
 public:
  TQtWaiter() { clock_.start(); }
  void Wait(int ms) override;
  int64_t TickMs() override { return clock_.elapsed(); }

 private:
  QElapsedTimer clock_;
};
