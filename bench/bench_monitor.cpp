// Logging a long stream of received bytes into the monitor: the receive path on the virtual
// clock (deliveries, quiet time, completion, log) into the real monitor widget, which is
// shown and repainted between receptions as the running console would be.
#include <QPlainTextEdit>
#include <QTextDocument>

#include "bench/bench_util.h"
#include "platform/qt/qt_controls.h"

namespace {

using namespace bench;
using tkr::Bytes;

constexpr std::size_t kChunk = 256;  // bytes per reception

struct FakeLine : tkr::platform::fake::LineDevice {
  void hostOpened(pf::FakeSerialPort&) override {}
  void hostClosed() override {}
  void hostWrote(const Bytes&, pf::Micros) override {}
};

// The shared routines on the fake platform; only the monitor is the given control.
struct FakeRig {
  explicit FakeRig(tkr::platform::LogControl* log) {
    port.attach(1, &line);
    tkr::link::MainView v = w.view();
    v.txtReceive = log;
    tkr::link::Platform p{port, timer1, timer2, timer3, loop, shell, forms};
    m = std::make_unique<tkr::link::Module1>(tkr::Edition::Current, p, v);
    m->PrepareExchanges();
    m->OpenPort(1, "9600,n,8,1", false);
  }
  pf::FakeLoop loop;
  pf::FakeSerialPort port{loop};
  pf::FakeTimer timer1{loop}, timer2{loop}, timer3{loop};
  pf::FakeShell shell{loop};
  pf::FakeForms forms;
  FakeLine line;
  tkr::testing::FakeMainWindow w;
  std::unique_ptr<tkr::link::Module1> m;
};

struct Run {
  double wall = 0;  // seconds
  double cpu = 0;   // seconds of this thread: the work itself, whatever else the machine runs
  std::vector<double> slices;  // thread CPU ms per 250,000 bytes: flat means linear
};

// Receives `total` bytes as back-to-back replies of kChunk bytes, each completed by the
// quiet time; `paint` runs the Qt loop after each, as the idle console would.
Run Receive(FakeRig& rig, std::size_t total, bool paint) {
  constexpr std::size_t kSlice = 250'000;
  Bytes chunk(kChunk, '\0');
  Run run;
  const Span span;
  double sliceStart = 0;
  std::size_t sent = 0;
  unsigned v = 0;
  while (sent < total) {
    for (char& c : chunk) c = static_cast<char>(v++ * 7 % 256);
    // As after SendCommand: a reply is awaited (logged and interpreted, not taken for a
    // swipe) and the buffer starts empty (the reply before has been consumed).
    rig.m->AwaitingReply = true;
    rig.m->ReplyBuffer.clear();
    rig.port.deliver(chunk);
    rig.loop.runFor((tkr::link::Module1::kQuietTimeMs + 1) * pf::kMs);
    if (paint) QCoreApplication::processEvents();
    sent += chunk.size();
    if (sent / kSlice != (sent - chunk.size()) / kSlice) {
      const double now = span.threadCpuMs();
      run.slices.push_back(now - sliceStart);
      sliceStart = now;
    }
  }
  run.wall = span.wallMs() / 1e3;
  run.cpu = span.threadCpuMs() / 1e3;
  return run;
}

std::string PerByte(const Run& r, std::size_t bytes) {
  const double n = static_cast<double>(bytes);
  return Fmt("wall %.2f s", r.wall) + Fmt(" (%.0f ns/byte)", r.wall * 1e9 / n) +
         Fmt(", CPU %.2f s", r.cpu) + Fmt(" (%.0f ns/byte)", r.cpu * 1e9 / n);
}

std::size_t Records(const std::string& text) {
  std::size_t n = 0;
  for (auto pos = text.find("PC<--MSR"); pos != std::string::npos;
       pos = text.find("PC<--MSR", pos + 1))
    ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  auto app = MakeApp(argc, argv);
  Title("bench_monitor", "logging 1,000,000 and 2,000,000 received bytes into the monitor widget");

  QPlainTextEdit edit;
  edit.resize(640, 400);
  edit.show();
  pq::QtLogControl log(&edit);
  FakeRig rig(&log);
  if (!rig.port.portOpen()) CannotRun("the fake port did not open");
  Figure("reception size",
         std::to_string(kChunk) + " bytes, each completed by the 100 ms quiet time (virtual)");
  const long rssBefore = PeakRssKiB();
  Figure("peak RSS before", std::to_string(rssBefore) + " KiB");

  const std::size_t sizes[] = {1'000'000, 2'000'000};
  Run runs[2];
  long rss[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    rig.m->ClearButton_Click();
    QCoreApplication::processEvents();
    runs[i] = Receive(rig, sizes[i], true);
    rss[i] = PeakRssKiB();
    Figure(std::to_string(sizes[i]) + " bytes",
           PerByte(runs[i], sizes[i]) + ", peak RSS " + std::to_string(rss[i]) + " KiB, monitor " +
               std::to_string(log.text().size()) + " chars / " +
               std::to_string(edit.document()->blockCount()) + " lines / " +
               std::to_string(Records(log.text())) + " records");
    std::string list;
    for (double ms : runs[i].slices) list += Fmt(list.empty() ? "%.0f" : " %.0f", ms);
    Figure("  CPU ms per 250,000 bytes", list);
  }
  const bool bounded = rig.m->monitor().size() <= tkr::link::MonitorLog::kLimit &&
                       log.text().size() <= tkr::link::MonitorLog::kLimit;

  // Where the time goes: the widget without repainting between receptions (the document's
  // own cost), and a plain text store in its place (the shared routines alone).
  rig.m->ClearButton_Click();
  QCoreApplication::processEvents();
  const Run unpainted = Receive(rig, sizes[0], false);
  Figure("1000000 bytes, widget not repainted", PerByte(unpainted, sizes[0]));
  tkr::platform::fake::FakeLog plain;
  FakeRig bare(&plain);
  const Run core = Receive(bare, sizes[0], false);
  Figure("1000000 bytes, plain text instead of the widget",
         PerByte(core, sizes[0]) + ", " + std::to_string(Records(plain.text())) + " records kept");
  Figure("CPU share of 1M",
         Fmt("repainting %.0f %%", 100.0 * (runs[0].cpu - unpainted.cpu) / runs[0].cpu) +
             Fmt(", text document %.0f %%", 100.0 * (unpainted.cpu - core.cpu) / runs[0].cpu) +
             Fmt(", receive path and log %.0f %%", 100.0 * core.cpu / runs[0].cpu));

  const double ratio = runs[1].cpu / runs[0].cpu;
  Verdict("bench_monitor", "CPU time ratio 2M/1M",
          Fmt("%.2f", ratio) + Fmt(" (wall %.2f)", runs[1].wall / runs[0].wall),
          "about 2 (1.7..2.3), linear", ratio >= 1.7 && ratio <= 2.3);
  // An unbounded monitor would grow the second million by as much as the first.
  const long firstKiB = rss[0] - rssBefore;
  const long growthKiB = rss[1] - rss[0];
  Verdict("bench_monitor", "monitor text kept", std::to_string(log.text().size()) + " chars",
          "<= " + std::to_string(tkr::link::MonitorLog::kLimit) + " (MonitorLog::kLimit)", bounded);
  Verdict("bench_monitor", "peak RSS growth from 1M to 2M", std::to_string(growthKiB) + " KiB",
          "bounded: < 1/4 of the growth over the first 1M (" + std::to_string(firstKiB) + " KiB)",
          growthKiB * 4 < firstKiB);
  return 0;
}
