// Soak: a console program as built, against tkr520-sim on a pseudo-terminal, driven for a
// while by a seeded random mix of reader events and operator clicks. After every step the
// console is checked from the outside: it answers, the monitor holds the bytes that went over
// the line in order and stays bounded, no exchange is left running, the labels show what the
// reader holds. Prints a SOAK summary line; exits 1 on any failed check.
//
//   tkr_soak PROGRAM SECONDS SEED [--flood BYTES] [--fill BYTES] [--latency-ms MS]
//            [--every SECONDS]
// --latency-ms 0 leaves the ping's round trip unchecked (the bench checks it).
// A flood is cut into receptions of at most 4 KiB; every byte still stands in the monitor.
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/link/monitor_log.h"
#include "core/protocol/host_commands.h"
#include "tests/e2e/process.h"

namespace {

using tkr::e2e::Binary;
using tkr::e2e::Process;
using Bytes = std::string;
using State = std::map<std::string, std::string>;

Bytes FromHex(const std::string& text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) {
    out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  }
  return out;
}

long RssKb(qint64 pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// One monitor record: its direction and its bytes, read back from the hex dump.
struct Record {
  bool fromReader;
  Bytes data;
};

// Null when the text breaks the log format.
bool ParseMonitor(const std::vector<std::string>& lines, std::vector<Record>& out) {
  if (lines.size() % 2 != 0) return false;
  static const std::string kHex = "0123456789ABCDEF";
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    if (lines[i] != "PC-->MSR" && lines[i] != "PC<--MSR") return false;
    const std::string& d = lines[i + 1];
    if (d.size() % 4 != 0) return false;
    Record r{lines[i] == "PC<--MSR", {}};
    for (std::size_t j = 0; j < d.size(); j += 4) {
      const auto hi = kHex.find(d[j]), lo = kHex.find(d[j + 1]);
      if (hi == std::string::npos || lo == std::string::npos || d[j + 2] != 'h' || d[j + 3] != ' ')
        return false;
      r.data += static_cast<char>(hi * 16 + lo);
    }
    out.push_back(std::move(r));
  }
  return true;
}

