#pragma once
// A virtual clock and event queue: timers, line deliveries and operator actions run at
// exact virtual times, so a 2 s time-out costs no real time and every run is identical.
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <utility>

#include "platform/event_pump.h"

namespace tkr::platform::fake {

using Micros = std::int64_t;
constexpr Micros kMs = 1000;

// Thrown when a wait would block for ever: nothing is scheduled at all.
struct Stalled : std::runtime_error {
  Stalled() : std::runtime_error("event loop stalled: nothing scheduled") {}
};

class FakeLoop : public EventPump {
 public:
  Micros now() const { return now_; }

  // Queues fn at an absolute virtual time (not before now); returns an id for cancel().
  std::uint64_t schedule(Micros at, std::function<void()> fn);
  std::uint64_t after(Micros delay, std::function<void()> fn) {
    return schedule(now_ + delay, std::move(fn));
  }
  void cancel(std::uint64_t id);

  void doEvents() override;
  void waitForEvents() override;
  void post(std::function<void()> task) override { after(0, std::move(task)); }

  // Top level: runs every event due up to now + span, then leaves the clock there.
  void runFor(Micros span);
  // Top level: runs events until pred() holds or the clock passes now + limit; returns pred().
  bool runUntil(const std::function<bool()>& pred, Micros limit);
  // Counts calls, so tests can tell a wait that pumped from one that did not.
  std::uint64_t waits() const { return waits_; }
  // Runs after each event of a waiting pass (not of doEvents): a real loop may see a line
  // event that became ready after a handler's own pump, before control returns to the wait.
  std::function<void()> afterEachEvent;

 private:
  struct Key {
    Micros at;
    std::uint64_t seq;
    bool operator<(const Key& o) const { return at != o.at ? at < o.at : seq < o.seq; }
  };
  // Runs every event due now that was queued before the call.
  void dispatchDue(bool waiting);  // waiting: a pass of a wait, not of a handler's pump

  Micros now_ = 0;
  std::uint64_t seq_ = 0;
  std::uint64_t waits_ = 0;
  std::map<Key, std::function<void()>> queue_;
  std::map<std::uint64_t, Key> keys_;
};

}  // namespace tkr::platform::fake
