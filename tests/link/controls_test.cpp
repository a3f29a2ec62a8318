// The operator's controls against the simulated reader: toggles, defaults, tracks, commands.
#include <gtest/gtest.h>

#include "tests/protocol/hex_bytes.h"
#include "tests/link/reader_fixture.h"

namespace tkr::testing {
namespace {

TEST(Toggles, EachPlainToggleSendsItsFrameResetAndReadOut) {
  struct Row {
    const char* name;
    FakeCheck FakeMainWindow::*box;
    Bytes frame;  // the frame the click sends from the default configuration
    FakeControl FakeMainWindow::*label;
    Bytes labelAfter;
  };
  using W = FakeMainWindow;
  const Row rows[] = {
      {"buzzer_off", &W::BuzzerCheckBox, Frame({9, 0, 3, 0x42, 0x5A, 0x44, 0x56}), &W::BuzzerLabel, "Disable"},
      {"jis_on", &W::JISCheckBox, Frame({9, 0, 3, 0x4A, 0x48, 0x45, 0x4D}), &W::JISLabel, "With"},
      {"lrc_off", &W::LRCCheckBox, Frame({9, 0, 3, 0x4C, 0x43, 0x44, 0x41}), &W::LRCLabel, "No LRC"},
      {"self_arm_on", &W::SelfArmCheckBox, Frame({9, 0, 3, 0x53, 0x41, 0x45, 0x5D}), &W::SelfArmLabel, "Enable"},
      {"sses_off", &W::SSESCheckBox, Frame({9, 0, 3, 0x45, 0x53, 0x44, 0x58}), &W::SSESLabel, "No SS&&ES"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WithReader t;
    t.load();
    FakeCheck& box = t.c.w.*row.box;
    const std::size_t mark = t.mark();
    box.click();
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{row.frame, kReset, kRE1}));
    EXPECT_EQ((t.c.w.*row.label).caption(), row.labelAfter);
    EXPECT_EQ(box.backColor(), box.value() ? platform::kGreen : platform::kLightGreen);
    EXPECT_FALSE(t.c.m().ToggleBusy);
    EXPECT_EQ(t.c.panel(2), "[09][00][03]RE1,");  // the read-out was the last command
  }
}

TEST(Toggles, ClickDuringAnotherWaitIsIgnored) {
  WithReader t;
  t.load();
  t.reader->setReplyDelay(500 * kMs);
  const std::size_t mark = t.mark();
  t.c.loop.schedule(t.c.loop.now() + 100 * kMs, [&] { t.c.w.JISCheckBox.click(); });
  t.c.w.BuzzerCheckBox.click();
  t.c.loop.runFor(3000 * kMs);
  EXPECT_EQ(t.heardSince(mark).front(), Frame({9, 0, 3, 0x42, 0x5A, 0x44, 0x56}));
  EXPECT_EQ(t.heardSince(mark).size(), 3u);  // nothing for the JIS box
  EXPECT_EQ(t.c.w.JISCheckBox.value(), 1);
  EXPECT_EQ(t.c.w.JISCheckBox.backColor(), platform::kLightGreen);
}

TEST(Toggles, RtsCtsInterlockAndPortFlowControl) {
  // The legacy edition drops the port's flow control on "CTD", the current one on "RTD".
  struct Row { const char* name; Edition edition; platform::Handshaking afterCtd; };
  for (const Row& row : {Row{"current", Edition::Current, platform::comRTS},
                         Row{"legacy", Edition::Legacy, platform::comNone}}) {
    SCOPED_TRACE(row.name);
    WithReader t(row.edition);
    t.load();
    auto& rts = t.c.w.RTSCheckBox;
    auto& cts = t.c.w.CTSCheckBox;
    std::size_t mark = t.mark();
    cts.click();      // checked with RTS off: refused, waits for the time-out, reads back
    cts.setValue(0);  // unchecked with RTS off: refused too, no "CTD"
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{kRE1, kRE1}));
    mark = t.mark();
    rts.click();
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{Frame({9, 0, 3, 0x52, 0x54, 0x45, 0x49}), kRE1}));
    mark = t.mark();
    cts.click();
    EXPECT_EQ(t.c.port.handshaking(), platform::comRTS);
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{Frame({9, 0, 3, 0x43, 0x54, 0x45, 0x58}), kRE1}));
    EXPECT_EQ(t.c.w.CTSLabel.caption(), "Enable");
    mark = t.mark();
    cts.click();
    EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{Frame({9, 0, 3, 0x43, 0x54, 0x44, 0x59}), kRE1}));
    EXPECT_EQ(t.c.port.handshaking(), row.afterCtd);
    rts.click();
    EXPECT_EQ(t.c.port.handshaking(), platform::comNone);
    EXPECT_EQ(t.c.w.RTSLabel.caption(), "Disable");
  }
}

