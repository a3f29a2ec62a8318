#include "platform/fake/fake_loop.h"

#include <algorithm>
#include <vector>

namespace tkr::platform::fake {

std::uint64_t FakeLoop::schedule(Micros at, std::function<void()> fn) {
  const Key key{std::max(at, now_), ++seq_};
  queue_.emplace(key, std::move(fn));
  keys_.emplace(key.seq, key);
  return key.seq;
}

void FakeLoop::cancel(std::uint64_t id) {
  auto it = keys_.find(id);
  if (it == keys_.end()) return;
  queue_.erase(it->second);
  keys_.erase(it);
}

void FakeLoop::dispatchDue(bool waiting) {
  const std::uint64_t horizon = seq_;
  std::vector<std::uint64_t> due;
  for (const auto& [key, fn] : queue_) {
    if (key.at > now_) break;
    if (key.seq <= horizon) due.push_back(key.seq);
  }
  // Each event is taken off the queue before it runs: handlers nest (a handler may pump).
  for (std::uint64_t id : due) {
    auto it = keys_.find(id);
    if (it == keys_.end()) continue;  // cancelled by an earlier handler
    auto node = queue_.extract(it->second);
    keys_.erase(it);
    node.mapped()();
    if (waiting && afterEachEvent) afterEachEvent();
  }
}

void FakeLoop::doEvents() {
  dispatchDue(false);
}

void FakeLoop::waitForEvents() {
  ++waits_;
  if (queue_.empty()) throw Stalled();
  now_ = std::max(now_, queue_.begin()->first.at);
  dispatchDue(true);
}

void FakeLoop::runFor(Micros span) {
  const Micros end = now_ + span;
  while (!queue_.empty() && queue_.begin()->first.at <= end) {
    now_ = std::max(now_, queue_.begin()->first.at);
    dispatchDue(true);
  }
  now_ = std::max(now_, end);
}

bool FakeLoop::runUntil(const std::function<bool()>& pred, Micros limit) {
  const Micros end = now_ + limit;
  while (!pred()) {
    if (queue_.empty() || queue_.begin()->first.at > end) {
      now_ = std::max(now_, end);
      return pred();
    }
    now_ = std::max(now_, queue_.begin()->first.at);
    dispatchDue(true);
  }
  return true;
}

}  // namespace tkr::platform::fake