class Soak {
 public:
  Soak(const std::string& program, unsigned seed, std::size_t floodBytes, std::size_t fillBytes,
       int latencyMs)
      : program_(program), legacy_(program == "SWPDEMO1"), rng_(seed), flood_(floodBytes), fill_(fillBytes),
        latencyBoundMs_(latencyMs), sim_(Binary("tkr520-sim"), {}) {
    sim_.keepOutput(false);
    const std::string path = sim_.readLine();
    console_ = std::make_unique<Process>(
        Binary(program), std::vector<std::string>{"--no-system-ports", "--trace", "--port", "COM1=" + path},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}, {"TMPDIR", tmp_.path().toStdString()}});
    console_->keepOutput(false);
    check(console_->readUntil("READY", 60000).found, "start-up ends in READY");
  }
  ~Soak() { console_->send("quit"); }

  bool ok() const { return failures_ == 0; }
  long rss() const { return RssKb(console_->pid()); }

  // Fills the monitor past its bound, in exchanges that do not clear it.
  void fillToBound() {
    resync();
    for (int i = 0; i < 64 && monitorChars_ < tkr::link::MonitorLog::kTrimTo; ++i) fill();
  }

  void step() {
    ++steps_;
    static const char* kToggles[] = {"BuzzerCheckBox", "JISCheckBox", "LRCCheckBox", "SelfArmCheckBox", "SSESCheckBox"};
    static const char* kTracks[] = {"TK1CheckBox", "TK2CheckBox", "TK3CheckBox"};
    const int pick = pickIn(0, 99);
    if (pick < 14) {
      what_ = "swipe sample";
      simSay("swipe sample " + std::to_string(pickIn(1, 4)));
    } else if (pick < 24) {
      what_ = "swipe random card";
      simSay("swipe " + randomTrack() + " " + randomTrack() + " " + randomTrack());
    } else if (pick < 38) {
      what_ = "choose a command row";
      chooseRow();
    } else if (pick < 42) {
      what_ = "send typed text";
      std::string text;
      for (int n = pickIn(1, 4); n > 0; --n) text += static_cast<char>(pickIn('A', 'Z'));
      consoleSay("send " + text);
    } else if (pick < 54) {
      what_ = std::string("click ") + kToggles[pickIn(0, 4)];
      consoleSay(std::string("click ") + (what_.c_str() + 6));
      settleAndCheck();
      checkLabels();
      return;
    } else if (pick < 62) {
      what_ = std::string("click ") + kTracks[pickIn(0, 2)];
      consoleSay(what_);
    } else if (pick < 67) {
      what_ = "click ClearButton";
      resync();
      return;
    } else if (pick < 73) {
      what_ = "garbage answers";
      simSay("garbage");
      for (int n = pickIn(1, 3); n > 0; --n) pickIn(0, 1) ? chooseRow() : simSay("swipe sample 1");
      settleAndCheck();
      simSay("normal");
    } else if (pick < 76) {
      what_ = "silent reader";
      simSay("silent");
      chooseRow();
      settleAndCheck(kEitherBusy);
      simSay("normal");
      return;
    } else if (pick < 81) {
      what_ = "flood";
      simSay("flood " + std::to_string(flood_));
      settleAndCheck(kEitherBusy);
      return;
    } else if (pick < 86) {
      what_ = "fill";
      fill();
    } else if (pick < 90) {
      what_ = "unplug, replug, Auto Comm";
      simSay("unplug");
      chooseRow();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      simSay("replug");
      consoleSay("click RestartCommandButton");
      afterReset();
      return;
    } else if (pick < 95) {
      what_ = "click DefaultButton";
      consoleSay("click DefaultButton");
      afterReset();
      return;
    } else {
      what_ = "click RestartCommandButton";
      consoleSay(what_);
      afterReset();
      return;
    }
    settleAndCheck();
  }

  void report(const char* label, long rssStart, long rssBound) {
    std::printf("SOAK %s %s steps=%d checks=%d failures=%d peak_latency_ms=%lld rss_start_kb=%ld "
                "rss_bound_kb=%ld rss_now_kb=%ld monitor_chars=%zu\n",
                label, program_.c_str(), steps_, checks_, failures_, peakLatencyMs_, rssStart, rssBound,
                rss(), monitorChars_);
    std::fflush(stdout);
  }

 private:
  int pickIn(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::string randomTrack() {
    const int kind = pickIn(0, 9);
    if (kind == 0) return "+";
    if (kind == 1) return "*";
    static const char* kHex = "0123456789ABCDEF";
    std::string t;
    for (int n = pickIn(1, 24); n > 0; --n) {
      const int b = pickIn(0, 255);  // every value, 0x00 and 0x80-0xFF too
      t += std::string("\\x") + kHex[b >> 4] + kHex[b & 15];
    }
    return t;
  }

  void chooseRow() {
    const auto rows = tkr::protocol::HostCommandList();
    consoleSay("choose " + std::to_string(rows[static_cast<std::size_t>(pickIn(0, static_cast<int>(rows.size()) - 1))].itemCode));
  }

  // A long typed command the reader does not answer: the monitor gains one long record and
  // is not cleared.
  void fill() {
    std::string text;
    for (std::size_t n = fill_ ? fill_ : 400; n > 0; --n) text += static_cast<char>(pickIn('A', 'Z'));
    console_->send("send " + text);
    // The wait for its answer runs two seconds: a ping read meanwhile is answered inside it.
    check(!ping(), "ping answered inside the wait");
    settleAndCheck(kEitherBusy);
  }

  void simSay(const std::string& line) { sim_.send(line); }
  void consoleSay(const std::string& line) {
    console_->send(line);
    ping();  // while the exchange it started runs
  }

  void check(bool good, const std::string& what) {
    ++checks_;
    if (good) return;
    ++failures_;
    if (failures_ <= 20) std::printf("FAIL step %d (%s): %s\n", steps_, what_.c_str(), what.c_str());
    std::fflush(stdout);
  }

  // The console's lines up to `marker`, without the message boxes it reports in between.
  std::vector<std::string> consoleLines(const std::string& marker, int timeoutMs, bool* found) {
    auto got = console_->readUntil(marker, timeoutMs);
    *found = got.found;
    std::erase_if(got.lines, [](const std::string& l) { return l.rfind("BOX ", 0) == 0; });
    return got.lines;
  }

  // Event-loop latency: the round trip of a command answered at once, even inside a wait.
  bool ping() {
    QElapsedTimer t;
    t.start();
    console_->send("ping");
    std::string line;
    do {
      line = console_->readLine(std::max(latencyBoundMs_ * 5, 10000));
    } while (!line.empty() && line.rfind("PONG", 0) != 0);
    const qint64 ms = t.elapsed();
    peakLatencyMs_ = std::max<long long>(peakLatencyMs_, ms);
    check(!line.empty() && console_->running(), "the program is alive and answers ping");
    if (latencyBoundMs_ > 0) check(ms <= latencyBoundMs_, "ping answered in " + std::to_string(ms) + " ms");
    return line == "PONG idle";
  }

  // Gathers what the reader sent and heard since the last look; true when it has nothing
  // queued and sent nothing new.
  bool drainSim() {
    sim_.send("sent");
    const auto sent = sim_.readUntil("END");
    const bool pending = sent.lines.size() > 1;
    const Bytes s = sent.lines.empty() ? Bytes() : FromHex(sent.lines[0]);
    sim_.send("heard");
    const auto heard = sim_.readUntil("END");
    const Bytes h = heard.lines.empty() ? Bytes() : FromHex(heard.lines[0]);
    keep(fromReader_, s);
    keep(fromHost_, h);
    totalSinceClear_ += s.size() + h.size();
    return s.empty() && h.empty() && !pending;
  }

  // Only the tail the monitor can still show is worth keeping.
  static void keep(Bytes& stream, const Bytes& more) {
    stream += more;
    constexpr std::size_t kKeep = tkr::link::MonitorLog::kLimit / 2;
    if (stream.size() > 2 * kKeep) stream.erase(0, stream.size() - kKeep);
  }

  // Quiet: the console idle and the line silent for two looks in a row.
  bool settle() {
    QDeadlineTimer deadline(30000);
    for (int calm = 0; !deadline.hasExpired();) {
      const bool idle = ping();
      calm = drainSim() && idle ? calm + 1 : 0;
      if (calm >= 2) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    return false;
  }

  // The busy indicator is put back to Ready by a reply or a swipe, not by a time-out that
  // finds the reader known (the current edition leaves it red then), nor by bytes that come
  // in while a card-data fetch is between its requests: after a silent reader or a flood
  // either is right.
  static constexpr bool kEitherBusy = true;
  void settleAndCheck(bool eitherBusy = false) {
    check(settle(), "no exchange left running after quiet");
    checkMonitor();
    const State s = dump();
    const std::string busy = s.count("BusyTextLabel") ? s.at("BusyTextLabel") : "";
    check(busy == "Ready" || (eitherBusy && busy == "Under processing, please don't swipe card!"),
          "busy indicator back at Ready, not " + busy);
    // The legacy edition loads the port dialog hidden at start-up and keeps it loaded.
    std::string dialogs = s.count("Dialogs") ? s.at("Dialogs") : "?";
    if (legacy_ && dialogs.starts_with("ComPort_form")) dialogs.erase(0, std::min<std::size_t>(13, dialogs.size()));
    check(dialogs.empty(), "no dialog open: " + dialogs);
  }

  State dump() {
    console_->send("dump");
    bool found = false;
    State state;
    for (const auto& line : consoleLines("END", 20000, &found)) {
      const auto eq = line.find('=');
      if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
    }
    check(found, "dump answered once idle");
    return state;
  }

  // Legacy shows an unrecognised reply twice in a row: the second is skipped when matching.
  bool endsWith(const std::vector<Record>& records, bool fromReader, const Bytes& stream, bool exact) {
    std::size_t end = stream.size();
    const Record* later = nullptr;
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
      if (r->fromReader != fromReader) {
        later = nullptr;
        continue;
      }
      const bool fits = r->data.size() <= end && stream.compare(end - r->data.size(), r->data.size(), r->data) == 0;
      if (!fits && !(legacy_ && fromReader && later && later->data == r->data)) return false;
      if (fits) end -= r->data.size();
      later = &*r;
    }
    return !exact || end == 0;
  }

  void checkMonitor() {
    console_->send("monitor");
    bool found = false;
    const auto lines = consoleLines("END", 20000, &found);
    std::vector<Record> records;
    check(found && ParseMonitor(lines, records), "monitor text in the log format");
    monitorChars_ = 0;
    for (const auto& r : records) monitorChars_ += 10 + r.data.size() * 4 + 2;
    check(monitorChars_ <= tkr::link::MonitorLog::kLimit + 4 * 65536 + 16, "monitor bounded");
    // Nothing cleared or trimmed it since our own Clear: then it holds every byte exactly.
    const bool exact = !records.empty() && !records.front().fromReader &&
                       totalSinceClear_ * 4 < tkr::link::MonitorLog::kTrimTo;
    check(endsWith(records, true, fromReader_, exact), "reader's bytes in the monitor, in order");
    check(endsWith(records, false, fromHost_, exact), "console's bytes in the monitor, in order");
  }

  void checkLabels() {
    sim_.send("config");
    const auto got = sim_.readUntil("END");
    if (got.lines.empty()) return check(false, "simulator reports its configuration");
    std::map<std::string, bool> c;
    std::istringstream words(got.lines[0]);
    for (std::string w; words >> w;) c[w.substr(0, w.find('='))] = w.back() == '1';
    const State s = dump();
    const auto on = [](bool b) { return b ? "Enable" : "Disable"; };
    const std::pair<const char*, std::string> want[] = {
        {"BuzzerLabel", on(c["buzzer"])},      {"SelfArmLabel", on(c["selfarm"])},
        {"RTSLabel", on(c["rts"])},            {"CTSLabel", on(c["cts"])},
        {"JISLabel", c["jis"] ? "With" : "Without"}, {"LRCLabel", c["lrc"] ? "Included" : "No LRC"},
        {"SSESLabel", c["sses"] ? "Included" : "No SS&&ES"}};
    for (const auto& [label, text] : want) {
      check(s.count(label) && s.at(label) == text, std::string(label) + " shows " + text);
    }
  }

  // After a step that closes the port or discards input, our record of the line starts over.
  void afterReset() {
    check(settle(), "no exchange left running after quiet");
    checkLabels();
    resync();
  }

  void resync() {
    settle();
    console_->send("click ClearButton");
    dump();
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
  Process sim_;
  std::unique_ptr<Process> console_;
  Bytes fromReader_, fromHost_;  // since our last Clear, the tail only
  std::size_t totalSinceClear_ = 0;
  std::size_t monitorChars_ = 0;
  std::string what_ = "start-up";
  int steps_ = 0, checks_ = 0, failures_ = 0;
  long long peakLatencyMs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tkr_soak PROGRAM SECONDS SEED [--flood BYTES] [--fill BYTES] "
                         "[--latency-ms MS] [--every SECONDS]\n");
    return 2;
  }
  std::size_t flood = 4096, fill = 4000;
  int latencyMs = 2000, every = 0;
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (opt == "--flood") flood = static_cast<std::size_t>(std::clamp(value, 1, 65535));
    if (opt == "--fill") fill = static_cast<std::size_t>(std::clamp(value, 0, 65535));
    if (opt == "--latency-ms") latencyMs = value;
    if (opt == "--every") every = value;
  }
  const auto seconds = std::atoi(argv[2]);
  Soak soak(argv[1], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)), flood, fill,
            latencyMs);
  const long rssStart = soak.rss();
  if (fill > 0) soak.fillToBound();  // --fill 0: a short run that leaves memory to the bench
  const long rssBound = soak.rss();
  const auto start = std::chrono::steady_clock::now();
  auto nextReport = start + std::chrono::seconds(every);
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
    soak.step();
    if (every > 0 && std::chrono::steady_clock::now() >= nextReport) {
      soak.report("AT", rssStart, rssBound);
      nextReport += std::chrono::seconds(every);
    }
  }
  if (fill > 0) soak.fillToBound();
  soak.report("END", rssStart, rssBound);
  return soak.ok() ? 0 : 1;
}
