// A full scan of COM1..COM16 with no reader: every port opens (a pseudo-terminal each) and
// stays silent, so each step costs one 1000 ms probe time-out.
#include "bench/bench_util.h"
#include "sim/pty_reader.h"

int main(int argc, char** argv) {
  using namespace bench;
  auto app = MakeApp(argc, argv);
  Title("bench_scan", "AutoDetect over 16 openable, silent ports");

  std::vector<std::unique_ptr<tkr::sim::PtyReader>> readers;
  pq::PortMap map;
  try {
    for (int port = 1; port <= 16; ++port) {
      readers.push_back(std::make_unique<tkr::sim::PtyReader>());
      readers.back()->setFault(tkr::sim::Fault::Silent);
      map.assign(port, readers.back()->path());
    }
  } catch (const std::exception& e) {
    CannotRun(std::string("pseudo-terminal reader: ") + e.what());
  }
  QtRig rig(std::move(map));
  tkr::link::Module1& m = rig.start();

  Span span;
  m.AutoDetect();
  const double wall = span.wallMs();
  const double self = span.selfCpuMs();
  const double thread = span.threadCpuMs();

  std::size_t heard = 0;
  for (const auto& r : readers) heard += r->received().empty() ? 0 : 1;
  const bool dialog = rig.forms.visible(tkr::platform::FormId::ComPort);
  Figure("ports probed", std::to_string(heard) +
                             " of 16 heard the version probe; COM port dialog " +
                             (dialog ? "shown" : "not shown") + ", port " +
                             (m.serial().portOpen() ? "open" : "closed"));
  Figure("wall time",
         Fmt("%.0f ms", wall) + Fmt(" (%.1f ms per port; probe time-out 1000 ms)", wall / 16));
  Figure("CPU", Fmt("process %.1f ms", self) + Fmt(" = %.3f %% of one core", 100 * self / wall) +
                    Fmt("; console thread %.1f ms", thread) +
                    Fmt(" = %.3f %%", 100 * thread / wall) +
                    Fmt("; the 16 reader threads %.1f ms", self - thread));
  Verdict("bench_scan", "scan wall time", Fmt("%.0f ms", wall),
          "close to 16 x 1000 ms (16000..16800 ms)", wall >= 16000 && wall <= 16800 && heard == 16);
  // The simulated readers' threads live in this process only because the bench hosts them;
  // the console's own share is its thread's.
  Verdict("bench_scan", "console thread CPU over the scan",
          Fmt("%.3f %% of one core", 100 * thread / wall), "idle, < 2 %",
          100 * thread / wall < 2.0);
  Verdict("bench_scan", "process CPU over the scan, 16 simulated readers included",
          Fmt("%.3f %% of one core", 100 * self / wall), "idle, < 2 %", 100 * self / wall < 2.0);
  return 0;
}
