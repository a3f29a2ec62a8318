// The reader API: what each call reports for a reader, a foreign device, a silent one and one
// that goes away mid-command; and the interlock's order of clicks.
#include "core/link/reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "sim/in_process.h"
#include "tests/support/fake_console.h"

namespace tkr::testing {
namespace {

using link::Outcome;
using link::Toggle;
using Kind = Outcome::Kind;

struct Bench {
  Bench() {
    reader.attachTo(port, 1);
    port.attach(3, &foreign);
  }
  // The reader goes away the first time it has heard `command` and answered it.
  void vanishAfter(const Bytes& command) {
    loop.afterEachEvent = [this, command] {
      const auto& heard = reader.received();
      if (vanishing || heard.empty() || heard.back() != command) return;
      vanishing = true;
      loop.after(20 * kMs, [this] { reader.unplug(); });
    };
  }
  FakeLoop loop;
  FakeSerialPort port{loop};
  FakeTimer t1{loop}, t2{loop}, t3{loop};
  sim::InProcessReader reader{loop};
  ScriptedDevice foreign{loop};
  link::Reader api{{port, t1, t2, t3, loop}};
  bool vanishing = false;
};

const Bytes kBZD = MakeBytes({0x09, 0x00, 0x03, 'B', 'Z', 'D', 0x56});
const Bytes kDF = MakeBytes({0x09, 0x00, 0x03, 'D', 'F', 0x00, 0x08});

TEST(Reader, SaysWhatCameOfEachCall) {
  struct Row {
    const char* name;
    std::function<void(Bench&)> arrange;
    std::function<Outcome(link::Reader&)> call;
    Kind kind;
    const char* reason;  // contained in the reason; empty for none
  };
  const auto connected = [](const std::function<Outcome(link::Reader&)>& then) {
    return [then](link::Reader& r) {
      const Outcome o = r.Connect(1, "9600,n,8,1");
      return o.ok() ? then(r) : o;
    };
  };
  const Row rows[] = {
      {"a reader", [](Bench&) {}, connected([](link::Reader&) { return Outcome{}; }), Kind::Done,
       ""},
      {"no device on the number", [](Bench&) {},
       [](link::Reader& r) { return r.Connect(2, "9600,n,8,1"); }, Kind::OpenFailed,
       "COM2: no device on this number"},
      {"a silent reader", [](Bench& b) { b.reader.setFault(sim::Fault::Silent); },
       connected([](link::Reader&) { return Outcome{}; }), Kind::NoAnswer,
       "COM1: no answer from the reader to 9"},
      {"a modem",
       [](Bench& b) { b.foreign.setAnswer([](const Bytes&) { return Bytes("OK\r\n"); }); },
       [](link::Reader& r) { return r.Connect(3, "9600,n,8,1"); }, Kind::NotReader,
       "COM3: the device that answers is not a TKR520 reader (it answered \"OK\\x0D\\x0A\" to 9)"},
      {"a version but no configuration",
       [](Bench& b) {
         b.foreign.setAnswer([](const Bytes& w) {
           return Bytes(w == "9" ? "TKR510V1" : w == "\x7F" ? ":" : "ERROR\r\n");
         });
       },
       [](link::Reader& r) { return r.Connect(3, "9600,n,8,1"); }, Kind::NotReader,
       "(it answered \"ERROR\\x0D\\x0A\" to"},
      {"lost after the buzzer frame's acknowledgement", [](Bench& b) { b.vanishAfter(kBZD); },
       connected([](link::Reader& r) { return r.SetToggle(Toggle::Buzzer, false); }), Kind::Lost,
       "COM1: the reader was lost"},
      {"lost after the defaults frame", [](Bench& b) { b.vanishAfter(kDF); },
       connected([](link::Reader& r) { return r.RestoreDefaults(); }), Kind::Lost,
       "COM1: the reader was lost"},
      {"lost after the version answer", [](Bench& b) { b.vanishAfter("9"); },
       connected([](link::Reader& r) { return r.ReadSettings(); }), Kind::Lost,
       "COM1: the reader was lost"},
      {"no reader anywhere", [](Bench& b) { b.reader.setFault(sim::Fault::Silent); },
       [](link::Reader& r) { return r.Detect(); }, Kind::NoAnswer,
       "no reader answered on COM1..COM16:\n  COM1: no answer\n  COM2: no device on this number\n"
       "  COM3: no answer\n  COM4: no device"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bench b;
    row.arrange(b);
    const Outcome o = row.call(b.api);
    EXPECT_EQ(o.kind, row.kind) << o.reason;
    EXPECT_NE(o.reason.find(row.reason), std::string::npos) << o.reason;
    // Nothing decoded from what is not the reader's answer, and nothing stale after a loss.
    if (!o.ok()) {
      EXPECT_TRUE(b.api.readerSettings().items.empty());
    }
  }
}

// A port that does not open is reported before anything is written or any time passes.
TEST(Reader, AFailedOpenCostsNoTime) {
  Bench b;
  EXPECT_EQ(b.api.Connect(5, "9600,n,8,1").kind, Kind::OpenFailed);
  EXPECT_EQ(b.loop.now(), 0);
  EXPECT_TRUE(b.port.writes().empty());
}

// The read-back is what the reader reports, also when it acknowledges and ignores a change.
TEST(Reader, ReadBackIsTheReadersAnswer) {
  for (const bool ignored : {false, true}) {
    SCOPED_TRACE(ignored ? "ignored" : "taken");
    Bench b;
    if (ignored) b.reader.model().ignore("BZ");
    ASSERT_TRUE(b.api.Connect(1, "9600,n,8,1").ok());
    EXPECT_EQ(b.api.firmware(), "TKR510V1");
    ASSERT_TRUE(b.api.SetToggle(Toggle::Buzzer, false).ok());
    EXPECT_EQ(b.api.readerSettings().caption(protocol::ConfigItem::Buzzer),
              ignored ? "Enable" : "Disable");
  }
}

TEST(Interlock, OrderOfClicks) {
  // From (rts, cts) to (wantRts, wantCts): CTS changes only while RTS is on, RTS only while
  // CTS is off, as the boxes stand after each click. "R" an RTS click, "C" a CTS click, "-"
  // no order at all.
  struct Row {
    int rts, cts, wantRts, wantCts;
    const char* plan;
  };
  const Row rows[] = {
      {0, 0, 0, 0, ""},   {0, 0, 1, 0, "R"}, {0, 0, 0, 1, "-"}, {0, 0, 1, 1, "RC"},
      {1, 0, 0, 0, "R"},  {1, 0, 1, 0, ""},  {1, 0, 0, 1, "-"}, {1, 0, 1, 1, "C"},
      {0, 1, 0, 0, "-"},  {0, 1, 1, 0, "-"}, {0, 1, 0, 1, ""},  {0, 1, 1, 1, "-"},
      {1, 1, 0, 0, "CR"}, {1, 1, 1, 0, "C"}, {1, 1, 0, 1, "-"}, {1, 1, 1, 1, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.rts << row.cts << " to " << row.wantRts << row.wantCts);
    const auto plan = link::PlanHandshake(row.rts, row.cts, row.wantRts, row.wantCts);
    std::string clicks = plan ? "" : "-";
    for (Toggle t : plan.value_or(std::vector<Toggle>{})) clicks += t == Toggle::RTS ? "R" : "C";
    EXPECT_EQ(clicks, row.plan);
  }
}

}  // namespace
}  // namespace tkr::testing
