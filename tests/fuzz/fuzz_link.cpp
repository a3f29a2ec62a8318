// Module1 with the simulated reader on the virtual clock, driven by a script of line bytes,
// pauses and operator events decoded from the input. Each event runs at its virtual time, so
// it lands in whatever state the console is in then: idle, inside a wait, during detection,
// fetching a track, with a dialog's routine pending. After each event the monitor is checked
// against the bytes that crossed the line, and the exchange state against itself.
#include <algorithm>
#include <deque>
#include <string_view>
#include <vector>

#include "core/protocol/monitor_format.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/link/reader_fixture.h"

namespace {

using namespace tkr;
using namespace tkr::testing;
using fuzz::Require;
using link::Module1;

constexpr std::string_view kBusyText = "Under processing, please don't swipe card!";

// The monitor's records as written: a header line, then one "XXh " per byte and CR LF. A
// reception past the reply buffer's limit goes on in further data lines under the same header;
// each of them is an entry of its own here, without a header.
struct Record {
  bool toReader;
  Bytes bytes;
  std::size_t chars;
  bool header = true;
};

void ParseRecords(std::string_view text, std::deque<Record>& out) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const std::string_view head = text.substr(i, 10);
    const bool header = head == "PC-->MSR\r\n" || head == "PC<--MSR\r\n";
    Require(header || (!out.empty() && !out.back().toReader), "monitor: record header");
    Record r{header && head[2] == '-', {}, 0, header};
    for (i += header ? 10 : 0; i + 1 < text.size() && text[i] != '\r'; i += 4) {
      Require(i + 4 <= text.size() && text[i + 2] == 'h' && text[i + 3] == ' ' &&
                  protocol::HexDigitValue(text[i], true) >= 0 &&
                  protocol::HexDigitValue(text[i + 1], true) >= 0,
              "monitor: byte as XXh");
      r.bytes += static_cast<char>(protocol::HexDigitValue(text[i], true) * 16 +
                                   protocol::HexDigitValue(text[i + 1], true));
    }
    Require(text.substr(i, 2) == "\r\n", "monitor: data line end");
    i += 2;
    r.chars = i - start;
    out.push_back(std::move(r));
  }
}

// The monitor as the console changed it, parsed and matched against the line as records
// come: each check looks only at what changed since the last one, since going over the whole
// text (up to 1 MiB) after every step made the fuzzing crawl. A trim or a clear starts the
// matching over on the records left, as a check of the whole text would see them.
struct Monitor : WatchedLog::Watcher {
  void appended(const std::string& t) override { text += t; }
  void trimmed(std::size_t lines) override {  // the oldest lines go, as the box drops them
    std::size_t cut = 0;
    for (std::size_t i = 0; i < lines && cut < text.size(); ++i) {
      const std::size_t end = text.find('\n', cut);
      cut = end == std::string::npos ? text.size() : end + 1;
    }
    text.erase(0, cut);
    for (; !records.empty() && cut >= records.front().chars; records.pop_front()) {
      cut -= records.front().chars;
      checked -= records.front().chars;
      toReader -= records.front().toReader;
    }
    Require(cut == 0 || records.empty(), "monitor: trimmed inside a record");
    matched = 0;
  }
  void cleared() override {
    text.clear();
    records.clear();
    checked = toReader = matched = 0;
  }

  std::string text;
  std::size_t checked = 0;  // text[0, checked) is parsed into records
  std::deque<Record> records;
  std::size_t toReader = 0;  // records of commands among them
  // Records [0, matched) are matched: the commands to writes from `base` on, the receptions
  // to the delivered line before `from`.
  std::size_t matched = 0, base = 0, nextWrite = 0, from = 0;
};

struct Run {
  explicit Run(Edition edition) : r(edition) { r.c.w.txtReceive.watcher = &monitor; }

