#pragma once
// Pumping the Qt event loop in tests until something has happened.
#include <QDeadlineTimer>
#include <QTest>
#include <functional>

namespace tkr::platform::qt::test {

// Processes events until pred() holds; false if it still does not after `limitMs` (a limit
// against hanging, never a measurement).
inline bool PumpUntil(const std::function<bool()>& pred, int limitMs = 5000) {
  QDeadlineTimer deadline(limitMs);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(2);
  }
  return true;
}

}  // namespace tkr::platform::qt::test
