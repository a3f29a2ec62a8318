// The reader on a real pseudo-terminal: the tkr520-sim program driven the way a test script or
// an operator drives it (commands on stdin, the device path on the first line of stdout), and
// the PtyReader it serves with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/pty_reader.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

// Generous: the machine is shared, and only a broken program ever reaches it.
constexpr int kDeadlineMs = 10'000;

// Opens a terminal raw, 8 data bits, no parity, at `speed`; -1 on failure.
int OpenRaw(const std::string& path, speed_t speed = B9600) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return fd;
  cfmakeraw(&t);
  cfsetspeed(&t, speed);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

bool WriteAll(int fd, const Bytes& data) {
  return write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

// Reads until done(what came) holds, the other end hangs up, or nothing comes for a while.
Bytes ReadUntil(int fd, const std::function<bool(const Bytes&)>& done) {
  Bytes got;
  char buf[256];
  for (pollfd p{fd, POLLIN, 0}; !done(got) && poll(&p, 1, kDeadlineMs) > 0;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

Bytes ReadCount(int fd, std::size_t count) {
  return ReadUntil(fd, [count](const Bytes& b) { return b.size() >= count; });
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

// The program with its stdin and its stdout and stderr (together) on pipes.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int in[2], out[2];
    EXPECT_EQ(pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC), 0);
    args.insert(args.begin(), TKR_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if ((pid_ = fork()) == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      execv(TKR_SIM_PROGRAM, argv.data());
      _exit(127);
    }
    EXPECT_GT(pid_, 0);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Program() {
    close(stdin_);
    close(stdout_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  void closeInput() { close(stdin_), stdin_ = -1; }
  void signal(int sig) { kill(pid_, sig); }
  void say(const std::string& line) { EXPECT_TRUE(WriteAll(stdin_, line + "\n")); }
  std::string firstLine() {
    output = ReadUntil(stdout_, [](const Bytes& b) { return b.find('\n') != Bytes::npos; });
    return output.substr(0, output.find('\n'));
  }
  // Waits for the program to close its output (it has ended), then reaps it.
  int exitStatus() {
    output += ReadUntil(stdout_, [](const Bytes&) { return false; });
    int status = -1;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  Bytes output;  // what has been read so far

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
};

TEST(SimProgram, ServesARawTerminalThroughUnplugAndReplug) {
  Program sim({});
  const std::string path = sim.firstLine();
  ASSERT_TRUE(Exists(path)) << path;
  int host = OpenRaw(path);
  ASSERT_GE(host, 0) << path;

  // Host to reader: a frame holding 09, FF, 00, XON, XOFF and CR is obeyed only if it arrives
  // as sent (its LRC); it makes those bytes but the 00 the prefix of track 2.
  const Bytes frame = protocol::test::Hex("09 00 08 70 32 09 FF 00 11 13 0D BA");
  ASSERT_TRUE(WriteAll(host, frame + "9"));
  EXPECT_EQ(ReadCount(host, 12), "^TKR510V1.07");

  // Reader to host: the same bytes as prefix and as track data.
  sim.say("swipe + \\x09\\xFF\\x00\\x11\\x13\\x0D *");
  ReaderModel twin;
  twin.hostWrote(frame);
  const Bytes swiped = twin.swipe(Card{"", '3', false, {Track::None(), Track::Of(protocol::test::Hex("09 FF 00 11 13 0D")), Track::Bad()}});
  ASSERT_EQ(swiped.substr(0, 8), "+\r\t\xFF\x11\x13\r;");
  EXPECT_EQ(ReadCount(host, swiped.size()), swiped);

  sim.say("unplug");
  pollfd p{host, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, kDeadlineMs), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  EXPECT_TRUE(WaitFor([&] { return !Exists(path); }));
  close(host);

  sim.say("replug");
  ASSERT_TRUE(WaitFor([&] { return Exists(path); }));
  host = OpenRaw(path);
  ASSERT_GE(host, 0);
  ASSERT_TRUE(WriteAll(host, "9"));
  EXPECT_EQ(ReadCount(host, 11), "TKR510V1.07");

  sim.say("quit");
  EXPECT_EQ(sim.exitStatus(), 0);
  EXPECT_FALSE(Exists(path));
  close(host);
}

TEST(PtyReader, HostAtAnotherSpeedIsIgnored) {
  PtyReader reader;
  const int host = OpenRaw(reader.path(), B19200);
  ASSERT_GE(host, 0);
  ASSERT_TRUE(WriteAll(host, "9"));
  ASSERT_TRUE(WaitFor([&] { return reader.ignoredBytes() == 1; }));
  termios t{};
  tcgetattr(host, &t);
  cfsetspeed(&t, B9600);
  tcsetattr(host, TCSANOW, &t);
  ASSERT_TRUE(WriteAll(host, "T"));
  // Only the second command is answered: an answer to the first would have come first.
  EXPECT_EQ(ReadCount(host, 1), "0");
  EXPECT_EQ(reader.received(), std::vector<Bytes>{"T"});
  close(host);
}

// In the background: no commands, still answering after stdin is gone, ends on SIGTERM.
TEST(SimProgram, NoStdinServesUntilTerminated) {
  Program sim({"--no-stdin"});
  const std::string path = sim.firstLine();
  sim.closeInput();
  const int host = OpenRaw(path);
  ASSERT_GE(host, 0) << path;
  ASSERT_TRUE(WriteAll(host, "9"));
  EXPECT_EQ(ReadCount(host, 11), "TKR510V1.07");
  close(host);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.exitStatus(), 0);
  EXPECT_FALSE(Exists(path));
}

TEST(SimProgram, BadOptionIsOneLineAndStatusTwo) {
  Program sim({"--frobnicate"});
  EXPECT_EQ(sim.exitStatus(), 2);
  EXPECT_NE(sim.output.find("--frobnicate"), std::string::npos);
  EXPECT_EQ(sim.output.find('\n'), sim.output.size() - 1);
}

}  // namespace
}  // namespace tkr::sim