  void check(bool whole = false) {
    Module1& m = r.c.m();
    Require(m.ReplyBuffer.size() <= Module1::kReplyBufferLimit, "reply buffer past its limit");
    Require(!m.ToggleBusy || m.ExchangeActive(), "a wait outside any exchange");
    const Bytes busy = r.c.w.BusyTextLabel.caption();
    const platform::Color colour = r.c.w.BusyLabel.backColor();
    Require(busy == "Ready"
                ? colour == platform::kGreen
                : colour == platform::kRed || (busy.empty() && colour == platform::kGreen),
            "busy indicator colour and text disagree");
    Require(!m.ToggleBusy || busy == kBusyText || busy == "Ready",
            "a running wait shows the no-reader text");

    Monitor& mon = monitor;
    // Now and then, and at the end, the box's own text against what the console wrote.
    if (whole || ++checks % 64 == 0) Require(r.c.monitor() == mon.text, "monitor: box text");
    const std::size_t parsed = mon.records.size();
    ParseRecords(std::string_view(mon.text).substr(mon.checked), mon.records);
    mon.checked = mon.text.size();
    for (std::size_t i = parsed; i < mon.records.size(); ++i)
      mon.toReader += mon.records[i].toReader;
    const std::size_t count = mon.records.size();
    const auto headers = std::count_if(mon.records.begin(), mon.records.end(),
                                       [](const Record& rec) { return rec.header; });
    Require(mon.text.size() == m.monitor().size(), "monitor size bookkeeping");
    Require(mon.text.size() <= link::MonitorLog::kLimit || headers == 1, "monitor past its bound");
    // Every command since the monitor was last emptied stands there, in order; receptions
    // are runs of the delivered bytes in the order they came (bytes flushed or cut short by
    // a new command leave gaps).
    const std::vector<Bytes>& writes = r.c.port.writes();
    Require(mon.toReader <= writes.size(), "monitor shows more commands than were sent");
    if (writes.size() - mon.toReader != mon.base) mon.matched = 0;  // more commands went out
    if (mon.matched == 0) {
      mon.base = mon.nextWrite = writes.size() - mon.toReader;
      mon.from = 0;
    }
    const Bytes& line = r.c.port.delivered();
    for (; mon.matched < count; ++mon.matched) {
      const Record& rec = mon.records[mon.matched];
      const Record* previous = mon.matched > 0 ? &mon.records[mon.matched - 1] : nullptr;
      // The legacy edition logs an unrecognised reply a second time, right after the first:
      // what the buffer kept of it, which for a long reply is its head. That began before the
      // bytes last matched (which may be matched early: a run of zeros is found at its first).
      const bool echo =
          previous && !previous->toReader && rec.header && line.find(rec.bytes) < mon.from;
      if (rec.toReader) {
        Require(rec.bytes == writes[mon.nextWrite++],
                "monitor: a command differs from what was sent");
      } else if (echo && m.legacy()) {
      } else {
        const std::size_t at = line.find(rec.bytes, mon.from);
        Require(at != Bytes::npos, "monitor: a reception that did not come in that order");
        mon.from = at + rec.bytes.size();
      }
    }
    if (monitorCleared) Require(mon.text.empty(), "Clear left text in the monitor");
    monitorCleared = false;
  }

  Monitor monitor;  // outlives the console, which may still write while it goes
  WithReader r;
  bool monitorCleared = false;
  unsigned checks = 0;
};

