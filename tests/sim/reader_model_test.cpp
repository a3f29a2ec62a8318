// The reader model's answers, and the reader attached to a fake port on the virtual clock.
#include "sim/reader_model.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/in_process.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

using protocol::test::Hex;
using platform::fake::FakeLoop;
using platform::fake::FakeSerialPort;
using platform::fake::kMs;

// Frames as they appear on the line (lead, length, payload, LRC).
using Frames = std::vector<const char*>;
const Bytes kRE1 = Hex("09 00 03 52 45 31 2C");
const char* const kNoLrc = "09 00 03 4C 43 44 41";
const char* const kJisOn = "09 00 03 4A 48 45 4D";
const Bytes kDefaultStatus = "80007134";
// The first sample card's tracks with sentinels, without LRC.
const Bytes kT1 = "%B4111111111111111^DOE/JOHN^2512101000000000000000?";
const Bytes kT2 = ";4111111111111111=25121010000000000000?";
const Bytes kT3 = ";0112345678901234=724724100000000000030300?";

// Feeds a command and returns the single answer it produced (empty when none).
Bytes Ask(ReaderModel& reader, const Bytes& command) {
  const auto replies = reader.hostWrote(command);
  EXPECT_LE(replies.size(), 1u);
  return replies.empty() ? Bytes{} : replies.front().bytes;
}

// Each row: a fresh reader, set-up frames, the card swiped (if any), a command and its answer;
// without a command, what the swipe itself sent. The toggles' frames, the ISO card's tracks and
// type and a bad track reach the console's labels and boxes in the link tests.
TEST(ReaderModel, CommandsAndSwipesAnswerAsTheConsoleExpects) {
  const auto& cards = SampleCards();
  ASSERT_EQ(cards.size(), 4u);
  struct Row { const char* name; int card; Frames setup; Bytes command, answer; };
  const Bytes codes = Bytes(72, '0') + "0D";
  const std::vector<Row> rows = {
      {"protocol 2 with RTS", -1, {"09 00 03 50 43 33 2A", "09 00 03 52 54 45 49"}, kRE1,
       "80E07134"},
      {"bad LRC", -1, {}, Hex("09 00 03 42 5A 44 57"), "?"},
      {"unknown code", -1, {}, Hex("09 00 03 58 59 5A 51"), "!"},
      {"defaults with a non-zero argument", -1, {}, Hex("09 00 03 44 46 31 39"), "!"},
      {"prefix, suffix and separator codes", -1, {}, Hex("09 00 03 52 45 32 2F"), codes},
      {"EEPROM", -1, {}, Hex("09 00 03 52 45 00 1D"), "080007010304" + codes},
      {"track 3 without a card", -1, {}, "S", "+"},
      {"unknown letter", -1, {}, "A", "!"},
      {"ISO track 2 bare", 0, {kNoLrc, "09 00 03 45 53 44 58"}, "R",
       "4111111111111111=25121010000000000000"},
      {"JIS card data", 3, {kJisOn}, "Q", "%JIS2 0123456789 ABCDEF?^"},
      {"customised with a prefix", 1, {kNoLrc, "09 00 08 70 32 02 41 00 00 00 00 00"}, "V",
       "\x02" "A;6012345678901234=30011010000?"},
      {"reversed with a suffix", 1, {kNoLrc, "09 00 08 73 32 0D 0A 00 00 00 00 47"}, "v",
       "?00001011003=4321098765432106;\r\n"},
      {"swipe with a comma separator", 0,
       {kNoLrc, "09 00 03 54 4B 33 26", "09 00 03 53 50 2C 25"}, "", kT1 + "," + kT2 + "\r"},
      {"swipe with a prefix on track 1, a suffix on track 3", 0,
       {kNoLrc, "09 00 08 70 31 02 41 00 00 00 00 03", "09 00 08 73 33 0D 00 00 00 00 00 4C"}, "",
       "\x02" "A" + kT1 + "\r" + kT2 + "\r" + kT3 + "\r\r"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    for (const char* frame : row.setup) ASSERT_EQ(Ask(reader, Hex(frame)), "^") << frame;
    const Bytes sent =
        row.card < 0 ? Bytes{} : reader.swipe(cards[static_cast<std::size_t>(row.card)]);
    EXPECT_EQ(row.command.empty() ? sent : Ask(reader, row.command), row.answer);
  }
}

TEST(ReaderModel, NewBaudRateWaitsForTheWarmReset) {
  ReaderModel reader;
  EXPECT_EQ(Ask(reader, Hex("09 00 03 42 52 34 2E")), "^");
  EXPECT_EQ(FormatLine(reader.line()), "9600,n,8,1");
  EXPECT_EQ(Ask(reader, "\x7F"), ":");
  EXPECT_EQ(FormatLine(reader.line()), "19200,n,8,1");
}

TEST(ReaderModel, CommandsSplitOrJoinedAcrossWrites) {
  ReaderModel reader;
  for (std::size_t i = 0; i + 1 < kRE1.size(); ++i) {
    EXPECT_TRUE(reader.hostWrote(kRE1.substr(i, 1)).empty()) << "byte " << i;
    EXPECT_TRUE(reader.midFrame());
  }
  // The frame's last byte, a typed "ab", and a frame whose codes hold 09, FF and 00: the
  // length, not a lead byte inside the payload, ends a frame.
  const Bytes prefix = Hex("09 00 08 70 32 09 FF 00 00 00 00 B5");
  const auto replies = reader.hostWrote(kRE1.substr(kRE1.size() - 1) + "ab" + prefix);
  ASSERT_EQ(replies.size(), 4u);
  const std::pair<std::size_t, Bytes> expected[] = {
      {0, kDefaultStatus}, {1, "!"}, {2, "!"}, {14, "^"}};
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(std::pair(replies[i].after, replies[i].bytes), expected[i]) << i;
  EXPECT_FALSE(reader.midFrame());
  EXPECT_EQ(reader.commands(), (std::vector<Bytes>{kRE1, "a", "b", prefix}));
  EXPECT_EQ(reader.config().prefix[1], Hex("09 FF"));
  // A frame left incomplete when the line falls quiet is given up.
  EXPECT_TRUE(reader.hostWrote(kRE1.substr(0, 4)).empty());
  reader.lineWasQuiet();
  EXPECT_EQ(Ask(reader, kRE1), kDefaultStatus);
}

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
TEST(InProcessReader, AnswersArriveOneBytePerCharacterTime) {
  struct Row { const char* name; const char* settings; Bytes command, answer;
               Micros charTime, replyDelay, byteGap; };
  const std::vector<Row> rows = {
      {"9600,n,8,1: ten bits", "9600,n,8,1", "9", "TKR510V1.07", 1042, 2 * kMs, 0},
      {"1200,e,7,1: start, 7 data, parity, stop", "1200,e,7,1", "z\x7F", "^:", 8333, 2 * kMs, 0},
      {"late reply, byte by byte", "9600,n,8,1", "$", "READY", 1042, 2500 * kMs, 150 * kMs},
  };
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
