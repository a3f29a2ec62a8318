#pragma once
// Host-side helpers for the pseudo-terminal tests: a serial port opened the plain POSIX way.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/protocol/bytes.h"

namespace tkr::sim::test {

using namespace std::chrono_literals;

// Generous: the machine is shared, and only a broken reader ever reaches it.
constexpr auto kDeadline = 10s;

// Opens a terminal raw, 8 data bits, no parity, at `speed`; -1 on failure.
inline int OpenRaw(const std::string& path, speed_t speed = B9600) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, speed);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

inline bool WriteAll(int fd, const Bytes& data) {
  return write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

// Reads until done(what came) holds, the other end hangs up, or the deadline passes.
inline Bytes ReadUntil(int fd, const std::function<bool(const Bytes&)>& done,
                       std::chrono::milliseconds deadline = kDeadline) {
  Bytes got;
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!done(got)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[256];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// For state on the reader's thread that shows in no byte: polls it until it holds.
inline bool WaitFor(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline Bytes ReadCount(int fd, std::size_t count) {
  return ReadUntil(fd, [count](const Bytes& b) { return b.size() >= count; });
}

}  // namespace tkr::sim::test
