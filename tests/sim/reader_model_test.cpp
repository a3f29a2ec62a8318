// The reader model's answers, and the reader attached to a fake port on the virtual clock.
#include "sim/reader_model.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/in_process.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

using platform::fake::FakeLoop;
using platform::fake::FakeSerialPort;
using platform::fake::kMs;
using protocol::test::Hex;

// Frames as they appear on the line (lead, length, payload, LRC).
using Frames = std::vector<const char*>;
const Bytes kRE1 = Hex("09 00 03 52 45 31 2C");
const char* const kNoLrc = "09 00 03 4C 43 44 41";
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
  struct Row {
    const char* name;
    int card;
    Frames setup;
    Bytes command, answer;
  };
  const Bytes codes = Bytes(72, '0') + "0D";
  const std::vector<Row> rows = {
      {"bad LRC", -1, {}, Hex("09 00 03 42 5A 44 57"), "?"},
      {"unknown code", -1, {}, Hex("09 00 03 58 59 5A 51"), "!"},
      {"prefix, suffix and separator codes", -1, {}, Hex("09 00 03 52 45 32 2F"), codes},
      {"customised with a prefix",
       1,
       {kNoLrc, "09 00 08 70 32 02 41 00 00 00 00 00"},
       "V",
       "\x02"
       "A;6012345678901234=30011010000?"},
      {"swipe with a comma separator",
       0,
       {kNoLrc, "09 00 03 54 4B 33 26", "09 00 03 53 50 2C 25"},
       "",
       kT1 + "," + kT2 + "\r"},
      {"swipe with a prefix on track 1, a suffix on track 3",
       0,
       {kNoLrc, "09 00 08 70 31 02 41 00 00 00 00 03", "09 00 08 73 33 0D 00 00 00 00 00 4C"},
       "",
       "\x02"
       "A" +
           kT1 + "\r" + kT2 + "\r" + kT3 + "\r\r"},
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

TEST(ReaderModel, CommandsSplitOrJoinedAcrossWrites) {
  ReaderModel reader;
  for (std::size_t i = 0; i + 1 < kRE1.size(); ++i)
    EXPECT_TRUE(reader.hostWrote(kRE1.substr(i, 1)).empty()) << "byte " << i;
  EXPECT_TRUE(reader.midFrame());
  // The frame's last byte, a typed "ab", and a frame whose codes hold 09, FF and 00: the
  // length, not a lead byte inside the payload, ends a frame.
  const Bytes prefix = Hex("09 00 08 70 32 09 FF 00 00 00 00 B5");
  const auto replies = reader.hostWrote(kRE1.substr(kRE1.size() - 1) + "ab" + prefix);
  ASSERT_EQ(replies.size(), 4u);
  const std::pair<std::size_t, Bytes> expected[] = {
      {0, kDefaultStatus}, {1, "!"}, {2, "!"}, {14, "^"}};
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(std::pair(replies[i].after, replies[i].bytes), expected[i]) << i;
  EXPECT_EQ(reader.config().prefix[1], Hex("09 FF"));
  // A frame left incomplete when the line falls quiet is given up.
  EXPECT_TRUE(reader.hostWrote(kRE1.substr(0, 4)).empty());
  reader.lineWasQuiet();
  EXPECT_EQ(Ask(reader, kRE1), kDefaultStatus);
}

// A device that is no reader, and a reader that goes once it has answered a given command:
// each row's writes in turn, every answer written out, "!" after the one it vanishes after;
// then how many command units it heard, and whether the buzzer is still on.
TEST(ReaderModel, ForeignDeviceAndVanishingReader) {
  struct Row {
    const char* name;
    Fault fault;
    Bytes vanish;
    std::vector<Bytes> writes;
    Bytes answers;
    std::size_t heard;
    bool buzzer;
  };
  const Bytes bzOff = Hex("09 00 03 42 5A 44 56");
  const std::vector<Row> rows = {
      {"foreign: OK to commands, ERROR to frames, obeys none",
       Fault::Foreign,
       "",
       {"9" + bzOff + "\x7F"},
       "OK\r\n|ERROR\r\n|OK\r\n|",
       3,
       true},
      {"a frame's code: obeyed, answered, nothing after it heard",
       Fault::Normal,
       "BZ",
       {"9" + bzOff + "9"},
       "TKR510V1.07|^!",
       2,
       false},
      {"a frame whose code starts with it",
       Fault::Normal,
       "RE",
       {kRE1},
       kDefaultStatus + "!",
       1,
       true},
      {"one byte, once", Fault::Normal, "T", {"9T9", "T"}, "TKR510V1.07|0!0|", 3, true},
      {"the warm reset while silent: no answer, still gone",
       Fault::Silent,
       "\x7F",
       {"\x7F"},
       "!",
       1,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    reader.setFault(row.fault);
    reader.vanishAfter(row.vanish);
    Bytes answers;
    for (const Bytes& w : row.writes) {
      for (const auto& r : reader.hostWrote(w)) answers += r.bytes + (r.thenVanish ? "!" : "|");
    }
    EXPECT_EQ(answers, row.answers);
    EXPECT_EQ(reader.commands().size(), row.heard);
    EXPECT_EQ(reader.config().buzzer, row.buzzer);
  }
}

// On COM3 at 9600,n,8,1 (ten bits, 1042 us a character): the command lands after one
// character time, the reader waits its reply delay, then each byte of the answer needs a
// character time plus the byte gap of its own. Told to vanish, it goes with the last byte.
TEST(InProcessReader, AnswersArriveOneBytePerCharacterTime) {
  FakeLoop loop;
  FakeSerialPort port{loop};
  InProcessReader reader{loop};
  reader.attachTo(port, 3);
  port.setCommPort(3);
  std::vector<Micros> arrivals;
  Micros lostAt = 0;
  Bytes received;
  port.onComm = [&] {
    if (port.commEvent() == platform::comEventDeviceLost) lostAt = loop.now();
    if (port.commEvent() != platform::comEvReceive) return;
    arrivals.push_back(loop.now());
    received += port.input();
  };
  port.setSettings("9600,n,8,1");
  ASSERT_TRUE(port.setPortOpen(true));
  reader.setReplyDelay(2500 * kMs);
  reader.setByteGap(150 * kMs);
  reader.vanishAfter("$");
  port.output("$$");
  loop.runFor(5000 * kMs);
  EXPECT_EQ(received, "READY");  // the second "$" came to a reader already on its way out
  EXPECT_EQ(arrivals, (std::vector<Micros>{2'502'084, 2'653'126, 2'804'168, 2'955'210, 3'106'252}));
  EXPECT_EQ(lostAt, 3'106'252);
  EXPECT_FALSE(reader.plugged());
  EXPECT_EQ(reader.received().size(), 1u);
}

}  // namespace
}  // namespace tkr::sim
