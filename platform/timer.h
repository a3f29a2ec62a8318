#pragma once
// A window timer: fires every interval while enabled; interval 0 never fires.
// Enabling a disabled timer or changing the interval starts the interval afresh.
#include <functional>

namespace tkr::platform {

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void setInterval(int ms) = 0;
  virtual int interval() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool enabled() const = 0;

  std::function<void()> onTimer;
};

}  // namespace tkr::platform
