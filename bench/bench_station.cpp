// tkr520ctl station: from a simulated reader appearing at its link to the station's line for
// it, against the least time its exchanges need on the line (the detection, the profile's
// changes, their read-backs). Then two readers plugged in at once, which the station serves
// in turn: the second waits for the first.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "bench/bench_util.h"
#include "core/protocol/frames.h"
#include "sim/reader_model.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;

// A child with its standard input on a pipe and its standard output and error on another.
struct Child {
  explicit Child(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) CannotRun("pipe");
    pid = fork();
    if (pid < 0) CannotRun("fork");
    if (pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      std::vector<char*> args;
      args.reserve(argv.size() + 1);
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input = in[1];
    output = out[0];
  }
  ~Child() {
    if (input >= 0) close(input);
    close(output);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  void say(const std::string& line) const {
    const std::string text = line + "\n";
    [[maybe_unused]] const auto n = write(input, text.data(), text.size());
  }
  // Its next line, or false after timeoutMs.
  bool line(std::string& text, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (const auto nl = buffer.find('\n'); nl != std::string::npos) {
        text = buffer.substr(0, nl);
        buffer.erase(0, nl + 1);
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p[2] = {{output, POLLIN, 0}, {sideFd, POLLIN, 0}};
      if (left <= 0) return false;
      if (poll(p, sideFd >= 0 ? 2 : 1, static_cast<int>(left)) <= 0) continue;
      if (sideFd >= 0 && (p[1].revents & POLLIN)) onSide();
      if (!(p[0].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(output, buf, sizeof buf);
      if (n <= 0) return false;
      buffer.append(buf, static_cast<std::size_t>(n));
    }
  }
  // Lines until one that contains `text`; false when none comes in time.
  bool until(const std::string& text, int timeoutMs, std::string* found = nullptr) {
    for (std::string l; line(l, timeoutMs);) {
      if (l.find(text) == std::string::npos) continue;
      if (found) *found = l;
      return true;
    }
    return false;
  }
  // Another descriptor watched while waiting for a line, and what to do when it is readable.
  int sideFd = -1;
  std::function<void()> onSide;
  pid_t pid = -1;
  int input = -1;
  int output = -1;
  std::string buffer;
};

// When a link named `name` is made in the watched folder (the simulator renames it into place).
class LinkWatch {
 public:
  explicit LinkWatch(const std::string& dir) : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ < 0 || inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO | IN_CREATE) < 0)
      CannotRun("inotify on " + dir);
  }
  ~LinkWatch() { close(fd_); }
  // Notes when each link that appeared since was seen; read as soon as the folder changes.
  void take() {
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) {
      const auto at = Clock::now();
      for (ssize_t off = 0; off < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        if (e->len) seen.emplace(e->name, at);
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }
  std::map<std::string, Clock::time_point> seen;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

int main(int argc, char** argv) {
  Title("bench_station",
        "tkr520ctl station: a reader appearing to its line printed (5 readers, then 2 at once)");
  const fs::path bin =
      argc > 1 ? fs::path(argv[1]) : fs::read_symlink("/proc/self/exe").parent_path();
  const std::string ctl = (bin / "tkr520ctl").string(), simulator = (bin / "tkr520-sim").string();
  if (access(ctl.c_str(), X_OK) != 0 || access(simulator.c_str(), X_OK) != 0)
    CannotRun("need " + ctl + " and " + simulator + " (build tkr520ctl and tkr520-sim)");
  std::string dir = (fs::temp_directory_path() / "tkr-bench-station.XXXXXX").string();
  if (!mkdtemp(dir.data())) CannotRun("mkdtemp");
  const std::string profile = dir + "/line7.json";
  std::ofstream(profile)
      << R"({"format": "tkr520ctl-profile", "version": 1, "buzzer": "off", "lrc": "on", "protocol": 1})";

  // The least time on the line: each exchange's command and answer at 9600 baud, the
  // reader's reply delay and the 100 ms of quiet that ends the answer. A fresh reader needs
  // the detection, the buzzer (frame, warm reset, read-back) and the protocol (frame,
  // read-back); its LRC is on already.
  tkr::protocol::CommandTable table;
  table.BuildCommandTable();
  using tkr::protocol::Cmd;
  const tkr::Bytes reset(1, static_cast<char>(tkr::protocol::kWarmReset));
  const std::pair<const char*, tkr::Bytes> exchanges[] = {{"version probe", "9"},
                                                          {"warm reset", reset},
                                                          {"version", "9"},
                                                          {"read-back", table[Cmd::RE1]},
                                                          {"buzzer off", table[Cmd::BZD]},
                                                          {"warm reset", reset},
                                                          {"read-back", table[Cmd::RE1]},
                                                          {"protocol 1", table[Cmd::PC2]},
                                                          {"read-back", table[Cmd::RE1]}};
  tkr::sim::ReaderModel model;
  constexpr double kReplyDelayMs = 2.0;  // PtyReader's default
  double minimum = 0, commands = 0;
  std::string list;
  for (const auto& [name, command] : exchanges) {
    const auto replies = model.hostWrote(command);
    const std::size_t reply = replies.empty() ? 0 : replies.back().bytes.size();
    const double ms = static_cast<double>(command.size() + reply) * kCharMs + kReplyDelayMs +
                      tkr::link::Module1::kQuietTimeMs;
    minimum += ms;
    commands += static_cast<double>(command.size()) * kCharMs;
    list += std::string(list.empty() ? "" : ", ") + name + Fmt(" %.1f", ms);
  }
  Figure("protocol minimum per exchange, ms", list);
  Figure("protocol minimum for one reader", Fmt("%.1f ms", minimum));
  Figure("of which the host's commands",
         Fmt("%.1f ms (a pseudo-terminal passes them at once: the simulated", commands) +
             " reader can beat the minimum by that much)");
  const double limit = minimum * 1.1 + 250;

  Child station({ctl, "--json", "--no-system-ports", "--port", "COM1=" + dir + "/A", "--port",
                 "COM2=" + dir + "/B", "station", profile});
  if (!station.until("(Ctrl-C ends)", 10000)) CannotRun("the station did not start");
  LinkWatch watch(dir);
  station.sideFd = watch.fd();
  station.onSide = [&] { watch.take(); };

  // Serves one round: the readers named appear together; the time of each one's line from
  // its own link's appearance, and the station's own "ms" (from its detection to the result).
  std::vector<double> serving;
  const auto round = [&](const std::vector<std::string>& names) {
    std::vector<std::unique_ptr<Child>> sims;
    sims.reserve(names.size());
    for (const auto& n : names)
      sims.push_back(std::make_unique<Child>(
          std::vector<std::string>{simulator, "--link", dir + "/" + n, "--unplugged"}));
    for (auto& s : sims) {
      std::string path;
      if (!s->line(path, 5000)) CannotRun("tkr520-sim printed no path");
    }
    watch.take();
    watch.seen.clear();
    for (auto& s : sims) s->say("replug");
    std::vector<double> ms;
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string line;
      if (!station.until("\"port\":\"COM", 20000, &line)) CannotRun("no line from the station");
      const auto printed = Clock::now();
      watch.take();
      const auto it =
          watch.seen.find(line.find("\"port\":\"COM1\"") != std::string::npos ? "A" : "B");
      const auto own = line.find("\"ms\":");
      if (line.find("\"result\":\"ok\"") == std::string::npos || it == watch.seen.end() ||
          own == std::string::npos) {
        CannotRun("unexpected line: " + line);
      }
      ms.push_back(Ms(printed - it->second));
      serving.push_back(std::atof(line.c_str() + own + 5));
    }
    for (auto& s : sims) s->say("quit");
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!station.until("ready for the next reader", 5000))
        CannotRun("the station did not see the reader go");
    }
    return ms;
  };

  std::vector<double> single;
  for (int run = 1; run <= 5; ++run) {
    single.push_back(round({"A"}).front());
    Figure("reader " + std::to_string(run),
           Fmt("%.1f ms", single.back()) + Fmt(" = minimum + %.1f ms", single.back() - minimum) +
               Fmt("; served in %.0f ms", serving.back()));
  }
  const std::vector<double> pair = round({"A", "B"});
  Figure("two at once, served in turn", Fmt("first %.1f ms, ", pair[0]) +
                                            Fmt("second %.1f ms", pair[1]) +
                                            Fmt(" (%.2f x the minimum)", pair[1] / minimum));
  const double median = Median(single), worst = *std::max_element(single.begin(), single.end());
  const std::vector<double> served(serving.begin(), serving.begin() + 5);
  Verdict("bench_station", "median serving time (detection to result)",
          Fmt("%.0f ms", Median(served)), Fmt("minimum + 10 %% = %.1f ms", minimum * 1.1),
          Median(served) <= minimum * 1.1);
  Verdict("bench_station", "median appear to line", Fmt("%.1f ms", median),
          Fmt("minimum %.1f ms + 10 %% + 250 ms", minimum) + Fmt(" = %.1f ms", limit),
          median <= limit);
  Verdict("bench_station", "slowest appear to line", Fmt("%.1f ms", worst), Fmt("%.1f ms", limit),
          worst <= limit);
  station.say("");
  kill(station.pid, SIGINT);
  std::string summary;
  station.until("\"command\":\"station\"", 5000, &summary);
  Figure("station summary", summary);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
