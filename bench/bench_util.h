#pragma once
// Shared bits of the benchmarks: clocks, resource usage, verdict lines, and the console's
// shared routines on the real Qt platform with the main window's controls as fakes.
// Every figure line reads "  name: value"; every judged figure is a line starting with PASS or
// MISS, which run_all.sh collects. A bench exits non-zero only when it could not run at all.
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/link/module1.h"
#include "platform/fake/fake_platform.h"
#include "platform/qt/port_map.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_timer.h"
#include "tests/support/fake_console.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Seconds of CPU (user + system) used so far, by the whole process or by the calling thread.
struct Cpu {
  double user = 0;
  double sys = 0;
  double total() const { return user + sys; }
};
inline double Sec(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
inline Cpu CpuNow(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return {Sec(u.ru_utime), Sec(u.ru_stime)};
}
inline long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Wall and CPU time over a stretch of code.
class Span {
 public:
  Span() : wall0_(Clock::now()), self0_(CpuNow(RUSAGE_SELF)), thread0_(CpuNow(RUSAGE_THREAD)) {}
  double wallMs() const { return Ms(Clock::now() - wall0_); }
  double selfCpuMs() const { return (CpuNow(RUSAGE_SELF).total() - self0_.total()) * 1e3; }
  double threadCpuMs() const { return (CpuNow(RUSAGE_THREAD).total() - thread0_.total()) * 1e3; }

 private:
  Clock::time_point wall0_;
  Cpu self0_;
  Cpu thread0_;
};

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
// Nearest-rank percentile, p in 0..100.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  auto rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size()) + 0.999999);
  rank = std::clamp<std::size_t>(rank, 1, v.size());
  return v[rank - 1];
}

inline void Title(const char* name, const char* what) {
  std::printf("== %s: %s\n", name, what);
  std::fflush(stdout);
}
inline void Figure(const std::string& name, const std::string& value) {
  std::printf("  %s: %s\n", name.c_str(), value.c_str());
  std::fflush(stdout);
}
inline std::string Fmt(const char* format, double v) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}
// One judged figure: the value, the target it is compared with, PASS or MISS.
inline void Verdict(const char* bench, const std::string& figure, const std::string& value,
                    const std::string& target, bool pass) {
  std::printf("  %-4s %s %s = %s (target %s)\n", pass ? "PASS" : "MISS", bench, figure.c_str(),
              value.c_str(), target.c_str());
  std::fflush(stdout);
}
[[noreturn]] inline void CannotRun(const std::string& why) {
  std::fprintf(stderr, "cannot run: %s\n", why.c_str());
  std::exit(2);
}

// Milliseconds on the line per character at 9600 baud, 8N1: start, 8 data and stop bit.
constexpr double kCharMs = 10.0 * 1000.0 / 9600.0;

// The Qt application, offscreen, for benches that need no display.
inline std::unique_ptr<QApplication> MakeApp(int& argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return std::make_unique<QApplication>(argc, argv);
}

namespace pq = tkr::platform::qt;
namespace pf = tkr::platform::fake;

// Module1 over the real Qt serial port, timers, event pump and shell, with the main
// window's and the detection window's controls as fakes.
struct QtRig {
  explicit QtRig(pq::PortMap map) : serial(std::move(map)), detecting(w.detectingView()) {
    shell.setBoxHook([](const std::string& text, const std::string& title, tkr::platform::MsgIcon) {
      std::fprintf(stderr, "(box %s: %s)\n", title.c_str(), text.c_str());
    });
    forms.onLoad[tkr::platform::FormId::Detecting] = [this] { m->DetectingForm_Load(&detecting); };
    forms.onUnload[tkr::platform::FormId::Detecting] = [this] { m->DetectingForm_Unloaded(); };
  }
  // Builds the module; the view may have controls swapped before this.
  tkr::link::Module1& start(tkr::link::MainView v) {
    tkr::link::Platform p{serial, timer1, timer2, timer3, pump, shell, forms};
    m = std::make_unique<tkr::link::Module1>(tkr::Edition::Current, p, v);
    m->PrepareExchanges();
    return *m;
  }
  tkr::link::Module1& start() { return start(w.view()); }
  // Sleeps in the Qt loop until pred() holds or limitMs passes (a guard, not a measurement).
  static bool pumpUntil(const std::function<bool()>& pred, int limitMs) {
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(limitMs);
    while (!pred()) {
      if (!guard.isActive()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
  }

  pq::QtSerialPort serial;
  pq::QtTimer timer1, timer2, timer3;
  pq::QtEventPump pump;
  pq::QtShell shell;
  pf::FakeForms forms;
  tkr::testing::FakeMainWindow w;
  tkr::link::DetectingView detecting;
  std::unique_ptr<tkr::link::Module1> m;
};

}  // namespace bench
