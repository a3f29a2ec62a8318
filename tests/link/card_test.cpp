// Replies, card swipes and the configuration read-out, against the simulated reader.
#include <gtest/gtest.h>

#include "core/protocol/monitor_format.h"
#include "tests/link/reader_fixture.h"

namespace tkr::testing {
namespace {

sim::Card IsoCard() {
  sim::Card card;
  card.name = "test";
  card.type = '3';
  card.tracks = {sim::Track::Of("B4000123456789010^DOE/JOHN^2912101"),
                 sim::Track::Of("4000123456789010=29121010000"), sim::Track::Of("0123")};
  return card;
}

TEST(Swipe, FillsCardTypeAndTrackBoxes) {
  struct Row {
    const char* name;
    sim::Card card;
    Bytes track1, track2, track3;
    Bytes cardType;
  };
  sim::Card bad = IsoCard();
  bad.tracks = {sim::Track::None(), sim::Track::Of("1234"), sim::Track::Bad()};
  sim::Card binary = IsoCard();
  binary.type = '0';
  binary.tracks[0] = sim::Track::Of(MakeBytes({0x00, 0x0D, 0xFF, 0x80, 'A'}));
  const Row rows[] = {
      {"iso_three_tracks", IsoCard(), "%B4000123456789010^DOE/JOHN^2912101?&",
       ";4000123456789010=29121010000?5", ";0123?4", "ISO"},
      {"empty_and_bad_tracks", bad, "No Data", ";1234?0", "Error", "ISO"},
      {"any_byte_shown_unchanged", binary, MakeBytes({'%', 0x00, 0x0D, 0xFF, 0x80, 'A', '?', ')'}),
       ";4000123456789010=29121010000?5", ";0123?4", "Any type or no data"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded t;
    const std::size_t mark = t.mark();
    t.reader->swipe(row.card);
    t.c.loop.runFor(2000 * kMs);
    EXPECT_EQ(t.c.w.Track1TextBox.caption(), row.track1);
    EXPECT_EQ(t.c.w.Track2TextBox.caption(), row.track2);
    EXPECT_EQ(t.c.w.Track3TextBox.caption(), row.track3);
    EXPECT_EQ(t.c.w.CardTypeLabel.caption(), row.cardType);
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{"T", "Q", "R", "S"}));
    EXPECT_EQ(t.c.w.BusyTextLabel.caption(), "Ready");
  }
}

TEST(Swipe, OnlyPendingTracksAreAsked) {
  Loaded t;
  t.reader->swipe(IsoCard());
  // Clear tracks 1 and 3 between the swipe and the fetch, as a list choice would.
  t.c.loop.runUntil([&] { return t.c.m().CardDataArrived; }, 2000 * kMs);
  t.c.m().Track1Pending = false;
  t.c.m().Track3Pending = false;
  const std::size_t mark = t.mark();
  // The fetch starts 10 ms after the swipe's reception ended.
  const std::size_t writes = t.c.port.writes().size();
  t.c.loop.runFor(9 * kMs);
  EXPECT_EQ(t.c.port.writes().size(), writes);
  t.c.loop.runFor(1 * kMs);
  EXPECT_GT(t.c.port.writes().size(), writes);
  t.c.loop.runFor(2000 * kMs);
  EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{"T", "R"}));
}

// A typed command is waited for, but nothing reads its answer after the wait: the answer is
// dropped from the buffer once shown, so the swipe's record holds the swipe's bytes alone. (The
// card type dialog's Done, which never waits for its answer, takes the same path.)
TEST(Swipe, AnEarlierReplyDoesNotStandAgainInTheSwipesRecord) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    SCOPED_TRACE(edition == Edition::Legacy ? "legacy" : "current");
    Loaded t(edition);
    t.c.m().SendTyped("Z");
    t.c.loop.runFor(500 * kMs);
    ASSERT_NE(t.c.monitor().find("PC<--MSR\r\n5Eh \r\n"), std::string::npos);  // the ACK
    const std::size_t before = t.c.port.delivered().size();
    t.reader->swipe(IsoCard());
    t.c.loop.runUntil([&] { return t.c.m().CardDataArrived; }, 2000 * kMs);
    const Bytes swipe = t.c.port.delivered().substr(before);
    EXPECT_EQ(t.c.monitor(), "PC<--MSR\r\n" + protocol::HexDumpLine(swipe));
  }
}

