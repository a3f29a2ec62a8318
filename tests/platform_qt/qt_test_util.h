#pragma once
// Pumping the Qt event loop in tests until something has happened; pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QTest>
#include <functional>
#include <string>

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

// A pseudo-terminal held by the test: master is the far end, path names the device end.
struct Pty {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::string path =
      master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
  int slave = -1;  // the device end, when the test holds it open as well
  ~Pty() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  int openSlave() { return slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
  bool write(const std::string& data) const {
    return ::write(master, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  }
  // What the port has written so far, without waiting.
  std::string drain() const {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
    return out;
  }
  // Waits for `count` bytes without running the Qt event loop.
  std::string read(std::size_t count) const {
    std::string out = drain();
    for (pollfd p{master, POLLIN, 0}; out.size() < count && ::poll(&p, 1, 5000) > 0;) {
      const std::string more = drain();
      if (more.empty()) break;  // hung up
      out += more;
    }
    return out;
  }
};

}  // namespace tkr::platform::qt::test
