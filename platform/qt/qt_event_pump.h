#pragma once
// Pumping the Qt event loop from inside a running routine.
#include "platform/event_pump.h"

namespace tkr::platform::qt {

class QtEventPump : public EventPump {
 public:
  void doEvents() override;
  // Sleeps in the event dispatcher until something is due, so a waiting loop costs no CPU.
  void waitForEvents() override;
  void post(std::function<void()> task) override;
};

}  // namespace tkr::platform::qt
