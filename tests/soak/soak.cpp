// Soak: a console program as built, against tkr520-sim on a pseudo-terminal, driven for a
// while by a seeded random mix of reader events and operator clicks. After every step the
// console is checked from the outside: it answers ping, the monitor holds the bytes that went
// over the line in order and stays bounded, no exchange or dialog is left, the busy indicator
// is back at Ready. Prints a SOAK summary line (memory included); exits 1 on any failed check.
//
//   tkr_soak PROGRAM SECONDS SEED [--flood BYTES] [--fill BYTES] [--latency-ms MS]
// --latency-ms 0 leaves the ping's round trip unchecked (the bench checks it).
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string_view>

#include "core/link/monitor_log.h"
#include "core/protocol/host_commands.h"
#include "core/protocol/monitor_format.h"
#include "tests/e2e/process.h"
#include "tests/protocol/hex_bytes.h"

namespace {

using namespace tkr::e2e;
using tkr::link::MonitorLog;
using tkr::protocol::test::Hex;
using Bytes = std::string;
constexpr const char* kBusy = "Under processing, please don't swipe card!";

long RssKb(qint64 pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

using Record = std::pair<bool, Bytes>;  // from the reader?, the bytes

class Soak {
 public:
  Soak(const std::string& program, unsigned seed, std::size_t flood, std::size_t fill,
       int latencyMs)
      : program_(program),
        legacy_(program == "SWPDEMO1"),
        rng_(seed),
        flood_(flood),
        fill_(fill),
        latencyBoundMs_(latencyMs),
        console_(Binary(program), {"--no-system-ports", "--trace", "--port", "COM1=" + sim_.path},
                 {{"QT_QPA_PLATFORM", "offscreen"}, {"TMPDIR", tmp_.path().toStdString()}}) {
    sim_.process.keepOutput(false);
    console_.keepOutput(false);
    check(console_.readUntil("READY", 60000).found, "start-up ends in READY");
  }
  ~Soak() { console_.send("quit"); }

  bool ok() const { return failures_ == 0; }
  long rss() const { return RssKb(console_.pid()); }

  // Fills the monitor past its bound, in exchanges that do not clear it.
  void fillToBound() {
    resync();
    for (int i = 0; i < 64 && monitorChars_ < MonitorLog::kTrimTo; ++i) fill();
  }

  // One action, picked by weight (the weights add up to 100).
  void step() {
    ++steps_;
    static const char* kClicks[] = {"BuzzerCheckBox",  "JISCheckBox",  "LRCCheckBox",
                                    "SelfArmCheckBox", "SSESCheckBox", "TK1CheckBox",
                                    "TK2CheckBox",     "TK3CheckBox"};
    const auto click = [this](const std::string& name) { consoleSay("click " + name); };
    struct Action {
      int weight;
      const char* name;
      std::function<void()> run;
    };
    const Action actions[] = {
        {14, "swipe sample",
         [&] { simSay("swipe sample " + std::to_string(pickIn(1, 4))), settleAndCheck(); }},
        {10, "swipe random card",
         [&] { simSay("swipe " + track() + " " + track() + " " + track()), settleAndCheck(); }},
        {14, "choose a command row", [&] { chooseRow(), settleAndCheck(); }},
        {4, "send typed text",
         [&] {
           consoleSay("send " + letters(static_cast<std::size_t>(pickIn(1, 4)))), settleAndCheck();
         }},
        {20, "click a setting or a track", [&] { click(kClicks[pickIn(0, 7)]), settleAndCheck(); }},
        {5, "click ClearButton", [&] { resync(); }},
        {6, "garbage answers",
         [&] {
           simSay("garbage");
           for (int n = pickIn(1, 3); n > 0; --n)
             pickIn(0, 1) ? chooseRow() : simSay("swipe sample 1");
           settleAndCheck(), simSay("normal"), settleAndCheck();
         }},
        {3, "silent reader",
         [&] { simSay("silent"), chooseRow(), settleAndCheck(true), simSay("normal"); }},
        {5, "flood", [&] { simSay("flood " + std::to_string(flood_)), settleAndCheck(true); }},
        {5, "fill", [&] { fill(), settleAndCheck(); }},
        {4, "unplug, replug, Auto Comm",
         [&] {
           simSay("unplug"), chooseRow(), QThread::msleep(300), simSay("replug");
           click("RestartCommandButton"), resync();
         }},
        {5, "click DefaultButton", [&] { click("DefaultButton"), resync(); }},
        {5, "click RestartCommandButton", [&] { click("RestartCommandButton"), resync(); }},
    };
    int pick = pickIn(0, 99);
    for (const Action& a : actions) {
      if ((pick -= a.weight) >= 0) continue;
      what_ = a.name;
      return a.run();
    }
  }

  void report(long rssStart, long rssBound) {
    std::printf(
        "SOAK END %s steps=%d checks=%d failures=%d peak_latency_ms=%lld rss_start_kb=%ld "
        "rss_bound_kb=%ld rss_now_kb=%ld monitor_chars=%zu\n",
        program_.c_str(), steps_, checks_, failures_, peakLatencyMs_, rssStart, rssBound, rss(),
        monitorChars_);
    for (const auto& [what, count] : failedChecks_)
      std::printf("SOAK FAILED %d x %s\n", count, what.c_str());
  }

 private:
  int pickIn(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::string letters(std::size_t n) {
    std::string text;
    while (n-- > 0) text += static_cast<char>(pickIn('A', 'Z'));
    return text;
  }
  // A track for the simulator's swipe command: empty, bad, or up to 24 bytes of any value.
  std::string track() {
    if (const int kind = pickIn(0, 9); kind < 2) return kind == 0 ? "+" : "*";
    std::string t;
    for (int n = pickIn(1, 24); n > 0; --n) {
      const auto b = static_cast<unsigned>(pickIn(0, 255));
      t += std::string("\\x") + tkr::protocol::HexDigit(b >> 4) + tkr::protocol::HexDigit(b);
    }
    return t;
  }
  void chooseRow() {
    const auto rows = tkr::protocol::HostCommandList();
    consoleSay("choose " +
               std::to_string(rows[std::size_t(pickIn(0, int(rows.size()) - 1))].itemCode));
  }
  // A long typed command: the monitor gains one long record and is not cleared. The wait for
  // its answer runs two seconds: a ping read meanwhile is answered inside it. The reader
  // answers every letter; track and custom data requests are left out, or its answers to
  // 4000 of them would keep the line busy at 9600 baud for longer than a settle waits.
  void fill() {
    std::string text = letters(fill_ ? fill_ : 400);
    for (char& c : text)
      if (std::string_view("QRSUVW").find(c) != std::string_view::npos) c = 'A';
    console_.send("send " + text);
    check(!ping(), "ping answered inside the wait");
    settleAndCheck(true);
  }

  void simSay(const std::string& line) { sim_.process.send(line); }
  void consoleSay(const std::string& line) {
    console_.send(what_ = line);
    ping();  // while the exchange it started runs
  }
  void check(bool good, const std::string& what) {
    ++checks_;
    if (good) return;
    ++failures_;
    // The first few of each kind in full; the count of every kind at the end.
    if (++failedChecks_[what] <= 5)
      std::printf("FAIL step %d (%s): %s\n", steps_, what_.c_str(), what.c_str());
    std::fflush(stdout);
  }

  // The lines up to END, without the message boxes reported in between.
  std::vector<std::string> ask(Process& p, const std::string& command) {
    p.send(command);
    auto got = p.readUntil("END", 20000);
    check(got.found, command + " answered");
    std::erase_if(got.lines, [](const std::string& l) { return l.rfind("BOX ", 0) == 0; });
    return got.lines;
  }

  // Event-loop latency: the round trip of a command answered at once, even inside a wait.
  bool ping() {
    QElapsedTimer t;
    t.start();
    console_.send("ping");
    std::string line;
    do line = console_.readLine(std::max(latencyBoundMs_ * 5, 10000));
    while (!line.empty() && line.rfind("PONG", 0) != 0);
    peakLatencyMs_ = std::max<long long>(peakLatencyMs_, t.elapsed());
    check(!line.empty() && console_.running(), "the program is alive and answers ping");
    if (latencyBoundMs_ > 0) check(t.elapsed() <= latencyBoundMs_, "ping answered in time");
    return line == "PONG idle";
  }

  // Gathers what the reader sent and heard since the last look (only the tail the monitor can
  // still show); true when it has nothing queued and sent nothing new.
  bool drainSim() {
    const auto sent = ask(sim_.process, "sent"), heard = ask(sim_.process, "heard");
    const Bytes s = sent.empty() ? "" : Hex(sent[0]), h = heard.empty() ? "" : Hex(heard[0]);
    const auto keep = [](Bytes& stream, const Bytes& more) {
      stream += more;
      if (stream.size() > MonitorLog::kLimit)
        stream.erase(0, stream.size() - MonitorLog::kLimit / 2);
    };
    keep(fromReader_, s);
    keep(fromHost_, h);
    totalSinceClear_ += s.size() + h.size();
    return s.empty() && h.empty() && sent.size() <= 1;
  }

  // Quiet: the console idle and the line silent for two looks in a row.
  bool settle() {
    QDeadlineTimer deadline(30000);
    for (int calm = 0; !deadline.hasExpired(); QThread::msleep(150)) {
      const bool idle = ping();
      calm = drainSim() && idle ? calm + 1 : 0;
      if (calm >= 2) return true;
    }
    return false;
  }

  // The busy indicator is put back to Ready by a reply or a swipe, not by a time-out that finds
  // the reader known (the current edition leaves it red then), nor by bytes that come in while
  // a card-data fetch is between its requests. On a loaded machine any reply may come after
  // its time-out, so a red indicator is taken only if the next answered command turns it back.
  void settleAndCheck(bool eitherBusy = false) {
    check(settle(), "no exchange left running after quiet");
    checkMonitor();
    State s = ParseState(ask(console_, "dump"));
    if (s["BusyTextLabel"] == kBusy && !eitherBusy) {
      console_.send("send 9");
      check(settle(), "no exchange left running after the version request");
      s = ParseState(ask(console_, "dump"));
    }
    check(s["BusyTextLabel"] == "Ready" || (eitherBusy && s["BusyTextLabel"] == kBusy),
          "busy indicator back at Ready, not " + s["BusyTextLabel"]);
    // The legacy edition loads the port dialog hidden at start-up and keeps it loaded.
    const std::string dialogs = s.count("Dialogs") ? s["Dialogs"] : "?";
    check(dialogs.empty() || (legacy_ && dialogs == "ComPort_form"), "no dialog open: " + dialogs);
  }

  // Legacy shows an unrecognised reply twice in a row: the second may be skipped when
  // matching. A reader that really sent the same reply twice makes that ambiguous, so a
  // repeat that fits is taken first and, should the rest then not match, skipped instead.
  bool endsWith(const std::vector<Record>& records, bool fromReader, const Bytes& stream,
                bool exact) {
    std::vector<std::pair<const Bytes*, bool>> entries;  // newest first; a repeat of the next?
    const Record* later = nullptr;
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
      if (r->first != fromReader) {
        later = nullptr;
        continue;
      }
      entries.emplace_back(&r->second,
                           legacy_ && fromReader && later && later->second == r->second);
      later = &*r;
    }
    // Runs of plain entries are matched in a loop; only a repeat branches (and nests).
    std::set<std::pair<std::size_t, std::size_t>> failed;  // (repeat, end) known not to match
    const std::function<bool(std::size_t, std::size_t)> match = [&](std::size_t i,
                                                                    std::size_t end) {
      for (;; ++i) {
        if (i == entries.size()) return !exact || end == 0;
        const auto& [data, repeat] = entries[i];
        const bool fits =
            data->size() <= end && stream.compare(end - data->size(), data->size(), *data) == 0;
        if (repeat) {
          if (failed.count({i, end})) return false;
          const bool ok = (fits && match(i + 1, end - data->size())) || match(i + 1, end);
          if (!ok) failed.emplace(i, end);
          return ok;
        }
        if (!fits) return false;
        end -= data->size();
      }
    };
    return match(0, stream.size());
  }

  // The monitor's text: a header line, then "39h " per byte (a reception past 4 KiB goes on in
  // further data lines under its header); bounded; the bytes of the line.
  void checkMonitor() {
    const auto lines = ask(console_, "monitor");
    std::vector<Record> records;
    bool format = true;
    std::size_t dataLines = 0;
    for (std::size_t i = 0; format && i < lines.size(); ++i, ++dataLines) {
      const bool fromReader = lines[i] == tkr::protocol::kHeaderFromReader;
      const bool header = fromReader || lines[i] == tkr::protocol::kHeaderToReader;
      if (header) records.push_back({fromReader, {}});
      if (header) ++i;
      // Only a reception's record goes on past its first data line.
      format = i < lines.size() && !records.empty() && (header || records.back().first);
      if (!format) break;
      std::string spaced = lines[i];
      std::replace(spaced.begin(), spaced.end(), 'h', ' ');
      const Bytes bytes = Hex(spaced);
      records.back().second += bytes;
      format = tkr::protocol::HexDumpLine(bytes) == lines[i] + "\r\n";
    }
    check(format, "monitor text in the log format");
    monitorChars_ = 2 * dataLines;
    for (const auto& r : records) monitorChars_ += 10 + r.second.size() * 4;
    check(monitorChars_ <= MonitorLog::kLimit + std::size_t{4} * 65536 + 16, "monitor bounded");
    // Nothing cleared or trimmed it since our own Clear: then it holds every byte exactly.
    const bool exact =
        !records.empty() && !records.front().first && totalSinceClear_ * 4 < MonitorLog::kTrimTo;
    check(endsWith(records, true, fromReader_, exact), "reader's bytes in the monitor, in order");
    check(endsWith(records, false, fromHost_, exact), "console's bytes in the monitor, in order");
  }

  // After a step that closes the port or discards input, our record of the line starts over.
  void resync() {
    settle();
    console_.send("click ClearButton");
    ask(console_, "dump");
    drainSim();
    fromReader_.clear();
    fromHost_.clear();
    totalSinceClear_ = 0;
    settleAndCheck();
  }

  std::string program_;
  bool legacy_;
  std::mt19937 rng_;
  std::size_t flood_;  // an unasked stream
  std::size_t fill_;   // the length of a long typed command
  int latencyBoundMs_;
  QTemporaryDir tmp_;
  Sim sim_;
  Process console_;
  Bytes fromReader_, fromHost_;  // since our last Clear, the tail only
  std::size_t totalSinceClear_ = 0, monitorChars_ = 0;
  std::string what_ = "start-up";
  int steps_ = 0, checks_ = 0, failures_ = 0;
  std::map<std::string, int> failedChecks_;
  long long peakLatencyMs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(
        stderr,
        "usage: tkr_soak PROGRAM SECONDS SEED [--flood BYTES] [--fill BYTES] [--latency-ms MS]\n");
    return 2;
  }
  std::map<std::string, int> opt = {{"--flood", 4096}, {"--fill", 4000}, {"--latency-ms", 2000}};
  for (int i = 4; i + 1 < argc; i += 2) opt[argv[i]] = std::atoi(argv[i + 1]);
  Soak soak(argv[1], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)),
            static_cast<std::size_t>(std::clamp(opt["--flood"], 1, 65535)),
            static_cast<std::size_t>(std::clamp(opt["--fill"], 0, 65535)), opt["--latency-ms"]);
  const long rssStart = soak.rss();
  if (opt["--fill"] > 0)
    soak.fillToBound();  // --fill 0: a short run that leaves memory to the bench
  const long rssBound = soak.rss();
  for (const auto start = std::chrono::steady_clock::now();
       std::chrono::steady_clock::now() - start < std::chrono::seconds(std::atoi(argv[2]));)
    soak.step();
  if (opt["--fill"] > 0) soak.fillToBound();
  soak.report(rssStart, rssBound);
  return soak.ok() ? 0 : 1;
}
