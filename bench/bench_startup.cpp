// Start-up of the built program on the simulated reader: from spawning SWPDEMO2 until its
// trace prints READY (the configuration labels are filled before that), against the least
// time the start-up's exchanges need on the line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "bench/bench_util.h"
#include "core/protocol/frames.h"
#include "sim/reader_model.h"

extern char** environ;

namespace {

using namespace bench;
namespace fs = std::filesystem;

// A child process with its stdin and stdout on pipes; stderr goes to a log file.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        const std::string& errLog) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) CannotRun("pipe");
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
      const std::string s = *e;
      if (!env.count(s.substr(0, s.find('=')))) envStrings.push_back(s);
    }
    for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int err = open(errLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    started = Clock::now();
    pid_ = fork();
    if (pid_ < 0) CannotRun("fork");
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      if (err >= 0) dup2(err, 2);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    if (err >= 0) close(err);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Child() {
    closeInput();
    if (stdout_ >= 0) close(stdout_);
    if (pid_ > 0 && !reap(3000)) {
      kill(pid_, SIGKILL);
      reap(3000);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The next line of stdout (without its end), or false after timeoutMs or at its end.
  bool readLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p[2] = {{stdout_, POLLIN, 0}, {sideFd, POLLIN, 0}};
      if (poll(p, sideFd >= 0 ? 2 : 1, static_cast<int>(left)) <= 0) continue;
      if (sideFd >= 0 && (p[1].revents & POLLIN)) onSide(Clock::now());
      if (!(p[0].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(stdout_, buf, sizeof buf);
      if (n <= 0) return false;
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  void write(const std::string& text) {
    if (stdin_ < 0) return;
    [[maybe_unused]] const auto n = ::write(stdin_, text.data(), text.size());
  }
  void closeInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }
  // Waits for the child's end; the moment it was seen.
  bool reap(int timeoutMs, Clock::time_point* at = nullptr) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        if (at) *at = Clock::now();
        pid_ = -1;
        return true;
      }
      if (Clock::now() > deadline) return false;
      usleep(200);
    }
    return true;
  }

  Clock::time_point started;
  // Another descriptor watched while waiting for a line, and what to do when it is readable.
  int sideFd = -1;
  std::function<void(Clock::time_point)> onSide;

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
};

