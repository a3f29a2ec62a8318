// The reader on a real pseudo-terminal: the tkr520-sim program driven the way a test script or
// an operator drives it (commands on stdin, the device path on the first line of stdout).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

#include "sim/sim_command.h"
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

// What a vanish command waits for, "-" for a line that is refused; and the foreign device.
TEST(SimProgram, VanishCodesAndTheForeignFault) {
  struct Row {
    const char* line;
    Bytes code;
  };
  const Row rows[] = {
      {"vanish BZ", "BZ"}, {"vanish T", "T"},   {"vanish 7F", "\x7F"}, {"vanish \\x1B", "\x1B"},
      {"vanish", "-"},     {"vanish RE1", "-"}, {"vanish \\x09", "-"}, {"vanish BZ DF", "-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const SimCommand c = ParseSimCommand(row.line);
    EXPECT_EQ(c.kind == SimCommand::Kind::Vanish ? c.code : "-", row.code);
  }
  EXPECT_EQ(ParseSimCommand("foreign").fault, Fault::Foreign);
}

// The program takes its commands in order: once `config` has answered, the ones before it hold.
void Settle(e2e::Process& sim) {
  sim.send("config");
  ASSERT_TRUE(sim.readUntil("END").found);
}

const Bytes kRE1 = Hex("09 00 03 52 45 31 2C");

// A device that is no reader, then a reader that answers the configuration read and hears
// nothing more: not the command written right behind it, and at the next it is gone.
TEST(SimProgram, PlaysAForeignDeviceAndVanishesAfterAnAnswer) {
  Sim sim;
  const int host = OpenRaw(sim.path);
  ASSERT_GE(host, 0) << sim.path;
  sim.process.send("foreign");
  Settle(sim.process);
  ASSERT_TRUE(WriteAll(host, "9" + kRE1));
  EXPECT_EQ(ReadCount(host, 11), "OK\r\nERROR\r\n");

  sim.process.send("normal");
  sim.process.send("vanish RE");
  Settle(sim.process);
  ASSERT_TRUE(WriteAll(host, kRE1 + "9"));
  EXPECT_EQ(ReadCount(host, 8), "80007134");
  ASSERT_TRUE(WriteAll(host, "T"));
  pollfd p{host, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, kDeadlineMs), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  EXPECT_TRUE(WaitFor([&] { return !Exists(sim.path); }));
  close(host);
  EXPECT_EQ(sim.heard(2), std::vector<std::string>{"09 00 03 52 45 31 2C"});
}

// A second reader with other settings that appears at its path only when replugged, and the
// start options that end at once.
TEST(SimProgram, StartOptions) {
  {
    e2e::Process sim(e2e::Binary("tkr520-sim"),
                     {"--unplugged", "--config", "buzzer=0,protocol=2", "--config=lrc=0"});
    const std::string path = sim.readLine();
    EXPECT_FALSE(Exists(path));
    sim.send("replug");
    ASSERT_TRUE(WaitFor([&] { return Exists(path); }));
    const int host = OpenRaw(path);
    ASSERT_TRUE(WriteAll(host, kRE1));
    EXPECT_EQ(ReadCount(host, 8), "C0C07034");  // no LRC, protocol 2, buzzer off
    close(host);
    sim.send("quit");
    EXPECT_EQ(sim.exitCode(), 0);
  }
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {"version", {"--version"}, "tkr520-sim " TKR_VERSION, 0},
      {"a setting out of range", {"--config", "buzzer=2"}, "", 2},
      {"no such setting", {"--config", "volume=1"}, "", 2},
      {"unplugged with no way to replug", {"--unplugged", "--no-stdin"}, "", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    e2e::Process sim(e2e::Binary("tkr520-sim"), row.args);
    EXPECT_EQ(sim.readLine(), row.out);
    EXPECT_EQ(sim.exitCode(), row.status);
  }
}

}  // namespace
}  // namespace tkr::sim
