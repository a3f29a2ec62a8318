// The exchange cycle on the virtual clock: bytes on the line, monitor, panels, time-outs.
#include <gtest/gtest.h>

#include "core/protocol/monitor_format.h"
#include "tests/link/reader_fixture.h"

namespace tkr::testing {
namespace {

using platform::kGreen;
using platform::kRed;

constexpr const char* kBusy = "Under processing, please don't swipe card!";
constexpr const char* kNoReader = "Card Reader is not connected or defective.";

TEST(SendCommand, WritesBytesAndEchoesThemInPanelAndMonitor) {
  struct Row {
    const char* name;
    Bytes command;
    Bytes panel2;
    std::string monitor;
  };
  const Row rows[] = {
      {"warm_reset_del_unchanged", "\x7F", "\x7F", "PC-->MSR\r\n7Fh \r\n"},
      {"frame_with_zero_byte", MakeBytes({0x09, 0x00, 0x03, 0x44, 0x46, 0x00, 0x08}),
       "[09][00][03]DF[00][08]", "PC-->MSR\r\n09h 00h 03h 44h 46h 00h 08h \r\n"},
      {"control_codes_and_high_bytes", MakeBytes({0x1B, 0x1F, 0x10, 0x20, 0x80, 0xFF}),
       "[1B][1F][10] \x80\xFF", "PC-->MSR\r\n1Bh 1Fh 10h 20h 80h FFh \r\n"},
      {"empty_text_writes_nothing", "", "", "PC-->MSR\r\n\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Connected t;
    t.c.w.Panel4.setCaption("old");
    t.c.m().SendCommand(row.command);
    EXPECT_EQ(t.c.port.written(), row.command);
    EXPECT_EQ(t.c.panel(2), row.panel2);
    EXPECT_EQ(t.c.panel(4), "");
    EXPECT_EQ(t.c.monitor(), row.monitor);
    EXPECT_EQ(t.c.w.BusyTextLabel.caption(), kBusy);
    EXPECT_EQ(t.c.w.BusyLabel.backColor(), kRed);
  }
}

// A failed open: the current edition sends silently nothing; the legacy one warns as for a
// closed port, and also keeps PortFailed set after a later open succeeds.
TEST(Port, FailedOpenPerEdition) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    SCOPED_TRACE(edition == Edition::Legacy ? "legacy" : "current");
    Connected t(edition);
    t.c.m().OpenPort(7, "9600,n,8,1", false);  // nothing on COM7
    ASSERT_TRUE(t.c.m().PortFailed);
    t.c.m().SendCommand("Q");
    ASSERT_EQ(t.c.shell.boxes.size(), edition == Edition::Legacy ? 1u : 0u);
    if (edition == Edition::Legacy) {
      EXPECT_EQ(t.c.shell.boxes[0].text, "Communication Error!\r\nPlease check the settings.");
      EXPECT_EQ(t.c.shell.boxes[0].title, "Warning");
      EXPECT_EQ(t.c.shell.boxes[0].icon, platform::MsgIcon::Critical);
    }
    EXPECT_EQ(t.c.port.written(), "");
    EXPECT_EQ(t.c.monitor(), "");
    t.c.m().OpenPort(1, "9600,n,8,1", false);
    EXPECT_TRUE(t.c.port.portOpen());
    EXPECT_EQ(t.c.m().PortFailed, edition == Edition::Legacy);
  }
}

// The reply ends at its quiet time, the wait at TimeBase x 20 ms; the legacy edition's quiet
// time is TimeBase itself (250 ms until the detection sets 100).
TEST(WaitForReply, EndsAtTheReplysQuietTimeOrAfterTwentyTimeBases) {
  // At eventMs a reply byte comes, or the device vanishes.
  struct Row {
    const char* name;
    int eventMs;
    bool vanish;
    int endsMs;
    Edition edition = Edition::Current;
  };
  const Row rows[] = {
      {"reply_completes_at_1999_ms", 1899, false, 1999},
      {"reply_completes_at_2000_ms_too_late", 1900, false, 2000},
      {"device_vanishes_at_300_ms", 300, true, 2000},
      {"legacy_quiet_time_250_ms", 300, false, 550, Edition::Legacy},
      {"legacy_time_out_5000_ms", 300, true, 5000, Edition::Legacy},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Connected t(row.edition);
    if (row.edition == Edition::Legacy) t.c.m().TimeBase = 250;
    t.c.m().AwaitingReply = true;
    t.c.m().SendCommand("Q");
    const Micros start = t.c.loop.now();
    t.c.loop.schedule(start + row.eventMs * kMs,
                      [&] { row.vanish ? t.c.port.vanish() : t.c.port.deliver("^"); });
    t.c.m().WaitForReply();
    EXPECT_EQ(t.c.loop.now() - start, row.endsMs * kMs);
    EXPECT_EQ(t.c.port.portOpen(), !row.vanish);
    t.c.m().SendCommand("Q");  // after a vanished device: as for a port that is not open
    EXPECT_EQ(t.c.shell.boxes.size(), row.vanish ? 1u : 0u);
  }
}

TEST(WaitForReply, OutcomeFollowsTheFirmwareLabel) {
  struct Row {
    const char* name;
    Bytes fw;
    bool reply;
    const char* busyText;
    bool enabledAfter;
    Edition edition = Edition::Current;
  };
  const Row rows[] = {
      {"known_reader_silent_keeps_indicator", "TKR510V1", false, kBusy, true},
      {"no_version_silent", "", false, kNoReader, false},
      {"power_on_report_as_version_answers", ":", true, kNoReader, false},
      {"no_version_answers_leaves_indicator", "", true, "Ready", true},
      {"legacy_always_ends_ready_never_disables", "", false, "Ready", true, Edition::Legacy},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Connected t(row.edition, [&](const Bytes&) { return row.reply ? Bytes("^") : Bytes(); });
    t.c.w.FWLabel.setCaption(row.fw);
    t.c.w.BuzzerLabel.setCaption("Enable");
    t.c.m().AwaitingReply = true;
    t.c.m().SendCommand("Z");
    t.c.m().WaitForReply();
    EXPECT_EQ(t.c.w.BusyTextLabel.caption(), row.busyText);
    // The indicator is green with "Ready" only: red while busy and with no reader.
    EXPECT_EQ(t.c.w.BusyLabel.backColor(), std::string(row.busyText) == "Ready" ? kGreen : kRed);
    EXPECT_EQ(t.c.w.DefaultButton.enabled(), row.enabledAfter);
    EXPECT_EQ(t.c.w.BuzzerCheckBox.enabled(), row.enabledAfter);
    EXPECT_EQ(t.c.w.BuzzerLabel.caption(), row.enabledAfter ? "Enable" : "");
  }
}

TEST(Reception, QuietTimeSetAtLoadEndsAReception) {
  // Characters less than 100 ms apart make one reception; a longer pause ends it, and with
  // it the wait for a reply.
  struct Row {
    const char* name;
    int gapMs;
    Micros waited;
    std::string reply;
  };
  const Row rows[] = {
      {"gaps_of_90_ms_one_reception", 90, 280 * kMs, "PC<--MSR\r\n41h 42h 43h \r\n"},
      {"gap_of_110_ms_ends_it", 110, 100 * kMs, "PC<--MSR\r\n41h \r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded t;
    const std::size_t before = t.c.monitor().size();
    const Micros start = t.c.loop.now();
    for (int i = 0; i < 3; ++i) {
      const Bytes letter(1, static_cast<char>('A' + i));
      t.c.loop.schedule(start + Micros{i} * row.gapMs * kMs,
                        [&t, letter] { t.c.port.deliver(letter); });
    }
    t.c.m().AwaitingReply = true;
    t.c.m().WaitForReply();
    EXPECT_EQ(t.c.loop.now() - start, row.waited);
    EXPECT_EQ(t.c.monitor().substr(before), row.reply);
  }
}

TEST(Reception, LineThatNeverPausesDoesNotNestTheHandler) {
  // Each arrival lands while the previous one's handler is still pumping events; the buffer
  // never holds more than its limit, and the one long reception's record stops at 128 KiB.
  Connected t;
  t.c.m().AwaitingReply = false;
  t.c.m().FetchingCardData = true;  // log only, no dispatch
  int inside = 0, deepest = 0, left = 1500;
  std::function<void()> arrive = [&] {
    if (left-- == 0) return;
    t.c.loop.after(0, arrive);  // the next burst is due while this one is handled
    ++inside;
    deepest = std::max(deepest, inside);
    t.c.port.deliver(Bytes(100, 'A'));
    EXPECT_LE(t.c.m().ReplyBuffer.size(), link::Module1::kReplyBufferLimit);
    --inside;
  };
  arrive();
  t.c.loop.runFor(0);
  EXPECT_LE(deepest, 2);
  EXPECT_EQ(t.c.monitor().size(), 10 + 32 * (4 * 4096 + 2));  // a header, 32 lines of 4096 bytes
}

TEST(Reception, BytesWaitingAtTheQuietTimeStayWithinTheLimit) {
  // The quiet time ends with a nearly full buffer while bytes wait in the port, their
  // receive event not yet handled (as a queued re-check leaves them): they are gathered
  // within the limit, and the next arrival must not find the buffer past it.
  Connected t;
  t.c.m().AwaitingReply = false;
  t.c.m().FetchingCardData = true;  // log only, no dispatch
  t.c.port.deliver(Bytes(link::Module1::kReplyBufferLimit - 10, 'A'));
  const auto handler = std::exchange(t.c.port.onComm, nullptr);
  t.c.port.deliver(Bytes(100, 'B'));
  t.c.port.onComm = handler;
  t.c.loop.runFor(200'000);
  EXPECT_LE(t.c.m().ReplyBuffer.size(), link::Module1::kReplyBufferLimit);
  t.c.port.deliver(Bytes(100, 'C'));
  EXPECT_LE(t.c.m().ReplyBuffer.size(), link::Module1::kReplyBufferLimit);
}

// An unbroken reception past the reply buffer's limit is still one reception, ended only by
// the quiet time: one record (its header once, then a data line per 4096 bytes), one dispatch,
// and on the wire nothing but what that one reception calls for. The buffer keeps its first
// 4096 bytes, which is what the legacy edition's second echo of a reply shows.
using LongReceptionRow = std::tuple<Edition, std::size_t, bool, bool>;  // length, paced, unasked
class LongReception : public ::testing::TestWithParam<LongReceptionRow> {};

std::string FromReader(const Bytes& bytes) {
  std::string record = "PC<--MSR\r\n";
  for (std::size_t at = 0; at == 0 || at < bytes.size(); at += link::Module1::kReplyBufferLimit) {
    record += protocol::HexDumpLine(bytes.substr(at, link::Module1::kReplyBufferLimit));
  }
  return record;
}
std::string ToReader(const Bytes& bytes) {
  return "PC-->MSR\r\n" + protocol::HexDumpLine(bytes);
}

// Every byte value, in an order that repeats only every 64 KiB.
Bytes Pattern(std::size_t length) {
  Bytes data(length, '\0');
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 7 + i / 256);
  return data;
}

TEST_P(LongReception, IsOneReceptionEndedByTheQuietTime) {
  const auto [edition, rowLength, rowPaced, rowUnasked] = GetParam();
  const std::size_t length = rowLength;  // lambdas below take these by reference
  const bool paced = rowPaced;
  const bool unasked = rowUnasked;
  const Bytes data = Pattern(length);
  const Bytes head = data.substr(0, link::Module1::kReplyBufferLimit);
  Connected t(edition);
  std::vector<Bytes> receptions;  // as a program without windows is told of them
  link::LinkEvents events;
  events.received = [&](const Bytes& r) { receptions.push_back(r); };
  t.c.m().setEvents(events);
  Micros lastByteAt = 0;
  const auto stream = [&] {
    if (paced) {
      t.dev.send(data);  // 1.04 ms a byte at 9600 baud
      lastByteAt = t.c.loop.now() + static_cast<Micros>(length) * t.c.port.characterTime();
    } else {
      t.c.port.deliver(data);
      lastByteAt = t.c.loop.now();
    }
  };
  Micros fetchAt = 0;
  t.dev.setAnswer([&](const Bytes& written) -> Bytes {
    if (written == "Z") {
      t.c.loop.after(2 * kMs, stream);
      return {};
    }
    if (written == "T" && fetchAt == 0) fetchAt = t.c.loop.now();
    return "+";  // the card-data fetch: no card type, no track data
  });
  if (unasked) {
    stream();
  } else {
    t.c.m().SendTyped("Z");  // the command box
  }
  // Handed on at the quiet time after the last byte (a swipe's fetch 10 ms later), not before.
  ASSERT_TRUE(t.c.loop.runUntil([&] { return unasked ? fetchAt > 0 : !t.c.m().AwaitingReply; },
                                200'000 * kMs));
  EXPECT_EQ((unasked ? fetchAt : t.c.loop.now()) - lastByteAt, (unasked ? 110 : 100) * kMs);
  t.c.loop.runFor(10'000 * kMs);

  if (unasked) {
    // The swipe's fetch, once, after the quiet time; the swipe's record starts the monitor.
    EXPECT_EQ(t.c.port.writes(), (std::vector<Bytes>{"T", "Q", "R", "S"}));
    std::string fetch;
    for (const char* command : {"T", "Q", "R", "S"}) fetch += ToReader(command) + FromReader("+");
    EXPECT_EQ(t.c.monitor(), FromReader(data) + fetch);
    EXPECT_EQ(receptions, (std::vector<Bytes>{data, "+", "+", "+", "+"}));
  } else {
    EXPECT_EQ(t.c.port.writes(), std::vector<Bytes>{"Z"});
    EXPECT_EQ(receptions, std::vector<Bytes>{data});
    const std::string echo = edition == Edition::Legacy ? FromReader(head) : "";
    EXPECT_EQ(t.c.monitor(), ToReader("Z") + FromReader(data) + echo);
  }
}

std::string LongReceptionName(const ::testing::TestParamInfo<LongReceptionRow>& row) {
  const auto [edition, length, paced, unasked] = row.param;
  return std::string(edition == Edition::Legacy ? "legacy_" : "current_") +
         (unasked ? "unasked_" : "typed_command_") + (paced ? "paced_" : "at_once_") +
         std::to_string(length);
}
INSTANTIATE_TEST_SUITE_P(Reception, LongReception,
                         ::testing::Combine(::testing::Values(Edition::Current, Edition::Legacy),
                                            ::testing::Values(4095, 4096, 4097, 5000, 100'000),
                                            ::testing::Bool(), ::testing::Bool()),
                         LongReceptionName);

// What else comes into the monitor while a cut reception lasts keeps its place in the order.
TEST(Reception, ACutReceptionAroundAClearOrACommand) {
  const Bytes data = Pattern(10'000);
  const std::string secondLine = "PC<--MSR\r\n" + protocol::HexDumpLine(data.substr(4096, 4096));
  const auto typed = [](link::Module1& m) { m.SendTyped("Z"); };
  struct Row {
    const char* name;
    std::size_t length;
    std::function<void(link::Module1&)> act;
    std::string atLastByte;
    std::vector<Bytes> wire;
  };
  const Row rows[] = {
      // The stream goes on after a Clear under a header of its own, and is a swipe at the end.
      {"clear_button",
       10'000,
       [](link::Module1& m) { m.ClearButton_Click(); },
       secondLine,
       {"T", "Q", "R", "S"}},
      // The command empties the buffer: what comes after it is its reply.
      {"typed_command",
       10'000,
       typed,
       FromReader(data.substr(0, 5000)) + ToReader("Z") + "PC<--MSR\r\n" +
           protocol::HexDumpLine(data.substr(5000, 4096)),
       {"Z"}},
      // Nothing after the command: its reply is an empty reception.
      {"typed_command_as_the_stream_ends",
       5000,
       typed,
       FromReader(data.substr(0, 5000)) + ToReader("Z") + FromReader(""),
       {"Z"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Connected t(Edition::Current, [](const Bytes& written) { return written == "Z" ? "" : "+"; });
    t.dev.send(data.substr(0, row.length));
    t.c.loop.runUntil([&] { return t.c.port.delivered().size() == 5000; }, 10'000 * kMs);
    row.act(t.c.m());
    t.c.loop.runUntil([&] { return t.c.port.delivered().size() == row.length; }, 10'000 * kMs);
    EXPECT_EQ(t.c.monitor(), row.atLastByte);
    t.c.loop.runFor(10'000 * kMs);
    EXPECT_EQ(t.c.port.writes(), row.wire);
  }
}

TEST(Port, OpenShowAndClose) {
  Connected t;
  t.c.port.attach(3, &t.dev);
  t.c.m().OpenPort(3, "19200,e,7,1", true);
  EXPECT_TRUE(t.c.port.portOpen());
  EXPECT_EQ(t.c.port.handshaking(), platform::comRTS);
  t.c.m().ShowPortSettings();
  EXPECT_EQ(t.c.w.BaudRateLabel.caption(), "19200");
  EXPECT_EQ(t.c.w.ParityLabel.caption(), "e,7,1");
  EXPECT_EQ(t.c.w.COMPortLabel.caption(), "3");

  t.c.port.failClose = true;
  t.c.m().ClosePort();
  ASSERT_EQ(t.c.shell.boxes.size(), 1u);
  EXPECT_EQ(t.c.shell.boxes[0].text, "COM port close error!");
  EXPECT_EQ(t.c.shell.boxes[0].title, "Message");
  EXPECT_EQ(t.c.shell.boxes[0].icon, platform::MsgIcon::Information);
}

TEST(Monitor, TrimsTo768KiBKeepingTheNewestWholeRecords) {
  Connected t;
  t.c.m().FetchingCardData = true;
  const Bytes reply(100, 'x');      // 412 characters a record with its header
  for (int i = 0; i < 2546; ++i) {  // the last one passes 1 MiB
    t.c.m().AppendMonitorHeader("PC<--MSR");
    t.c.m().AppendMonitor(reply);
  }
  const std::string text = t.c.monitor();
  EXPECT_LE(text.size(), 786432u);
  EXPECT_GT(text.size(), 786432u - 412);
  EXPECT_EQ(text.rfind("PC<--MSR\r\n", 0), 0u);  // starts at a record
  EXPECT_EQ(text.substr(text.size() - 6), "78h \r\n");
  // A single record past the bound stays whole: the newest one is never dropped.
  Connected one;
  one.c.m().AppendMonitorHeader("PC<--MSR");
  one.c.m().AppendMonitor(Bytes(300'000, 'x'));
  EXPECT_EQ(one.c.monitor().size(), 1'200'012u);
}

}  // namespace
}  // namespace tkr::testing
