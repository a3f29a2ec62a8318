// Module1 with the simulated reader on the virtual clock, driven by a script of line bytes,
// pauses and operator events decoded from the input. Each event runs at its virtual time, so
// it lands in whatever state the console is in then: idle, inside a wait, during detection,
// fetching a track, with a dialog's routine pending. After each event the monitor is checked
// against the bytes that crossed the line, and the exchange state against itself.
#include <deque>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_input.h"
#include "tests/link/reader_fixture.h"

namespace {

using namespace tkr;
using namespace tkr::testing;
using fuzz::Require;
using link::Module1;

constexpr std::string_view kBusyText = "Under processing, please don't swipe card!";

// The monitor's records as written: a header line, then one "XXh " per byte and CR LF.
struct Record {
  bool toReader;
  Bytes bytes;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case never appears
}

std::vector<Record> ParseMonitor(const std::string& text) {
  std::vector<Record> out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::string_view head = std::string_view(text).substr(i, 10);
    Require(head == "PC-->MSR\r\n" || head == "PC<--MSR\r\n", "monitor: record header");
    Record r{head[2] == '-', {}};
    for (i += 10; i + 1 < text.size() && text[i] != '\r'; i += 4) {
      Require(i + 4 <= text.size() && text[i + 2] == 'h' && text[i + 3] == ' ' &&
                  HexDigit(text[i]) >= 0 && HexDigit(text[i + 1]) >= 0,
              "monitor: byte as XXh");
      r.bytes += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
    }
    Require(std::string_view(text).substr(i, 2) == "\r\n", "monitor: data line end");
    i += 2;
    out.push_back(std::move(r));
  }
  return out;
}

struct Run {
  explicit Run(Edition edition) : r(edition) {}

  void check() {
    Module1& m = r.c.m();
    Require(m.ReplyBuffer.size() <= Module1::kReplyBufferLimit, "reply buffer past its limit");
    Require(!m.ToggleBusy || m.ExchangeActive(), "a wait outside any exchange");
    const Bytes busy = r.c.w.BusyTextLabel.caption();
    const platform::Color colour = r.c.w.BusyLabel.backColor();
    Require(busy == "Ready" ? colour == platform::kGreen
                            : colour == platform::kRed || (busy.empty() && colour == platform::kGreen),
            "busy indicator colour and text disagree");
    Require(!m.ToggleBusy || busy == kBusyText || busy == "Ready",
            "a running wait shows the no-reader text");

    const std::string text = r.c.monitor();
    const std::vector<Record> records = ParseMonitor(text);
    Require(text.size() == m.monitor().size(), "monitor size bookkeeping");
    Require(text.size() <= link::MonitorLog::kLimit || records.size() == 1, "monitor past its bound");
    // Every command since the monitor was last emptied stands there, in order; receptions
    // are runs of the delivered bytes in the order they came (bytes flushed or cut short by
    // a new command leave gaps).
    const std::vector<Bytes>& writes = r.c.port.writes();
    std::size_t w = writes.size(), to = 0;
    for (const Record& rec : records) to += rec.toReader;
    Require(to <= w, "monitor shows more commands than were sent");
    w -= to;
    const Bytes& line = r.c.port.delivered();
    std::size_t from = 0;
    const Record* previous = nullptr;
    for (const Record& rec : records) {
      const bool echo = previous && !previous->toReader && previous->bytes == rec.bytes;
      previous = &rec;
      if (rec.toReader) {
        Require(rec.bytes == writes[w++], "monitor: a command differs from what was sent");
      } else if (echo && m.legacy()) {
        // The legacy edition logs an unrecognised reply a second time, right after the first.
      } else {
        const std::size_t at = line.find(rec.bytes, from);
        Require(at != Bytes::npos, "monitor: a reception that did not come in that order");
        from = at + rec.bytes.size();
      }
    }
    if (monitorCleared) Require(text.empty(), "Clear left text in the monitor");
    monitorCleared = false;
  }

  WithReader r;
  bool monitorCleared = false;
};

// One operator or line event, decoded from the input; runs at its virtual time.
void Step(Run& run, fuzz::Input& in) {
  FakeConsole& c = run.r.c;
  Module1& m = c.m();
  sim::InProcessReader& reader = *run.r.reader;
  FakeCheck* const toggles[] = {&c.w.BuzzerCheckBox, &c.w.JISCheckBox, &c.w.LRCCheckBox,
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
      const Bytes slice(static_cast<std::size_t>(in.byte()) * 16 + 1, static_cast<char>(in.byte()));
      for (int n = in.below(64) + 1; n > 0; --n) c.port.deliver(slice);
      break;
    }
    case 2: {
      const auto& cards = sim::SampleCards();
      reader.swipe(cards[in.byte() % cards.size()]);
      break;
    }
    case 3: toggles[in.below(7)]->click(); break;
    case 4: tracks[in.below(3)]->click(); break;
    case 5: m.DefaultButton_Click(); break;
    case 6: m.RestartCommandButton_Click(); break;
    case 7:
      m.ClearButton_Click();
      run.monitorCleared = true;
      break;
    case 8: m.txtSend_Click(in.byte() - 1); break;
    case 9: m.SendTyped(in.bytes(8)); break;
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
        case 0: reader.setFault(sim::Fault::Normal); break;
        case 1: reader.setFault(sim::Fault::Silent); break;
        case 2: reader.setFault(sim::Fault::Garbage); break;
        case 3:
          reader.unplug();
          break;
        case 4:
          reader.replug();
          break;
        default: reader.setReplyDelay(in.u16() * 50); break;
      }
      break;
    default: {  // line events without data: handshake lines, framing error, lost device
      const int events[] = {platform::comEvCTS, platform::comEvDSR, platform::comEvCD,
                            platform::comEvRing, platform::comEventFrame, platform::comEventOverrun};
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
    for (int n = in.byte() % 24 + 1; n > 0 && !in.empty(); --n) chunks.back() += static_cast<char>(in.byte());
    const std::string* own = &chunks.back();
    loop.schedule(at, [&run, own] {
      fuzz::Input stepIn(reinterpret_cast<const std::uint8_t*>(own->data()), own->size());
      run.check();
      // An event that comes while an exchange or a scan runs may queue an exchange of its
      // own, never write a command into the running one.
      const bool busy = run.r.c.m().ExchangeActive();
      const std::size_t writes = run.r.c.port.writes().size();
      Step(run, stepIn);
      Require(!busy || run.r.c.port.writes().size() == writes, "an exchange started inside another");
      run.check();
    });
  }
  try {
    run.r.load();
    run.check();
    loop.runFor(at + 30'000 * platform::fake::kMs);  // what the clicks queued runs to its end
    run.check();
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