// One operator or line event, decoded from the input; runs at its virtual time.
void Step(Run& run, fuzz::Input& in) {
  FakeConsole& c = run.r.c;
  Module1& m = c.m();
  sim::InProcessReader& reader = *run.r.reader;
  FakeCheck* const toggles[] = {&c.w.BuzzerCheckBox,  &c.w.JISCheckBox,  &c.w.LRCCheckBox,
                                &c.w.SelfArmCheckBox, &c.w.SSESCheckBox, &c.w.RTSCheckBox,
                                &c.w.CTSCheckBox};
  FakeCheck* const tracks[] = {&c.w.TK1CheckBox, &c.w.TK2CheckBox, &c.w.TK3CheckBox};
  static const char* const kBauds[] = {"1200", "2400", "4800", "9600", "19200", "300"};
  static const char* const kFrames[] = {"n,8,1", "e,7,1", "o,7,1", "m,7,1", "s,7,1", "x,9,9"};
  switch (in.below(16)) {
    case 0: {
      // A receive event always brings at least one byte.
      const Bytes data = in.bytes(40);
      if (!data.empty()) c.port.deliver(data);
      break;
    }
    case 1: {  // a device that streams: slices of one byte pattern, back to back
      // Up to 16 KiB a step: past the reply buffer's limit at once, past the monitor's bound
      // in a few dozen steps, and small enough to keep the fuzzing fast.
      const Bytes slice(static_cast<std::size_t>(in.byte()) * 4 + 1, static_cast<char>(in.byte()));
      for (int n = in.below(16) + 1; n > 0; --n) c.port.deliver(slice);
      break;
    }
    case 2: {
      const auto& cards = sim::SampleCards();
      reader.swipe(cards[in.byte() % cards.size()]);
      break;
    }
    case 3:
      toggles[in.below(7)]->click();
      break;
    case 4:
      tracks[in.below(3)]->click();
      break;
    case 5:
      m.DefaultButton_Click();
      break;
    case 6:
      m.RestartCommandButton_Click();
      break;
    case 7:
      m.ClearButton_Click();
      run.monitorCleared = true;
      break;
    case 8:
      m.txtSend_Click(in.byte() - 1);
      break;
    case 9:
      m.SendTyped(in.bytes(8));
      break;
    case 10: {  // the port dialog's Done or Default
      const int port = in.below(3) + 1, baud = in.below(6), frame = in.below(6);
      const bool handshake = in.byte() & 1, useDefault = in.byte() & 1;
      m.RunWhenIdle([&m, port, baud, frame, handshake, useDefault] {
        if (useDefault) return m.ComPortDefault();
        m.PortNumber = port;
        m.BaudSetting = kBauds[baud];
        m.FrameSetting = kFrames[frame];
        m.HardwareHandshake = handshake;
        m.ApplyPortSettings();
      });
      break;
    }
    case 11: {  // the card type dialog's Done
      const int protocol = in.below(4);
      m.RunWhenIdle([&m, protocol] {
        m.ReaderProtocol = protocol;
        m.SendProtocolSetting();
      });
      break;
    }
    case 12: {  // the code dialog's OK
      link::CodeSettings codes;
      for (auto& group : codes) {
        group.useDefault = in.byte() & 1;
        if (!group.useDefault)
          for (auto& box : group.boxes) box = in.bytes(3);
      }
      m.RunWhenIdle([&m, codes] { m.SendCodeSettings(codes); });
      break;
    }
    case 13:
      if (c.forms.loaded(FormId::Detecting)) m.CancelCmdBtn_Click();
      break;
    case 14:
      switch (in.below(6)) {
        case 0:
          reader.setFault(sim::Fault::Normal);
          break;
        case 1:
          reader.setFault(sim::Fault::Silent);
          break;
        case 2:
          reader.setFault(sim::Fault::Garbage);
          break;
        case 3:
          reader.unplug();
          break;
        case 4:
          reader.replug();
          break;
        default:
          reader.setReplyDelay(in.u16() * 50);
          break;
      }
      break;
    default: {  // line events without data: handshake lines, framing error, lost device
      const int events[] = {platform::comEvCTS,      platform::comEvDSR,
                            platform::comEvCD,       platform::comEvRing,
                            platform::comEventFrame, platform::comEventOverrun};
      c.port.raise(events[in.below(6)]);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  Run run(in.byte() & 1 ? Edition::Legacy : Edition::Current);
  FakeLoop& loop = run.r.c.loop;
  // The script is laid out on the clock first; the start-up then runs into it.
  Micros at = 0;
  // Each step owns a few bytes of its own, so the script keeps its shape however the
  // console's state turns out when the step runs.
  std::deque<std::string> chunks;
  while (!in.empty()) {
    const int pause = in.byte();
    at += pause < 200 ? pause * 100 : (pause - 199) * 50 * platform::fake::kMs;
    chunks.push_back({});
    for (int n = in.byte() % 24 + 1; n > 0 && !in.empty(); --n)
      chunks.back() += static_cast<char>(in.byte());
    const std::string* own = &chunks.back();
    loop.schedule(at, [&run, own] {
      fuzz::Input stepIn(reinterpret_cast<const std::uint8_t*>(own->data()), own->size());
      run.check();
      // An event that comes while an exchange or a scan runs may queue an exchange of its
      // own, never write a command into the running one.
      const bool busy = run.r.c.m().ExchangeActive();
      const std::size_t writes = run.r.c.port.writes().size();
      Step(run, stepIn);
      Require(!busy || run.r.c.port.writes().size() == writes,
              "an exchange started inside another");
      run.check();
    });
  }
  try {
    run.r.load();
    run.check();
    loop.runFor(at + 30'000 * platform::fake::kMs);  // what the clicks queued runs to its end
    run.check(true);
    // Back at the top of the event loop no flag of a sequence may stay set: a stuck
    // ToggleBusy would lock the toggles for good.
    const Module1& m = run.r.c.m();
    Require(!m.ToggleBusy && !m.FetchingCardData, "a sequence's flag outlived it");
  } catch (const ProgramEnded&) {
    // The detection gave up with its message: the end the console is meant to take.
  } catch (const platform::fake::Stalled&) {
    Require(false, "a wait with nothing left to wake it: the console froze");
  }
  return 0;
}
