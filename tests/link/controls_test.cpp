// The operator's controls against the simulated reader: toggles, defaults, tracks, commands.
#include <gtest/gtest.h>

#include "tests/link/reader_fixture.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::testing {
namespace {

using protocol::test::Hex;
using W = FakeMainWindow;
using Heard = std::vector<Bytes>;

TEST(Toggles, EachPlainToggleSendsItsFrameResetAndReadOut) {
  struct Row {
    const char* name;
    FakeCheck W::*box;
    const char* frame;
    FakeControl W::*label;
    Bytes after;
  };
  const Row rows[] = {
      {"buzzer_off", &W::BuzzerCheckBox, "09 00 03 42 5A 44 56", &W::BuzzerLabel, "Disable"},
      {"jis_on", &W::JISCheckBox, "09 00 03 4A 48 45 4D", &W::JISLabel, "With"},
      {"lrc_off", &W::LRCCheckBox, "09 00 03 4C 43 44 41", &W::LRCLabel, "No LRC"},
      {"self_arm_on", &W::SelfArmCheckBox, "09 00 03 53 41 45 5D", &W::SelfArmLabel, "Enable"},
      {"sses_off", &W::SSESCheckBox, "09 00 03 45 53 44 58", &W::SSESLabel, "No SS&&ES"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Loaded t;
    FakeCheck& box = t.c.w.*row.box;
    EXPECT_EQ(t.heardDuring([&] { box.click(); }), (Heard{Hex(row.frame), kReset, kRE1}));
    EXPECT_EQ((t.c.w.*row.label).caption(), row.after);
    EXPECT_EQ(box.backColor(), box.value() ? platform::kGreen : platform::kLightGreen);
  }
}

TEST(Toggles, ClickDuringAnotherWaitIsIgnored) {
  Loaded t;
  t.reader->setReplyDelay(500 * kMs);
  const std::size_t mark = t.mark();
  t.c.loop.schedule(t.c.loop.now() + 100 * kMs, [&] { t.c.w.JISCheckBox.click(); });
  t.c.w.BuzzerCheckBox.click();
  t.c.loop.runFor(3000 * kMs);
  // Nothing for the JIS box.
  EXPECT_EQ(t.heardSince(mark), (Heard{Hex("09 00 03 42 5A 44 56"), kReset, kRE1}));
  EXPECT_EQ(t.c.w.JISCheckBox.value(), 1);
  EXPECT_EQ(t.c.w.JISCheckBox.backColor(), platform::kLightGreen);
}

TEST(Toggles, RtsCtsInterlockAndPortFlowControl) {
  // The legacy edition drops the port's flow control on "CTD", the current one on "RTD".
  struct Row {
    const char* name;
    Edition edition;
    platform::Handshaking afterCtd;
  };
  for (const Row& row : {Row{"current", Edition::Current, platform::comRTS},
                         Row{"legacy", Edition::Legacy, platform::comNone}}) {
    SCOPED_TRACE(row.name);
    Loaded t(row.edition);
    auto& rts = t.c.w.RTSCheckBox;
    auto& cts = t.c.w.CTSCheckBox;
    const std::size_t mark = t.mark();
    cts.click();      // checked with RTS off: refused, waits for the time-out, reads back
    cts.setValue(0);  // unchecked with RTS off: refused too, no "CTD"
    EXPECT_EQ(t.heardSince(mark), (Heard{kRE1, kRE1}));
    EXPECT_EQ(t.heardDuring([&] { rts.click(); }), (Heard{Hex("09 00 03 52 54 45 49"), kRE1}));
    EXPECT_EQ(t.heardDuring([&] { cts.click(); }), (Heard{Hex("09 00 03 43 54 45 58"), kRE1}));
    EXPECT_EQ(t.c.port.handshaking(), platform::comRTS);
    EXPECT_EQ(t.c.w.CTSLabel.caption(), "Enable");
    EXPECT_EQ(t.heardDuring([&] { cts.click(); }), (Heard{Hex("09 00 03 43 54 44 59"), kRE1}));
    EXPECT_EQ(t.c.port.handshaking(), row.afterCtd);
    rts.click();
    EXPECT_EQ(t.c.port.handshaking(), platform::comNone);
    EXPECT_EQ(t.c.w.RTSLabel.caption(), "Disable");
  }
}

TEST(Defaults, RestoreReaderDefaultsReopensAt9600AndReadsBack) {
  Loaded t;
  t.c.w.BuzzerCheckBox.click();
  t.c.w.JISCheckBox.click();
  const int opens = t.c.port.opens();
  EXPECT_EQ(t.heardDuring([&] { t.c.m().DefaultButton_Click(); }),
            (Heard{Hex("09 00 03 44 46 00 08"), kReset, kReset, kRE1}));
  EXPECT_EQ(t.c.port.opens(), opens + 1);
  EXPECT_EQ(t.c.port.settings(), "9600,n,8,1");
  EXPECT_EQ(t.c.port.handshaking(), platform::comNone);
  EXPECT_EQ(t.c.w.BuzzerLabel.caption(), "Enable");
  EXPECT_EQ(t.c.w.JISCheckBox.backColor(), platform::kLightGreen);
  EXPECT_EQ(t.reader->model().config(), sim::ReaderConfig{});
}

TEST(Tracks, SelectionFramesFollowTheMask) {
  Loaded t;
  struct Step {
    const char* name;
    FakeCheck W::*box;
    Heard sent;
  };
  const Step steps[] = {
      {"uncheck_tk1_sends_tk6", &W::TK1CheckBox, {Hex("09 00 03 54 4B 36 23")}},
      {"uncheck_tk2_sends_tk4", &W::TK2CheckBox, {Hex("09 00 03 54 4B 34 21")}},
      {"last_track_stays", &W::TK3CheckBox, {}},
      {"check_tk1_sends_tk5", &W::TK1CheckBox, {Hex("09 00 03 54 4B 35 20")}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const std::size_t mark = t.mark();
    (t.c.w.*step.box).click();
    t.c.loop.runFor(100 * kMs);
    EXPECT_EQ(t.heardSince(mark), step.sent);
  }
  EXPECT_EQ(t.c.w.TK3CheckBox.value(), 1);
  EXPECT_EQ(t.reader->model().config().trackMask, 5);
}

TEST(Tracks, ClickDuringAWaitIsDeferredNotNested) {
  Loaded t;
  t.reader->setReplyDelay(400 * kMs);
  const std::size_t mark = t.mark();
  t.c.loop.schedule(t.c.loop.now() + 50 * kMs, [&] { t.c.w.TK1CheckBox.click(); });
  t.c.m().txtSend_Click(19);       // "One Long Beep", answered late
  EXPECT_EQ(t.c.panel(4), "ACK");  // the beep's own answer reached its own waiter
  t.c.loop.runFor(2000 * kMs);
  EXPECT_EQ(t.heardSince(mark), (Heard{"Z", Hex("09 00 03 54 4B 36 23")}));
  EXPECT_EQ(t.reader->model().config().trackMask, 6);
}

// Every item code's bytes are pinned with the command list; here the boxes of "Pause Transmit"
// and "Resume Transmit".
TEST(HostCommands, PauseAndResumeShowTheirBoxes) {
  Loaded t;
  const std::size_t written = t.c.port.written().size();
  for (int code : {21, 22}) t.c.m().txtSend_Click(code);
  EXPECT_EQ(t.c.port.written().substr(written), "\x13\x11");
  ASSERT_EQ(t.c.shell.boxes.size(), 2u);
  EXPECT_EQ(t.c.shell.boxes[0].text, "Pause");
  EXPECT_EQ(t.c.shell.boxes[1].text, "Resume");
  EXPECT_EQ(t.c.shell.boxes[0].title, "Information");
}

TEST(HostCommands, CardTypeReportAndReadConfigStatus) {
  Loaded t;
  sim::Card card = sim::SampleCards().front();
  card.type = '3';
  t.reader->model().swipe(card);  // remembered, nothing sent
  t.c.m().txtSend_Click(23);
  EXPECT_EQ(t.c.panel(4), "ISO");
  EXPECT_EQ(t.c.w.CardTypeLabel.caption(), "ISO");
}

}  // namespace
}  // namespace tkr::testing
