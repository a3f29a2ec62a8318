#include "sim/in_process.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

using platform::fake::FakeLoop;
using platform::fake::FakeSerialPort;
using platform::fake::kMs;
using protocol::test::Hex;

constexpr int kCom = 3;
// One start bit, eight data bits, one stop bit at 9600 baud, rounded to the microsecond.
constexpr Micros kChar9600 = 1042;

struct Arrival {
  Micros at;
  Bytes bytes;
};

// A host on COM3 that notes when each delivery arrives.
class InProcessTest : public ::testing::Test {
 protected:
  InProcessTest() {
    reader.attachTo(port, kCom);
    port.setCommPort(kCom);
    port.onComm = [this] {
      if (port.commEvent() == platform::comEvReceive)
        arrivals.push_back({loop.now(), port.input()});
      events.push_back(port.commEvent());
    };
  }

  void open(const char* settings = "9600,n,8,1") {
    port.setSettings(settings);
    ASSERT_TRUE(port.setPortOpen(true));
  }

  Bytes received() const {
    Bytes all;
    for (const auto& a : arrivals) all += a.bytes;
    return all;
  }

  FakeLoop loop;
  FakeSerialPort port{loop};
  InProcessReader reader{loop};
  std::vector<Arrival> arrivals;
  std::vector<int> events;
};

TEST_F(InProcessTest, AnswerComesOneBytePerCharacterTime) {
  open();
  ASSERT_EQ(port.characterTime(), kChar9600);
  port.output("9");
  loop.runFor(100 * kMs);
  const Bytes version = "TKR510V1.07";
  ASSERT_EQ(arrivals.size(), version.size());
  // The command lands after one character, the reader thinks for 2 ms, then the first byte
  // needs a character time of its own.
  EXPECT_EQ(arrivals[0].at, kChar9600 + 2 * kMs + kChar9600);
  for (std::size_t i = 0; i < arrivals.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(arrivals[i].bytes, version.substr(i, 1));
    if (i > 0) {
      EXPECT_EQ(arrivals[i].at - arrivals[i - 1].at, kChar9600);
    }
  }
  EXPECT_EQ(reader.received(), std::vector<Bytes>{"9"});
}

TEST_F(InProcessTest, PacingFollowsTheLineSettings) {
  // Start, seven data, parity and stop bit at 1200 baud: 8333 us a character.
  reader.model().setLine(*protocol::ParseSettings("1200,e,7,1"));
  open("1200,e,7,1");
  port.output("z\x7F");
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "^:");
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(arrivals[0].at, 8333 + 2 * kMs + 8333);
  EXPECT_EQ(arrivals[1].at, arrivals[0].at + 8333);
}

TEST_F(InProcessTest, LateReplyAndByteByByteKnobs) {
  open();
  reader.setReplyDelay(2500 * kMs);
  port.output("T");
  loop.runFor(2000 * kMs);
  EXPECT_TRUE(arrivals.empty());
  loop.runFor(1000 * kMs);
  EXPECT_EQ(received(), "0");

  arrivals.clear();
  reader.setReplyDelay(InProcessReader::kDefaultReplyDelay);
  reader.setByteGap(150 * kMs);
  port.output("$");
  loop.runFor(2000 * kMs);
  ASSERT_EQ(arrivals.size(), 5u);
  EXPECT_EQ(received(), "READY");
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    EXPECT_EQ(arrivals[i].at - arrivals[i - 1].at, 150 * kMs + kChar9600);
  }
}

TEST_F(InProcessTest, SwipeArrivesPacedAndTheFetchFollows) {
  open();
  reader.swipe(SampleCards()[1]);
  loop.runFor(500 * kMs);
  const Bytes expected = "+\r;6012345678901234=30011010000?8\r+\r";
  EXPECT_EQ(received(), expected);
  ASSERT_EQ(arrivals.size(), expected.size());
  EXPECT_EQ(arrivals[0].at, kChar9600);
  EXPECT_EQ(arrivals.back().at, static_cast<Micros>(expected.size()) * kChar9600);

  arrivals.clear();
  port.output("TQRS");
  loop.runFor(500 * kMs);
  EXPECT_EQ(received(), "3+;6012345678901234=30011010000?8+");
}

TEST_F(InProcessTest, NewBaudAnswersOnlyAfterTheHostFollows) {
  open();
  port.output(Hex("09 00 03 42 52 34 2E"));  // 19200
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "^");
  arrivals.clear();
  port.output("\x7F");  // the power-on report goes out at 19200: noise to this host
  loop.runFor(100 * kMs);
  EXPECT_TRUE(arrivals.empty());
  ASSERT_TRUE(port.setPortOpen(false));
  open("19200,n,8,1");
  port.output("9");
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "TKR510V1.07");
}

TEST_F(InProcessTest, DefaultsSequenceAcrossAReopenGivesOnePowerOnReport) {
  // The console's defaults run: DF, a warm reset it does not wait for, a reopen at
  // 9600,n,8,1 and a second warm reset whose answer it waits for.
  reader.model().setLine(*protocol::ParseSettings("19200,e,7,1"));
  open("19200,e,7,1");
  port.output(Hex("09 00 03 44 46 00 08"));
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "^");
  arrivals.clear();
  port.output("\x7F");
  ASSERT_TRUE(port.setPortOpen(false));
  open("9600,n,8,1");
  port.output("\x7F");
  loop.runFor(500 * kMs);
  EXPECT_EQ(received(), ":");
  EXPECT_EQ(FormatLine(reader.model().line()), "9600,n,8,1");
  EXPECT_EQ(reader.received().size(), 3u);
}

TEST_F(InProcessTest, UnplugVanishesTheOpenPortUntilReplug) {
  open();
  port.output("9");
  loop.runFor(kChar9600 + 2 * kMs + 3 * kChar9600);  // three bytes of the answer are out
  EXPECT_EQ(received(), "TKR");
  reader.unplug();
  EXPECT_FALSE(port.portOpen());
  EXPECT_EQ(events.back(), platform::comEventDeviceLost);
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "TKR");  // the rest died with the power
  EXPECT_FALSE(port.setPortOpen(true));

  reader.replug();
  arrivals.clear();
  open();
  port.output("9");
  loop.runFor(100 * kMs);
  EXPECT_EQ(received(), "TKR510V1.07");
}

TEST_F(InProcessTest, SilentAndGarbageFaults) {
  open();
  reader.setFault(Fault::Silent);
  port.output("9");
  loop.runFor(3000 * kMs);
  EXPECT_TRUE(arrivals.empty());

  reader.setFault(Fault::Garbage);
  port.output("9");
  loop.runFor(3000 * kMs);
  ASSERT_FALSE(arrivals.empty());
  EXPECT_LE(arrivals.size(), 64u);
  EXPECT_NE(received(), "TKR510V1.07");
  for (const auto& a : arrivals) EXPECT_EQ(a.bytes.size(), 1u);
}

}  // namespace
}  // namespace tkr::sim
