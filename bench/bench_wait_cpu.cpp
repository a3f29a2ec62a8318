// CPU used while the console waits out a 2 s reply time-out on a silent reader.
// The process figure includes the simulated reader's own thread; the console's thread is
// shown beside it.
#include "bench/bench_util.h"
#include "sim/pty_reader.h"

int main(int argc, char** argv) {
  using namespace bench;
  auto app = MakeApp(argc, argv);
  Title("bench_wait_cpu", "CPU during one 2 s reply time-out, reader silent (3 runs)");

  std::unique_ptr<tkr::sim::PtyReader> reader;
  try {
    reader = std::make_unique<tkr::sim::PtyReader>();
  } catch (const std::exception& e) {
    CannotRun(std::string("pseudo-terminal reader: ") + e.what());
  }
  reader->setFault(tkr::sim::Fault::Silent);
  pq::PortMap map;
  map.assign(1, reader->path());
  QtRig rig(std::move(map));
  tkr::link::Module1& m = rig.start();
  m.OpenPort(1, "9600,n,8,1", false);
  if (!m.serial().portOpen())
    CannotRun("COM1 did not open: " + rig.serial.lastError().toStdString());

  constexpr double kTargetPct = 2.0;
  double worst = 0;
  for (int run = 1; run <= 3; ++run) {
    Span span;
    m.AwaitingReply = true;
    m.SendCommand("9");
    m.WaitForReply();
    const double wall = span.wallMs();
    const double self = span.selfCpuMs();
    const double thread = span.threadCpuMs();
    const double pct = 100.0 * self / wall;
    worst = std::max(worst, pct);
    Figure("run " + std::to_string(run),
           Fmt("wall %.1f ms", wall) + Fmt(", process CPU %.2f ms", self) +
               Fmt(" (%.3f %% of one core)", pct) + Fmt(", console thread CPU %.2f ms", thread) +
               Fmt(" (%.3f %%)", 100.0 * thread / wall));
  }
  Verdict("bench_wait_cpu", "worst process CPU during a 2 s wait",
          Fmt("%.3f %% of one core", worst), Fmt("< %.0f %%", kTargetPct), worst < kTargetPct);
  return 0;
}
