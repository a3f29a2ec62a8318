#pragma once
// A child program driven line by line over its standard input and output.
#include <QProcess>
#include <map>
#include <string>
#include <vector>

namespace tkr::e2e {

class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void send(const std::string& line);
  // The lines up to (not including) the first that equals `marker`; empty optional-like
  // result with `found` false when the deadline passes or the program ends first.
  struct Lines {
    bool found = false;
    std::vector<std::string> lines;
  };
  Lines readUntil(const std::string& marker, int timeoutMs = 20000);
  std::string readLine(int timeoutMs = 20000);
  std::string allOutput() const { return seen_; }
  bool running() const { return process_.state() == QProcess::Running; }
  qint64 pid() const { return process_.processId(); }
  // Once the program has ended (readLine found nothing more): its exit code, -1 after a crash.
  int exitCode();
  // A long run reads far more than it could keep; allOutput() is then empty.
  void keepOutput(bool keep) { keep_ = keep; }

 private:
  bool nextLine(std::string& line, int timeoutMs);
  QProcess process_;
  std::string buffer_;
  std::string seen_;
  bool keep_ = true;
};

// Sends the signal to the running program; a program that has already ended gets none (its
// pid 0 would send it to the whole process group, the test runner included).
bool Signal(const QProcess& process, int signal);

// The built program's path.
std::string Binary(const std::string& name);

// "name=value" lines (a --trace dump) as a map; other lines are left out.
using State = std::map<std::string, std::string>;
State ParseState(const std::vector<std::string>& lines);

// tkr520-sim on its pseudo-terminal, driven over its standard input.
struct Sim {
  // asNobody: served by an ordinary user, who then owns the pseudo-terminal.
  explicit Sim(bool asNobody = false);
  // The commands heard so far after the first `from`, in hex, one an entry.
  std::vector<std::string> heard(std::size_t from = 0);
  Process process;
  std::string path;
};

}  // namespace tkr::e2e
