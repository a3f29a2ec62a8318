#pragma once
// A window timer over QTimer: repeats every interval while enabled, interval 0 never fires,
// and enabling or a new interval starts the interval afresh.
#include <QObject>
#include <QTimer>

#include "platform/timer.h"

namespace tkr::platform::qt {

class QtTimer : public QObject, public Timer {
  Q_OBJECT

 public:
  explicit QtTimer(QObject* parent = nullptr);

  void setInterval(int ms) override;
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }
  // Whether the timer is counting down now (enabled with an interval above 0).
  bool running() const { return timer_.isActive(); }

 private:
  void arm();

  QTimer timer_;
  int interval_ = 0;
  bool enabled_ = false;
};

}  // namespace tkr::platform::qt