// The next reception can begin in the same pass of the loop that completed a wait's reply,
// before the wait has returned: it stays a reception of its own, not a tail of that reply.
TEST(Swipe, AReceptionBegunBeforeTheWaitReturnedStaysApart) {
  struct Row {
    const char* name;
    bool reopen;
    Bytes next;
    std::string monitor;
    bool fetched;
  };
  // Past the reply buffer's limit it is set aside as far as the limit, its record opens, and
  // the rest goes on into that record (never into the reply the wait's caller reads).
  const Bytes flood(5000, 'B');
  const std::string floodRecord = "PC<--MSR\r\n" + protocol::HexDumpLine(flood.substr(0, 4096));
  const Row rows[] = {
      // "B" came unasked: it is swipe data alone, and the card-data fetch follows.
      {"same_port", false, "B", "PC<--MSR\r\n42h \r\nPC-->MSR\r\n54h", true},
      {"same_port_past_the_limit", false, flood,
       floodRecord + protocol::HexDumpLine(flood.substr(4096)) + "PC-->MSR\r\n54h", true},
      // The caller reopens the port as the wait returns (a dialog's Done): "B" ends with its
      // line, shown but not taken as card data, and the reply "A" is not taken again.
      {"reopened", true, "B", "PC<--MSR\r\n41h \r\nPC<--MSR\r\n42h \r\n", false},
      {"reopened_past_the_limit", true, flood,
       "PC<--MSR\r\n41h \r\n" + floodRecord + protocol::HexDumpLine(flood.substr(4096)), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded t;
    t.reader->model().setFault(sim::Fault::Silent);
    bool sent = false;
    t.c.loop.afterEachEvent = [&] {
      if (sent || !t.c.m().ReplyReceived) return;
      sent = true;
      t.c.port.deliver(row.next);
    };
    t.c.loop.after(20 * kMs, [&] { t.c.port.deliver("A"); });
    t.c.m().SendTyped("Z");
    const std::size_t mark = t.mark();
    if (row.reopen) t.c.m().OpenPort(1, "9600,n,8,1", false);
    t.c.loop.runFor(1000 * kMs);
    const std::string monitor = t.c.monitor();
    const std::size_t tail = monitor.size() - std::min(monitor.size(), row.monitor.size());
    EXPECT_EQ(monitor.substr(row.reopen ? tail : 0, row.monitor.size()), row.monitor);
    EXPECT_EQ(!t.heardSince(mark).empty(), row.fetched) << monitor.substr(0, 200);
  }
}

TEST(InterpretReply, StatusAndCardTypeTexts) {
  struct Row {
    const char* name;
    Bytes reply;
    bool requested;
    Bytes panel, label;
    bool stays;
    Edition edition = Edition::Current;
    std::string monitor = "";
  };
  const Row rows[] = {
      {"cannot_execute", "~", true, "Cannot Execute", "", true},
      {"any_type", "O", true, "Any Type", "Any Type", false},
      {"five_fails_gate", "5", true, "", "", true},
      {"legacy_echoes_unrecognised", "ab", false, "", "", false, Edition::Legacy,
       "PC<--MSR\r\n61h 62h \r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeConsole c(row.edition);
    c.m().ReplyStatusEnabled = true;
    c.m().ReplyBuffer = row.reply;
    c.m().CardTypeRequested = row.requested;
    c.w.Panel4.setCaption("old");
    c.m().InterpretReply(true, row.requested);
    EXPECT_EQ(c.panel(4), row.panel);
    EXPECT_EQ(c.w.CardTypeLabel.caption(), row.label);
    EXPECT_EQ(c.m().CardTypeRequested, row.stays);
    EXPECT_FALSE(c.m().AwaitingReply);
    EXPECT_EQ(c.w.BusyTextLabel.caption(), "Ready");
    EXPECT_EQ(c.monitor(), row.monitor);
  }
}

}  // namespace
}  // namespace tkr::testing