fs::path BinDir(int argc, char** argv) {
  if (argc > 1) return argv[1];
  return fs::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  Title("bench_startup", "SWPDEMO2 start-up on the simulated reader: spawn to READY (5 runs)");
  const fs::path bin = BinDir(argc, argv);
  const std::string console = (bin / "SWPDEMO2").string(),
                    simulator = (bin / "tkr520-sim").string();
  if (access(console.c_str(), X_OK) != 0 || access(simulator.c_str(), X_OK) != 0)
    CannotRun("need " + console + " and " + simulator + " (build SWPDEMO2 and tkr520-sim)");

  // A private temporary directory: the single-instance lock of another engineer's running
  // console must not end ours at once.
  std::string tmp = (fs::temp_directory_path() / "tkr-bench-startup.XXXXXX").string();
  if (!mkdtemp(tmp.data())) CannotRun("mkdtemp");
  const std::string errLog = tmp + "/stderr.log";
  const std::map<std::string, std::string> env = {{"QT_QPA_PLATFORM", "offscreen"},
                                                  {"TMPDIR", tmp}};

  // The protocol minimum: every start-up exchange's command and reply on the line, the
  // reader's reply delay and the quiet time that ends the reply.
  tkr::protocol::CommandTable table;
  table.BuildCommandTable();
  tkr::sim::ReaderModel model;
  const double replyDelayMs = 2.0;  // PtyReader's default
  struct Exchange {
    const char* name;
    tkr::Bytes command;
  };
  const Exchange exchanges[] = {
      {"version probe \"9\"", "9"},
      {"warm reset 7F", tkr::Bytes(1, static_cast<char>(tkr::protocol::kWarmReset))},
      {"version \"9\"", "9"},
      {"RE1 frame (detection)", table[tkr::protocol::Cmd::RE1]},
      {"RE1 frame (load)", table[tkr::protocol::Cmd::RE1]}};
  double minimum = 0;
  std::vector<double> exMin;
  Figure("protocol minimum",
         "per exchange: command bytes x 10 bits / 9600 + reply delay + reply bytes x 10 / 9600 + "
         "100 ms quiet");
  for (const auto& ex : exchanges) {
    const auto replies = model.hostWrote(ex.command);
    const std::size_t replyLen = replies.empty() ? 0 : replies.back().bytes.size();
    const double ms = static_cast<double>(ex.command.size()) * kCharMs + replyDelayMs +
                      static_cast<double>(replyLen) * kCharMs + tkr::link::Module1::kQuietTimeMs;
    minimum += ms;
    exMin.push_back(ms);
    Figure(std::string("  ") + ex.name,
           std::to_string(ex.command.size()) +
               Fmt(" B (%.2f ms)", static_cast<double>(ex.command.size()) * kCharMs) +
               Fmt(" + %.0f ms", replyDelayMs) + " + " + std::to_string(replyLen) +
               Fmt(" B (%.2f ms)", static_cast<double>(replyLen) * kCharMs) +
               Fmt(" + 100 ms = %.2f ms", ms));
  }
  Figure("protocol minimum total", Fmt("%.1f ms", minimum));

  // Process start and Qt start-up alone: the program's --help constructs the application,
  // prints and ends.
  std::vector<double> bare;
  for (int run = 0; run < 5; ++run) {
    Child c({console, "--help"}, env, errLog);
    Clock::time_point end;
    std::string line;
    while (c.readLine(line, 10000)) {
    }
    if (!c.reap(10000, &end)) CannotRun("SWPDEMO2 --help did not end");
    bare.push_back(Ms(end - c.started));
  }
  const double bareMs = Median(bare);
  Figure("process start + QApplication + exit (SWPDEMO2 --help), median", Fmt("%.1f ms", bareMs));

  std::vector<double> times, simStarts, toOpen, toWrite, phase;
  std::vector<std::vector<double>> exTimes(std::size(exchanges));
  bool labelsFilled = true;
  for (int run = 1; run <= 5; ++run) {
    Child sim({simulator}, {}, errLog);
    std::string path;
    if (!sim.readLine(path, 5000) || path.empty()) CannotRun("tkr520-sim printed no device path");
    simStarts.push_back(Ms(Clock::now() - sim.started));

    // The console's opening of the port and its writes, seen on the terminal's device node.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string node = fs::canonical(path).string();
    if (watch < 0 || inotify_add_watch(watch, node.c_str(), IN_OPEN | IN_MODIFY) < 0)
      CannotRun("inotify on " + node);
    std::optional<Clock::time_point> opened;
    std::vector<Clock::time_point> writes;

    Child app({console, "--no-system-ports", "--port", "COM1=" + path, "--trace"}, env, errLog);
    app.sideFd = watch;
    app.onSide = [&](Clock::time_point at) {
      alignas(inotify_event) char buf[4096];
      const ssize_t n = read(watch, buf, sizeof buf);
      for (ssize_t off = 0; off < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        if ((e->mask & IN_OPEN) && !opened) opened = at;
        if (e->mask & IN_MODIFY) writes.push_back(at);
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    };
    std::map<std::string, std::string> dump;
    std::string line;
    bool ready = false;
    while (app.readLine(line, 20000)) {
      if (line == "READY") {
        ready = true;
        break;
      }
      if (const auto eq = line.find('='); eq != std::string::npos)
        dump[line.substr(0, eq)] = line.substr(eq + 1);
    }
    const double ms = Ms(Clock::now() - app.started);
    if (!ready) CannotRun("SWPDEMO2 printed no READY within 20 s (see " + errLog + ")");
    const bool filled = !dump["FWLabel"].empty() && !dump["BaudRateLabel"].empty() &&
                        !dump["SSESLabel"].empty() && !dump["BuzzerLabel"].empty();
    labelsFilled = labelsFilled && filled;
    const auto readyAt = Clock::now();
    close(watch);
    times.push_back(ms);
    std::string detail;
    if (opened && writes.size() == std::size(exchanges)) {
      toOpen.push_back(Ms(*opened - app.started));
      toWrite.push_back(Ms(writes.front() - app.started));
      phase.push_back(Ms(readyAt - writes.front()));
      detail = Fmt(": port opened at %.1f", toOpen.back()) +
               Fmt(", first command at %.1f", toWrite.back()) +
               Fmt(", first command to READY %.1f ms", phase.back());
      for (std::size_t i = 0; i < writes.size(); ++i)
        exTimes[i].push_back(Ms((i + 1 < writes.size() ? writes[i + 1] : readyAt) - writes[i]));
    } else {
      detail = " (" + std::to_string(writes.size()) + " writes seen on the terminal, no breakdown)";
    }
    Figure("run " + std::to_string(run), Fmt("%.1f ms", ms) + detail);
    Figure("  labels", "FWLabel=" + dump["FWLabel"] + ", COMPortLabel=" + dump["COMPortLabel"] +
                           ", BaudRateLabel=" + dump["BaudRateLabel"] +
                           ", SSESLabel=" + dump["SSESLabel"]);
    app.write("quit\n");
    app.closeInput();
    app.reap(5000);
    sim.closeInput();
  }
  const double med = Median(times);
  Figure("tkr520-sim start to its device path, median",
         Fmt("%.1f ms (not counted)", Median(simStarts)));
  Figure("median spawn to READY",
         Fmt("%.1f ms", med) + Fmt(" = %.2f x the protocol minimum", med / minimum));
  Figure("of which process + Qt start-up (from --help)",
         Fmt("%.1f ms", bareMs) + Fmt(" (%.0f %% of the start-up,", 100.0 * bareMs / med) +
             Fmt(" %.0f %% of the minimum)", 100.0 * bareMs / minimum));
  if (!phase.empty()) {
    Figure("median spawn to port open", Fmt("%.1f ms", Median(toOpen)) +
                                            Fmt(", to the first command %.1f ms", Median(toWrite)) +
                                            " (process, Qt, main window, before any exchange)");
    Figure("median first command to READY",
           Fmt("%.1f ms", Median(phase)) +
               Fmt(" = %.3f x the protocol minimum", Median(phase) / minimum));
    std::string list;
    for (std::size_t i = 0; i < exTimes.size(); ++i)
      list += std::string(i ? ", " : "") + exchanges[i].name + Fmt(" %.1f", Median(exTimes[i])) +
              Fmt("/%.1f", exMin[i]);
    Figure("median per exchange, command to next command (last: to READY) / minimum, ms", list);
  }
  Figure("start-up without process + Qt start-up",
         Fmt("%.1f ms", med - bareMs) +
             Fmt(" = %.2f x the protocol minimum", (med - bareMs) / minimum));
  Verdict("bench_startup", "configuration labels filled at READY", labelsFilled ? "yes" : "no",
          "yes", labelsFilled);
  Verdict("bench_startup", "median start-up", Fmt("%.1f ms", med),
          Fmt("within 20 %% of %.1f ms", minimum) + Fmt(" (<= %.1f ms)", minimum * 1.2),
          med <= minimum * 1.2);
  std::error_code ec;
  fs::remove_all(tmp, ec);
  return 0;
}
