#pragma once
// Processing of pending window events from inside a running routine.
#include <functional>

namespace tkr::platform {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Processes the events that are pending now and returns without waiting.
  virtual void doEvents() = 0;
  // Sleeps until at least one event is due, then processes the pending events. The waits
  // of the exchange use this so the CPU stays idle while the reader is silent.
  virtual void waitForEvents() = 0;
  // Queues a call to run from the event loop after the events pending now.
  virtual void post(std::function<void()> task) = 0;
};

}  // namespace tkr::platform
