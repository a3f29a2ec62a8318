#include "sim/in_process.h"

#include <gtest/gtest.h>

#include <vector>

namespace tkr::sim {
namespace {

using platform::fake::FakeLoop;
using platform::fake::FakeSerialPort;
using platform::fake::kMs;

// The reader on COM3 of a host that notes when each delivery arrives.
struct Bench {
  explicit Bench(const char* settings) {
    reader.model().setLine(*protocol::ParseSettings(settings));
    reader.attachTo(port, 3);
    port.setCommPort(3);
    port.onComm = [this] {
      if (port.commEvent() != platform::comEvReceive) return;
      arrivals.push_back(loop.now());
      received += port.input();
    };
    port.setSettings(settings);
    EXPECT_TRUE(port.setPortOpen(true));
  }

  FakeLoop loop;
  FakeSerialPort port{loop};
  InProcessReader reader{loop};
  std::vector<Micros> arrivals;  // when each delivery came
  Bytes received;
};

// The command lands after one character time, the reader waits its reply delay, then each
// byte of the answer needs a character time (plus any byte gap) of its own.
// clang-format off
TEST(InProcessReader, AnswersArriveOneBytePerCharacterTime) {
  struct Row { const char* name; const char* settings; Bytes command; Bytes answer; Micros charTime; Micros replyDelay; Micros byteGap; };
  const std::vector<Row> rows = {
      {"9600,n,8,1: ten bits", "9600,n,8,1", "9", "TKR510V1.07", 1042, 2 * kMs, 0},
      {"1200,e,7,1: start, seven data, parity and stop bit", "1200,e,7,1", "z\x7F", "^:", 8333, 2 * kMs, 0},
      {"late reply", "9600,n,8,1", "T", "0", 1042, 2500 * kMs, 0},
      {"byte by byte", "9600,n,8,1", "$", "READY", 1042, 2 * kMs, 150 * kMs},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bench b(row.settings);
    ASSERT_EQ(b.port.characterTime(), row.charTime);
    b.reader.setReplyDelay(row.replyDelay);
    b.reader.setByteGap(row.byteGap);
    b.port.output(row.command);
    b.loop.runFor(5000 * kMs);
    ASSERT_EQ(b.arrivals.size(), row.answer.size());
    EXPECT_EQ(b.received, row.answer);
    EXPECT_EQ(b.arrivals[0], row.charTime + row.replyDelay + row.charTime);
    for (std::size_t i = 1; i < b.arrivals.size(); ++i)
      EXPECT_EQ(b.arrivals[i] - b.arrivals[i - 1], row.charTime + row.byteGap) << i;
  }
}

}  // namespace
}  // namespace tkr::sim
