#include "tests/e2e/process.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <csignal>

namespace tkr::e2e {

std::string Binary(const std::string& name) {
  return std::string(TKR_BIN_DIR) + "/" + name;
}

State ParseState(const std::vector<std::string>& lines) {
  State state;
  for (const auto& line : lines) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return state;
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const auto& [k, v] : env)
    environment.insert(QString::fromStdString(k), QString::fromStdString(v));
  process_.setProcessEnvironment(environment);
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QString::fromStdString(program), list);
  process_.waitForStarted(10000);
}

Process::~Process() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.closeWriteChannel();
  process_.terminate();
  if (!process_.waitForFinished(3000)) process_.kill(), process_.waitForFinished(3000);
}

void Process::send(const std::string& line) {
  const std::string text = line + "\n";
  process_.write(text.data(), static_cast<qint64>(text.size()));
  process_.waitForBytesWritten(1000);
}

int Process::exitCode() {
  process_.waitForFinished(10000);
  return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

bool Process::nextLine(std::string& line, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  for (;;) {
    const auto end = buffer_.find('\n');
    if (end != std::string::npos) {
      line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      if (keep_) seen_ += line + "\n";
      return true;
    }
    if (deadline.hasExpired()) return false;
    const bool more = process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    const QByteArray chunk = process_.readAllStandardOutput();
    buffer_.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    if (!more && buffer_.find('\n') == std::string::npos) return false;
  }
}

std::string Process::readLine(int timeoutMs) {
  std::string line;
  return nextLine(line, timeoutMs) ? line : std::string();
}

Process::Lines Process::readUntil(const std::string& marker, int timeoutMs) {
  Lines out;
  QDeadlineTimer deadline(timeoutMs);
  for (std::string line; nextLine(line, static_cast<int>(deadline.remainingTime()));) {
    if ((out.found = line == marker)) break;
    out.lines.push_back(line);
  }
  return out;
}

bool Signal(const QProcess& process, int signal) {
  const qint64 pid = process.processId();
  return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0;
}

Sim::Sim(bool asNobody)
    : process(asNobody ? "setpriv" : Binary("tkr520-sim"),
              asNobody ? std::vector<std::string>{"--reuid=nobody", "--regid=nogroup",
                                                  "--clear-groups", Binary("tkr520-sim")}
                       : std::vector<std::string>{}),
      path(process.readLine()) {}

std::vector<std::string> Sim::heard(std::size_t from) {
  process.send("received");
  std::vector<std::string> all = process.readUntil("END").lines;
  all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())));
  return all;
}

}  // namespace tkr::e2e
