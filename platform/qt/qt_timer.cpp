#include "platform/qt/qt_timer.h"

namespace tkr::platform::qt {

QtTimer::QtTimer(QObject* parent) : QObject(parent) {
  // The quiet-time and fetch timers run at 100 ms and 10 ms; coarse timers would let them
  // drift by up to 5 %.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (onTimer) onTimer();
  });
}

void QtTimer::arm() {
  timer_.stop();
  if (enabled_ && interval_ > 0) timer_.start(interval_);
}

void QtTimer::setInterval(int ms) {
  interval_ = ms;
  arm();
}

void QtTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  arm();
}

}  // namespace tkr::platform::qt