TEST(Defaults, RestoreReaderDefaultsReopensAt9600AndReadsBack) {
  WithReader t;
  t.load();
  t.c.w.BuzzerCheckBox.click();
  t.c.w.JISCheckBox.click();
  ASSERT_EQ(t.c.w.BuzzerLabel.caption(), "Disable");
  const int opens = t.c.port.opens();
  const std::size_t mark = t.mark();
  t.c.m().DefaultButton_Click();
  EXPECT_EQ(t.heardSince(mark),
            (std::vector<Bytes>{Frame({9, 0, 3, 0x44, 0x46, 0x00, 0x08}), kReset, kReset, kRE1}));
  EXPECT_EQ(t.c.port.opens(), opens + 1);
  EXPECT_EQ(t.c.port.settings(), "9600,n,8,1");
  EXPECT_EQ(t.c.port.handshaking(), platform::comNone);
  EXPECT_EQ(t.c.w.BuzzerLabel.caption(), "Enable");
  EXPECT_EQ(t.c.w.JISCheckBox.backColor(), platform::kLightGreen);
  EXPECT_EQ(t.reader->model().config(), sim::ReaderConfig{});
}

TEST(Tracks, SelectionFramesFollowTheMask) {
  WithReader t;
  t.load();
  using W = FakeMainWindow;
  struct Step { const char* name; FakeCheck W::*box; std::vector<Bytes> sent; };
  const Step steps[] = {
      {"uncheck_tk1_sends_tk6", &W::TK1CheckBox, {Frame({9, 0, 3, 0x54, 0x4B, 0x36, 0x23})}},
      {"uncheck_tk2_sends_tk4", &W::TK2CheckBox, {Frame({9, 0, 3, 0x54, 0x4B, 0x34, 0x21})}},
      {"last_track_stays", &W::TK3CheckBox, {}},
      {"check_tk1_sends_tk5", &W::TK1CheckBox, {Frame({9, 0, 3, 0x54, 0x4B, 0x35, 0x20})}},
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
  WithReader t;
  t.load();
  t.reader->setReplyDelay(400 * kMs);
  const std::size_t mark = t.mark();
  t.c.loop.schedule(t.c.loop.now() + 50 * kMs, [&] { t.c.w.TK1CheckBox.click(); });
  t.c.m().txtSend_Click(19);  // "One Long Beep", answered late
  EXPECT_EQ(t.c.panel(4), "ACK");  // the beep's own answer reached its own waiter
  t.c.loop.runFor(2000 * kMs);
  EXPECT_EQ(t.heardSince(mark), (std::vector<Bytes>{"Z", Frame({9, 0, 3, 0x54, 0x4B, 0x36, 0x23})}));
  EXPECT_EQ(t.reader->model().config().trackMask, 6);
}

TEST(HostCommands, EachItemCodeWritesExactlyItsBytes) {
  WithReader t;
  t.load();
  const std::size_t written = t.c.port.written().size();
  for (int code = 0; code < 32; ++code) t.c.m().txtSend_Click(code);
  // Item codes 0 to 31 in turn.
  EXPECT_EQ(t.c.port.written().substr(written),
            protocol::test::Hex("50 70 51 52 53 55 56 57 75 76 77 25 23 4C 6C 4D 6D 28 29 5A 7A 13 11 "
                                "54 1B 39 7F 24 09 00 03 52 45 00 1D 09 00 03 52 45 31 2C "
                                "09 00 03 52 45 32 2F 09 00 03 52 45 33 2E"));
  // The two message boxes, after their bytes went out.
  ASSERT_EQ(t.c.shell.boxes.size(), 2u);
  EXPECT_EQ(t.c.shell.boxes[0].text, "Pause");
  EXPECT_EQ(t.c.shell.boxes[1].text, "Resume");
  EXPECT_EQ(t.c.shell.boxes[0].title, "Information");
}

TEST(HostCommands, CardTypeReportAndReadConfigStatus) {
  WithReader t;
  t.load();
  sim::Card card = sim::SampleCards().front();
  card.type = '3';
  t.reader->model().swipe(card);  // remembered, nothing sent
  t.c.m().txtSend_Click(23);
  EXPECT_EQ(t.c.panel(4), "ISO");
  EXPECT_EQ(t.c.w.CardTypeLabel.caption(), "ISO");
  t.c.w.BuzzerLabel.setCaption("kept");
  t.c.m().txtSend_Click(29);
  EXPECT_EQ(t.c.w.BuzzerLabel.caption(), "kept");
}

}  // namespace
}  // namespace tkr::testing
