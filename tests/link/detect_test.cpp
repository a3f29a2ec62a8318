// Finding the reader at start-up and on "Auto Comm", on the virtual clock.
#include <gtest/gtest.h>

#include "tests/link/reader_fixture.h"

namespace tkr::testing {
namespace {

TEST(Detection, ReaderOnCom1IsFoundInTheFirstStep) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    SCOPED_TRACE(edition == Edition::Legacy ? "legacy" : "current");
    Loaded t(edition);
    EXPECT_EQ(t.c.port.commPort(), 1);
    EXPECT_EQ(t.c.w.StepLabel.caption(), "Step 1 of 16");
    EXPECT_EQ(t.c.w.DataLabel.caption(), "9600,n,8,1");
    EXPECT_FALSE(t.c.forms.loaded(FormId::Detecting));
    const Bytes version = sim::ReaderModel().hostWrote("9").front().bytes;
    EXPECT_EQ(t.c.w.FWLabel.caption(), edition == Edition::Legacy ? version : version.substr(0, 8));
    EXPECT_EQ(t.c.w.BusyTextLabel.caption(), "Ready");
    EXPECT_LT(t.c.loop.now(), 1000 * kMs);  // no stale 2 s time-out stalls the start-up
    // The probes, the version read, the read-out of the scan and the one of the load.
    EXPECT_EQ(t.heard(), (std::vector<Bytes>{"9", "\x7F", "9", kRE1, kRE1}));
  }
}

TEST(Detection, ScanEndsAtTheReadersPortOrInThePortDialog) {
  // readerCom 0: no simulated reader; foundOn 0: not found, the port dialog shows.
  struct Row {
    const char* name;
    int readerCom;
    void (*setup)(WithReader&, ScriptedDevice& com1);
    int foundOn;
  };
  const Row rows[] = {
      {"last_port_com16", 16, nullptr, 16},
      {"other_device_answer_passed_over", 2,
       [](WithReader& t, ScriptedDevice& modem) {
         modem.setAnswer([](const Bytes&) { return Bytes("OK\r\n"); });
         t.c.port.attach(1, &modem);
       },
       2},
      {"silent_after_warm_reset_still_found", 0,
       [](WithReader& t, ScriptedDevice& quiet) {
         quiet.setAnswer([](const Bytes& w) {
           if (w == "9") return Bytes("TKR510V1.07");
           if (w.size() == 7 && w[3] == 'R' && w[5] == '1') return Bytes("80000100");
           return Bytes();
         });
         t.c.port.attach(1, &quiet);
       },
       1},
      {"unplugged_during_a_slow_probe_never_hangs", 1,
       [](WithReader& t, ScriptedDevice&) {
         t.reader->setReplyDelay(300 * kMs);
         t.c.loop.schedule(150 * kMs, [&t] { t.reader->unplug(); });
       },
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WithReader t(Edition::Current, row.readerCom);
    ScriptedDevice other(t.c.loop);
    if (row.setup) row.setup(t, other);
    t.load();
    EXPECT_EQ(t.c.port.portOpen(), row.foundOn > 0);
    EXPECT_EQ(t.c.forms.visible(FormId::ComPort), row.foundOn == 0);
    if (row.foundOn == 0) continue;
    EXPECT_EQ(t.c.port.commPort(), row.foundOn);
    EXPECT_EQ(t.c.w.StepLabel.caption(), "Step " + std::to_string(row.foundOn) + " of 16");
    EXPECT_EQ(t.c.w.BuzzerLabel.caption(), "Enable");  // the read-out of the load came back
    // Missing ports cost no time (the unanswered warm reset costs its wait).
    EXPECT_TRUE(row.readerCom == 0 || t.c.loop.now() < 1000 * kMs);
  }
}

// With no reader: 16 probes of one second each, then the load's read-out warns of the closed
// port. Cancel 2.5 s in (during the third probe): the probe in progress finishes, the next port
// is opened and closed, and the scan stops.
TEST(Detection, NoReaderOrCancelEndsInThePortDialog) {
  struct Row {
    const char* name;
    int cancelMs;
    int opens;
    int endsFromMs, endsBeforeMs;
  };
  for (const Row& row :
       {Row{"no_reader", 0, 16, 16000, 19000}, Row{"cancel", 2500, 4, 5000, 5001}}) {
    SCOPED_TRACE(row.name);
    WithReader t(Edition::Current, 0);
    FakeConsole& c = t.c;
    ScriptedDevice silent(c.loop);
    for (int port = 1; port <= 16; ++port) c.port.attach(port, &silent);
    if (row.cancelMs) c.loop.schedule(row.cancelMs * kMs, [&] { c.m().CancelCmdBtn_Click(); });
    t.load();
    EXPECT_EQ(c.m().DetectCancelled, row.cancelMs > 0);
    EXPECT_FALSE(c.port.portOpen());
    EXPECT_TRUE(c.forms.visible(FormId::ComPort));
    EXPECT_FALSE(c.forms.loaded(FormId::Detecting));
    EXPECT_EQ(c.port.opens(), row.opens);
    EXPECT_GE(c.loop.now(), row.endsFromMs * kMs);
    EXPECT_LT(c.loop.now(), row.endsBeforeMs * kMs);
    EXPECT_EQ(c.w.BusyTextLabel.caption(), "Card Reader is not connected or defective.");
    EXPECT_FALSE(c.w.PreSuffixCommand.enabled());
  }
}

}  // namespace
}  // namespace tkr::testing
