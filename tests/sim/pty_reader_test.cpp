#include "sim/pty_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "tests/protocol/hex_bytes.h"
#include "tests/sim/pty_io.h"

namespace tkr::sim {
namespace {

using protocol::test::Hex;
using namespace test;

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

PtyReader::Options LinkedAt(const std::string& link) {
  PtyReader::Options options;
  options.linkPath = link;
  return options;
}

// Closes the host's descriptor however the test ends.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

TEST(PtyReader, AnswersTheVersionOverARawTerminal) {
  PtyReader reader;
  Fd host{OpenRaw(reader.path())};
  ASSERT_GE(host.fd, 0) << reader.path();
  ASSERT_TRUE(WriteAll(host.fd, "9"));
  EXPECT_EQ(ReadCount(host.fd, 11), "TKR510V1.07");
  EXPECT_EQ(reader.received(), std::vector<Bytes>{"9"});
}

TEST(PtyReader, SwipeReachesTheOpenTerminal) {
  PtyReader reader;
  Fd host{OpenRaw(reader.path())};
  ASSERT_GE(host.fd, 0);
  // The reader learns that a host listens when it first hears it.
  ASSERT_TRUE(WriteAll(host.fd, "z"));
  ASSERT_EQ(ReadCount(host.fd, 1), "^");
  reader.swipe(SampleCards()[2]);
  const Bytes expected = "%B5500000000000004^SMITH/ANN^2706101?J\r;5500000000000004=2706101?>\r*\r";
  EXPECT_EQ(ReadCount(host.fd, expected.size()), expected);
}

TEST(PtyReader, EveryByteValueCrossesUnchanged) {
  // A garbage reader sends 0x00, 0xFF and control bytes; a model with the same seed tells
  // which, so the terminal must pass them raw both ways.
  ReaderModel twin(5);
  twin.setFault(Fault::Garbage);
  const Bytes frame = Hex("09 00 08 70 32 09 FF 00 11 13 0D BA");
  Bytes expected;
  for (const Bytes& cmd : {frame, Bytes("9")}) expected += twin.hostWrote(cmd).at(0).bytes;

  PtyReader::Options options;
  options.seed = 5;
  PtyReader reader(options);
  reader.setFault(Fault::Garbage);
  Fd host{OpenRaw(reader.path())};
  ASSERT_GE(host.fd, 0);
  ASSERT_TRUE(WriteAll(host.fd, frame + "9"));
  EXPECT_EQ(ReadCount(host.fd, expected.size()), expected);
  EXPECT_EQ(reader.received(), (std::vector<Bytes>{frame, "9"}));
  EXPECT_EQ(reader.config().prefix[1], Hex("09 FF 11 13 0D"));
}

TEST(PtyReader, HostAtAnotherSpeedIsIgnored) {
  PtyReader reader;
  Fd host{OpenRaw(reader.path(), B19200)};
  ASSERT_GE(host.fd, 0);
  ASSERT_TRUE(WriteAll(host.fd, "9"));
  ASSERT_TRUE(WaitFor([&] { return reader.ignoredBytes() == 1; }));
  termios t{};
  ASSERT_EQ(tcgetattr(host.fd, &t), 0);
  cfsetspeed(&t, B9600);
  ASSERT_EQ(tcsetattr(host.fd, TCSANOW, &t), 0);
  ASSERT_TRUE(WriteAll(host.fd, "T"));
  // Only the second command is answered: an answer to the first would have come first.
  EXPECT_EQ(ReadCount(host.fd, 1), "0");
  EXPECT_EQ(reader.received(), std::vector<Bytes>{"T"});
}

TEST(PtyReader, UnplugHangsUpTheHostAndReplugServesAgain) {
  PtyReader reader;
  const std::string first = reader.devicePath();
  Fd host{OpenRaw(reader.path())};
  ASSERT_GE(host.fd, 0);
  reader.unplug();
  EXPECT_FALSE(reader.plugged());
  EXPECT_FALSE(Exists(reader.path()));
  pollfd p{host.fd, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  close(host.fd);
  host.fd = -1;

  reader.replug();
  EXPECT_TRUE(reader.plugged());
  EXPECT_TRUE(Exists(reader.path()));
  Fd again{OpenRaw(reader.path())};
  ASSERT_GE(again.fd, 0);
  ASSERT_TRUE(WriteAll(again.fd, "9"));
  EXPECT_EQ(ReadCount(again.fd, 11), "TKR510V1.07");
  EXPECT_FALSE(first.empty());
}

TEST(PtyReader, ChosenLinkPathAndCleanStop) {
  char dir[] = "/tmp/tkr-sim-test.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/COM7";
  {
    PtyReader reader(LinkedAt(link));
    EXPECT_EQ(reader.path(), link);
    EXPECT_TRUE(Exists(link));
    reader.stop();
    EXPECT_FALSE(Exists(link));
    reader.stop();  // a second stop, then the destructor's, change nothing
  }
  // A real file in the way is never replaced by the link.
  std::ofstream(link) << "keep";
  EXPECT_THROW(PtyReader{LinkedAt(link)}, std::system_error);
  EXPECT_TRUE(Exists(link));
  unlink(link.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace tkr::sim
