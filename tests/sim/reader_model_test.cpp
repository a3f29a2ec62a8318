#include "sim/reader_model.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "tests/protocol/hex_bytes.h"

namespace tkr::sim {
namespace {

using namespace std::string_literals;
using protocol::test::Hex;

// Frames as they appear on the line (lead, length, payload, LRC).
const Bytes kRE1 = Hex("09 00 03 52 45 31 2C");
const char* const kNoLrc = "09 00 03 4C 43 44 41";
const char* const kBuzzerOff = "09 00 03 42 5A 44 56";
const Bytes kDefaultStatus = "80007134";

// Feeds a command and returns the single answer it produced (empty when none).
Bytes Ask(ReaderModel& reader, const Bytes& command) {
  const auto replies = reader.hostWrote(command);
  EXPECT_LE(replies.size(), 1u);
  return replies.empty() ? Bytes{} : replies.front().bytes;
}

void Send(ReaderModel& reader, const std::vector<const char*>& frames) {
  for (const char* frame : frames) ASSERT_EQ(Ask(reader, Hex(frame)), "^") << frame;
}

// clang-format off
TEST(ReaderModel, SingleByteCommandsAnswerAsTheConsoleExpects) {
  struct Row { const char* name; Bytes command; Bytes answer; };
  const std::vector<Row> rows = {
      {"version", "9", "TKR510V1.07"},
      {"warm reset", "\x7F", ":"},
      {"card type without a card", "T", "0"},
      {"track 3 without a card", "S", "+"},
      {"customised track 2 without a card", "V", "+"},
      {"configuration request", "#", kDefaultStatus},
      {"reader status", "$", "READY"},
      {"ready to read, lower case", "p", "^"},
      {"red blinking", ")", "^"},
      {"short beep", "z", "^"},
      {"abort", "\x1B", "^"},
      {"pause", "\x13", "^"},
      {"resume", "\x11", "^"},
      {"retransmit", "%", "^"},
      {"unknown letter", "A", "!"},
      {"zero byte", "\0"s, "!"},
      {"high byte", "\xFF", "!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    const auto replies = reader.hostWrote(row.command);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].after, 0u);
    EXPECT_EQ(replies[0].bytes, row.answer);
    EXPECT_EQ(reader.commands(), std::vector<Bytes>{row.command});
  }
}

// Each row: frames sent in order, the answer to the last one, then what RE1 reports.
TEST(ReaderModel, ConfigurationFramesShowInTheStatusDigits) {
  struct Row { const char* name; std::vector<const char*> frames; Bytes answer; Bytes status; };
  const std::vector<Row> rows = {
      {"buzzer off", {kBuzzerOff}, "^", "80007034"},
      {"buzzer on again", {kBuzzerOff, "09 00 03 42 5A 45 57"}, "^", kDefaultStatus},
      {"JIS head, self-arm on, buzzer off", {"09 00 03 4A 48 45 4D", "09 00 03 53 41 45 5D", kBuzzerOff}, "^", "80007C34"},
      {"LRC off sets the no-LRC bit", {kNoLrc}, "^", "C0007134"},
      {"SS/ES and LRC off", {"09 00 03 45 53 44 58", kNoLrc}, "^", "40007134"},
      {"RTS then CTS on", {"09 00 03 52 54 45 49", "09 00 03 43 54 45 58"}, "^", "80307134"},
      {"protocol 1", {"09 00 03 50 43 32 2B"}, "^", "80807134"},
      {"protocol 2 with RTS", {"09 00 03 50 43 33 2A", "09 00 03 52 54 45 49"}, "^", "80E07134"},
      {"protocol 0 again", {"09 00 03 50 43 33 2A", "09 00 03 50 43 31 28"}, "^", kDefaultStatus},
      {"track 3 only", {"09 00 03 54 4B 34 21"}, "^", "80004134"},
      {"baud waits for the reset", {"09 00 03 42 52 34 2E"}, "^", kDefaultStatus},
      {"bad LRC is not obeyed", {"09 00 03 42 5A 44 57"}, "?", kDefaultStatus},
      {"unknown code", {"09 00 03 58 59 5A 51"}, "!", kDefaultStatus},
      {"track mask 0", {"09 00 03 54 4B 30 25"}, "!", kDefaultStatus},
      {"defaults with a non-zero argument", {"09 00 03 44 46 31 39"}, "!", kDefaultStatus},
      {"empty payload", {"09 00 00 09"}, "!", kDefaultStatus},
      {"channel setting", {"09 00 03 52 45 33 2E"}, "RS-232", kDefaultStatus},
      {"prefix, suffix and separator codes", {"09 00 03 52 45 32 2F"}, Bytes(72, '0') + "0D", kDefaultStatus},
      {"EEPROM", {"09 00 03 52 45 00 1D"}, "080007010304" + Bytes(72, '0') + "0D", kDefaultStatus},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    Bytes last;
    for (const char* frame : row.frames) last = Ask(reader, Hex(frame));
    EXPECT_EQ(last, row.answer);
    EXPECT_EQ(Ask(reader, kRE1), row.status);
  }
}

TEST(ReaderModel, LineSettingsChangeOnlyAtTheWarmReset) {
  struct Row { const char* name; const char* frame; const char* after; };
  const std::vector<Row> rows = {
      {"BR0", "09 00 03 42 52 30 2A", "1200,n,8,1"},  {"BR1", "09 00 03 42 52 31 2B", "2400,n,8,1"},
      {"BR2", "09 00 03 42 52 32 28", "4800,n,8,1"},  {"BR4", "09 00 03 42 52 34 2E", "19200,n,8,1"},
      {"PT0", "09 00 03 50 54 30 3E", "9600,e,7,1"},  {"PT1", "09 00 03 50 54 31 3F", "9600,o,7,1"},
      {"PT2", "09 00 03 50 54 32 3C", "9600,m,7,1"},  {"PT3", "09 00 03 50 54 33 3D", "9600,s,7,1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    EXPECT_EQ(Ask(reader, Hex(row.frame)), "^");
    EXPECT_EQ(FormatLine(reader.line()), "9600,n,8,1");
    EXPECT_EQ(Ask(reader, "\x7F"), ":");
    EXPECT_EQ(FormatLine(reader.line()), row.after);
  }
}

TEST(ReaderModel, AReaderAtOtherSettingsHearsNothing) {
  struct Row { const char* name; const char* host; bool heard; };
  const std::vector<Row> rows = {
      {"same line", "9600,n,8,1", true},
      {"stop bits do not matter to a receiver", "9600,n,8,2", true},
      {"other baud", "19200,n,8,1", false},
      {"other parity", "9600,e,8,1", false},
      {"seven data bits", "9600,n,7,1", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    const auto replies = reader.hostWrote(Hex(kBuzzerOff), *protocol::ParseSettings(row.host));
    EXPECT_EQ(replies.size(), row.heard ? 1u : 0u);
    EXPECT_EQ(reader.commands().size(), row.heard ? 1u : 0u);
    EXPECT_EQ(reader.ignoredBytes(), row.heard ? 0u : 7u);
    EXPECT_EQ(reader.config().buzzer, !row.heard);
  }
}

TEST(ReaderModel, SwipedCardsAnswerTrackRequests) {
  const auto& cards = SampleCards();
  ASSERT_EQ(cards.size(), 4u);
  const char* jisOn = "09 00 03 4A 48 45 4D";
  const char* noSentinels = "09 00 03 45 53 44 58";
  struct Row { const char* name; std::size_t card; std::vector<const char*> setup; Bytes command; Bytes answer; };
  const std::vector<Row> rows = {
      {"ISO type", 0, {}, "T", "3"},
      {"ISO track 1 with sentinels and LRC", 0, {}, "Q", "%B4111111111111111^DOE/JOHN^2512101000000000000000?;"},
      {"ISO track 3 with sentinels and LRC", 0, {}, "S", ";0112345678901234=724724100000000000030300?<"},
      {"ISO track 2 without LRC", 0, {kNoLrc}, "R", ";4111111111111111=25121010000000000000?"},
      {"ISO track 2 bare", 0, {kNoLrc, noSentinels}, "R", "4111111111111111=25121010000000000000"},
      {"track 2 only: track 1 empty", 1, {}, "Q", "+"},
      {"track 2 only: track 2", 1, {}, "R", ";6012345678901234=30011010000?8"},
      {"bad track 3", 2, {}, "S", "*"},
      {"JIS card without the JIS head", 3, {}, "T", "0"},
      {"JIS card without the JIS head: no data", 3, {}, "Q", "+"},
      {"JIS card with the JIS head", 3, {jisOn}, "T", "4"},
      {"JIS card data", 3, {jisOn}, "Q", "%JIS2 0123456789 ABCDEF?^"},
      {"customised bad track", 2, {}, "w", "*"},
      {"customised with a prefix", 1, {kNoLrc, "09 00 08 70 32 02 41 00 00 00 00 00"}, "V", "\x02" "A;6012345678901234=30011010000?"},
      {"reversed with a suffix", 1, {kNoLrc, "09 00 08 73 32 0D 0A 00 00 00 00 47"}, "v", "?00001011003=4321098765432106;\r\n"},
      {"prefix back to default", 1, {kNoLrc, "09 00 08 70 32 02 41 00 00 00 00 00", "09 00 03 70 32 00 48"}, "V", ";6012345678901234=30011010000?"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    Send(reader, row.setup);
    reader.swipe(cards[row.card]);
    EXPECT_EQ(Ask(reader, row.command), row.answer);
  }
}

TEST(ReaderModel, SwipeDataFollowsTrackSelectionAndCodes) {
  const Bytes t1 = "%B4111111111111111^DOE/JOHN^2512101000000000000000?";
  const Bytes t2 = ";4111111111111111=25121010000000000000?";
  const Bytes t3 = ";0112345678901234=724724100000000000030300?";
  struct Row { const char* name; std::vector<const char*> setup; Bytes sent; };
  const std::vector<Row> rows = {
      {"all tracks, separated by CR", {}, t1 + "\r" + t2 + "\r" + t3 + "\r"},
      {"tracks 1 and 3", {"09 00 03 54 4B 35 20"}, t1 + "\r" + t3 + "\r"},
      {"comma separator", {"09 00 03 54 4B 33 26", "09 00 03 53 50 2C 25"}, t1 + "," + t2 + "\r"},
      {"separator back to default", {"09 00 03 53 50 2C 25", "09 00 03 53 50 00 09"}, t1 + "\r" + t2 + "\r" + t3 + "\r"},
      {"prefix on track 1, suffix on track 3", {"09 00 08 70 31 02 41 00 00 00 00 03", "09 00 08 73 33 0D 00 00 00 00 00 4C"},
       "\x02" "A" + t1 + "\r" + t2 + "\r" + t3 + "\r\r"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReaderModel reader;
    Send(reader, {kNoLrc});  // readable rows
    Send(reader, row.setup);
    EXPECT_EQ(reader.swipe(SampleCards()[0]), row.sent);
  }
}
// clang-format on

TEST(ReaderModel, DefaultsAndAWarmResetUndoEverything) {
  ReaderModel reader;
  Send(reader, {kBuzzerOff, kNoLrc, "09 00 03 45 53 44 58", "09 00 03 52 54 45 49",
                "09 00 03 4A 48 45 4D", "09 00 03 50 43 33 2A", "09 00 03 54 4B 31 24",
                "09 00 08 70 31 02 41 00 00 00 00 03", "09 00 03 53 50 2C 25",
                "09 00 03 42 52 34 2E", "09 00 03 50 54 30 3E"});
  EXPECT_EQ(Ask(reader, "\x7F"), ":");
  const auto at = *protocol::ParseSettings("19200,e,7,1");
  ASSERT_EQ(FormatLine(reader.line()), "19200,e,7,1");
  EXPECT_EQ(reader.hostWrote(kRE1, at).at(0).bytes, "40E01840");

  EXPECT_EQ(reader.hostWrote(Hex("09 00 03 44 46 00 08"), at).at(0).bytes, "^");
  EXPECT_EQ(reader.config(), ReaderConfig{});
  EXPECT_EQ(FormatLine(reader.line()), "19200,e,7,1");  // the host still talks at the old line
  EXPECT_EQ(reader.hostWrote("\x7F", at).at(0).bytes, ":");
  EXPECT_EQ(FormatLine(reader.line()), "9600,n,8,1");
  EXPECT_EQ(Ask(reader, kRE1), kDefaultStatus);
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
  const std::vector<std::pair<std::size_t, Bytes>> expected = {
      {0, kDefaultStatus}, {1, "!"}, {2, "!"}, {14, "^"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(replies[i].after, expected[i].first) << i;
    EXPECT_EQ(replies[i].bytes, expected[i].second) << i;
  }
  EXPECT_FALSE(reader.midFrame());
  EXPECT_EQ(reader.commands(), (std::vector<Bytes>{kRE1, "a", "b", prefix}));
  EXPECT_EQ(reader.raw(), kRE1 + "ab" + prefix);
  EXPECT_EQ(reader.config().prefix[1], Hex("09 FF"));
}

TEST(ReaderModel, SilentReaderObeysButNeverAnswers) {
  ReaderModel reader;
  reader.setFault(Fault::Silent);
  EXPECT_TRUE(reader.hostWrote(Hex(kBuzzerOff) + "9\x7F").empty());
  EXPECT_TRUE(reader.swipe(SampleCards()[0]).empty());
  EXPECT_EQ(reader.commands().size(), 3u);
  reader.setFault(Fault::Normal);
  EXPECT_EQ(Ask(reader, kRE1), "80007034");  // the buzzer frame took effect
  EXPECT_EQ(Ask(reader, "T"), "3");          // and the card was read
}

TEST(ReaderModel, GarbageIsRandomButRepeatableForASeed) {
  ReaderModel a(7), b(7), c(8);
  for (ReaderModel* r : {&a, &b, &c}) r->setFault(Fault::Garbage);
  std::set<std::uint8_t> seen;
  for (int i = 0; i < 200; ++i) {
    const Bytes cmd = i % 2 ? "9" : kRE1;
    const Bytes got = Ask(a, cmd);
    EXPECT_EQ(got, Ask(b, cmd));
    EXPECT_GE(got.size(), 1u);
    EXPECT_LE(got.size(), 64u);
    for (char ch : got) seen.insert(static_cast<std::uint8_t>(ch));
  }
  EXPECT_TRUE(seen.count(0x00));
  EXPECT_TRUE(seen.count(0xFF));
  EXPECT_NE(Ask(a, "9"), Ask(c, "9"));
}

}  // namespace
}  // namespace tkr::sim
