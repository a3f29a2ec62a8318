// From SendCommand to the bytes at the far end of the line: a pseudo-terminal held by this
// bench, whose master side a thread of its own watches with poll().
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bench/bench_util.h"

namespace {

using namespace bench;

// The far end: stamps the moment each read brings bytes and counts them.
class FarEnd {
 public:
  explicit FarEnd(int master) : master_(master), thread_([this] { run(); }) {}
  ~FarEnd() {
    stop_ = true;
    thread_.join();
  }
  // Waits until `total` bytes have come in all told; the stamp of the read that completed them.
  bool waitFor(std::size_t total, Clock::time_point& at) {
    std::unique_lock lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::seconds(1), [&] { return count_ >= total; })) return false;
    at = lastAt_;
    return true;
  }

 private:
  void run() {
    char buf[512];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
      const auto now = Clock::now();
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      std::lock_guard lock(mu_);
      count_ += static_cast<std::size_t>(n);
      lastAt_ = now;
      cv_.notify_all();
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  std::size_t count_ = 0;
  Clock::time_point lastAt_{};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  auto app = MakeApp(argc, argv);
  Title("bench_send_latency", "SendCommand to the bytes seen at the far end (200 commands)");

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) CannotRun("posix_openpt");
  const std::string slave = ptsname(master);
  // A fresh terminal is cooked and echoes; a serial line does neither. Holding the slave open
  // also keeps the master from reporting a hang-up while the port is closed.
  const int hold = open(slave.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  if (hold < 0 || tcgetattr(hold, &t) != 0) CannotRun("slave " + slave);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(hold, TCSANOW, &t);

  pq::PortMap map;
  map.assign(1, slave);
  QtRig rig(std::move(map));
  tkr::link::Module1& m = rig.start();
  m.OpenPort(1, "9600,n,8,1", false);
  if (!m.serial().portOpen())
    CannotRun("COM1 did not open: " + rig.serial.lastError().toStdString());

  FarEnd far(master);
  const tkr::Bytes commands[] = {"9", m.CommandTable[tkr::protocol::Cmd::RE1]};
  std::vector<double> lat[2];
  std::size_t total = 0;
  for (int i = 0; i < 200; ++i) {
    const tkr::Bytes& cmd = commands[i % 2];
    total += cmd.size();
    const auto t0 = Clock::now();
    m.SendCommand(cmd);
    Clock::time_point at;
    if (!far.waitFor(total, at)) CannotRun("the command did not arrive within 1 s");
    lat[i % 2].push_back(Ms(at - t0));
    QCoreApplication::processEvents();  // what the console's loop would do between commands
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  m.ClosePort();
  close(hold);
  close(master);

  std::vector<double> all = lat[0];
  all.insert(all.end(), lat[1].begin(), lat[1].end());
  const char* names[] = {"\"9\" (1 byte)", "RE1 frame (7 bytes)"};
  for (int k = 0; k < 2; ++k) {
    Figure(names[k], Fmt("median %.3f ms", Median(lat[k])) +
                         Fmt(", p99 %.3f ms", Percentile(lat[k], 99)) +
                         Fmt(", max %.3f ms", *std::max_element(lat[k].begin(), lat[k].end())));
  }
  const double med = Median(all), p99 = Percentile(all, 99);
  Figure("all 200", Fmt("median %.3f ms", med) + Fmt(", p99 %.3f ms", p99) +
                        Fmt(", max %.3f ms", *std::max_element(all.begin(), all.end())) +
                        Fmt("; one character time %.3f ms", kCharMs));
  Verdict("bench_send_latency", "median latency", Fmt("%.3f ms", med),
          Fmt("<= one character time, %.3f ms", kCharMs), med <= kCharMs);
  Verdict("bench_send_latency", "p99 latency", Fmt("%.3f ms", p99),
          Fmt("<= one character time + one more for scheduling jitter, %.3f ms", 2 * kCharMs),
          p99 <= 2 * kCharMs);
  return 0;
}
