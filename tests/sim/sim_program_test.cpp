// The reader on a real pseudo-terminal: the tkr520-sim program driven the way a test script or
// an operator drives it (commands on stdin, the device path on the first line of stdout).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

#include "tests/e2e/process.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

using e2e::Sim;
using namespace std::string_literals;
using protocol::test::Hex;

// Generous: the machine is shared, and only a broken program ever reaches it.
constexpr int kDeadlineMs = 10'000;

// Opens a terminal raw, 8 data bits, no parity, at 9600 baud; -1 on failure.
int OpenRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return fd;
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

bool WriteAll(int fd, const Bytes& data) {
  return write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

// Reads `count` bytes, or less when the other end hangs up or nothing comes for a while.
Bytes ReadCount(int fd, std::size_t count) {
  Bytes got;
  char buf[256];
  for (pollfd p{fd, POLLIN, 0}; got.size() < count && poll(&p, 1, kDeadlineMs) > 0;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// For state that changes on the reader's own time and shows in no byte: polls until it holds.
bool WaitFor(const std::function<bool()>& holds) {
  for (int ms = 0; ms < kDeadlineMs && !holds(); ++ms) usleep(1000);
  return holds();
}

TEST(SimProgram, ServesARawTerminalThroughUnplugAndReplug) {
  Sim sim;
  int host = OpenRaw(sim.path);
  ASSERT_GE(host, 0) << sim.path;

  // Host to reader: a frame holding 09, FF, 00, XON, XOFF and CR is obeyed only if it arrives
  // as sent (its LRC); it makes those bytes but the 00 the prefix of track 2.
  const Bytes frame = Hex("09 00 08 70 32 09 FF 00 11 13 0D BA");
  ASSERT_TRUE(WriteAll(host, frame + "9"));
  EXPECT_EQ(ReadCount(host, 12), "^TKR510V1.07");

  // Reader to host: the same bytes as prefix and as track data.
  sim.process.send("swipe + \\x09\\xFF\\x00\\x11\\x13\\x0D *");
  const Bytes swiped = "+\r\t\xFF\x11\x13\r;\t\xFF\x00\x11\x13\r?=\r*\r"s;  // = is the LRC
  EXPECT_EQ(ReadCount(host, swiped.size()), swiped);

  sim.process.send("unplug");
  pollfd p{host, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, kDeadlineMs), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  EXPECT_TRUE(WaitFor([&] { return !Exists(sim.path); }));
  close(host);

  sim.process.send("replug");
  ASSERT_TRUE(WaitFor([&] { return Exists(sim.path); }));
  host = OpenRaw(sim.path);
  ASSERT_TRUE(WriteAll(host, "9"));
  EXPECT_EQ(ReadCount(host, 11), "TKR510V1.07");
  close(host);

  sim.process.send("quit");
  EXPECT_EQ(sim.process.exitCode(), 0);
  EXPECT_FALSE(Exists(sim.path));
}

}  // namespace
}  // namespace tkr::sim
