#pragma once
// Pumping the Qt event loop in tests until something has happened; pseudo-terminals.
#include <QDeadlineTimer>
#include <QTest>
#include <functional>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
// A pseudo-terminal held open by the test; path names its device end.
struct PtySlave {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  std::string path =
      master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
  PtySlave() = default;
  PtySlave(const PtySlave&) = delete;
  PtySlave& operator=(const PtySlave&) = delete;
  ~PtySlave() { close(master); }
};
#endif

}  // namespace tkr::platform::qt::test
