// The station and the fleet's idempotent apply against simulated readers that are plugged in
// and out at their links: the lines, the summary, the log, and what each reader hears.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

const std::string kRE1 = "09 00 03 52 45 31 2C";
const std::string kBuzzerOff = "09 00 03 42 5A 44 56";
const std::string kLrcOn = "09 00 03 4C 43 45 40";
const std::string kProtocol1 = "09 00 03 50 43 32 2B";
const std::string kVersion = "39";
// The profile the station and the fleet tests put on every reader.
const QByteArray kProfile =
    R"({"format": "tkr520ctl-profile", "version": 1, "buzzer": "off", "lrc": "on", "protocol": 1})";

// A reader at `link` with settings of its own, unplugged until told; `commands` go to it first.
struct LinkedSim {
  LinkedSim(const std::string& link, const std::string& config,
            const std::vector<std::string>& commands, bool unplugged = true)
      : process(Binary("tkr520-sim"), Args(link, config, unplugged)), path(process.readLine()) {
    for (const auto& c : commands) process.send(c);
  }
  static std::vector<std::string> Args(const std::string& link, const std::string& config,
                                       bool unplugged) {
    std::vector<std::string> args = {"--link", link, "--config", config};
    if (unplugged) args.push_back("--unplugged");
    return args;
  }
  // Every command heard since it started, in hex, after the first `from`.
  std::vector<std::string> heard(std::size_t from = 0) {
    process.send("received");
    auto all = process.readUntil("END").lines;
    all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())));
    return all;
  }
  std::size_t count(const std::string& command) {
    const auto all = heard();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), command));
  }
  Process process;
  std::string path;
};

std::string WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
  QFile f(dir.filePath(name));
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
  return f.fileName().toStdString();
}

std::string LockOf(const std::string& device) {
  return "/run/lock/LCK.." + QString::fromStdString(device).replace('/', '_').toStdString();
}

// tkr520ctl station with its standard output and error as one stream of lines.
class Station {
 public:
  explicit Station(const std::vector<std::string>& args) {
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    p_.setProcessChannelMode(QProcess::MergedChannels);
    p_.start(QString::fromStdString(Binary("tkr520ctl")), list);
    const std::string first = next();
    EXPECT_NE(first.find("(Ctrl-C ends)"), std::string::npos) << first;
  }
  ~Station() {
    if (p_.state() != QProcess::NotRunning) p_.kill(), p_.waitForFinished(5000);
  }
  // The next line, or "" when none comes in time.
  std::string next(int timeoutMs = 20000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!p_.canReadLine() && !deadline.hasExpired()) {
      if (!p_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
    }
    return p_.canReadLine() ? p_.readLine().trimmed().toStdString() : std::string();
  }
  // Ctrl-C, then the rest of the output and the exit status (-1: no normal end).
  int stop(std::string& rest) {
    EXPECT_TRUE(Signal(p_, SIGINT));
    const bool ended = p_.waitForFinished(20000);
    rest = p_.readAll().toStdString();
    return ended && p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
  }
  void killHard() {
    p_.kill();
    p_.waitForFinished(5000);
  }

 private:
  QProcess p_;
};

// A result line without its time stamp, once the time stamp is checked.
std::string WithoutTime(const std::string& line) {
  const auto space = line.find(' ');
  EXPECT_TRUE(
      QDateTime::fromString(QString::fromStdString(line.substr(0, space)), Qt::ISODate).isValid())
      << line;
  return space == std::string::npos ? line : line.substr(space + 1);
}

std::vector<QJsonObject> LogLines(const std::string& file) {
  QFile f(QString::fromStdString(file));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  std::vector<QJsonObject> out;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    EXPECT_TRUE(doc.isObject()) << error.errorString().toStdString() << ": " << line.toStdString();
    out.push_back(doc.object());
  }
  return out;
}

// Two readers with different settings, a device that is no reader and a reader that
// acknowledges the buzzer frame but keeps its buzzer, plugged in and out 50 times.
TEST(Station, ConfiguresEachReaderOncePerPlug) {
  QTemporaryDir dir;
  const std::string profile = WriteFile(dir, "line7.json", kProfile);
  const std::string log = dir.filePath("station.log").toStdString();
  enum { A, B, Foreign, Stubborn };
  LinkedSim sims[] = {{dir.filePath("A").toStdString(), "buzzer=1,lrc=1,protocol=0", {}},
                      {dir.filePath("B").toStdString(), "buzzer=0,lrc=0,protocol=2", {}},
                      {dir.filePath("F").toStdString(), "", {"foreign"}},
                      {dir.filePath("S").toStdString(), "", {"ignore BZ"}}};
  std::vector<std::string> args = {"--no-system-ports", "--log", log};
  for (int i = 0; i < 4; ++i)
    args.insert(args.end(), {"--port", "COM" + std::to_string(i + 1) + "=" + sims[i].path});
  args.insert(args.end(), {"station", profile});
  Station station(args);

  // One round of events: a plug is answered by its reader's line, an unplug by the note that
  // the port is free again. A stays plugged while B is served, so a station that served a
  // reader twice for one plug would print a second line for it there.
  struct Event {
    const char* name;
    int sim;
    bool plug;
    std::string says;  // after the port and the device
  };
  const Event round[] = {
      {"A plugged", A, true, "TKR510V1 ok"},
      {"B plugged beside A", B, true, "TKR510V1 ok"},
      {"A unplugged", A, false, ""},
      {"the foreign device plugged", Foreign, true,
       "- failed: not a reader: the device that answers is not a TKR520 reader (it answered \""},
      {"B unplugged", B, false, ""},
      {"the stubborn reader plugged", Stubborn, true,
       "TKR510V1 failed: refused a change: the reader did not take buzzer"},
      {"the foreign device unplugged", Foreign, false, ""},
      {"A plugged again", A, true, "TKR510V1 ok"},
      {"the stubborn reader unplugged", Stubborn, false, ""},
      {"A unplugged again", A, false, ""},
  };
  constexpr int kRounds = 10;  // 5 plugs a round
  std::vector<std::string> printed;
  for (int r = 0; r < kRounds; ++r) {
    for (const Event& e : round) {
      SCOPED_TRACE("round " + std::to_string(r + 1) + ": " + e.name);
      LinkedSim& sim = sims[e.sim];
      const std::string port = "COM" + std::to_string(e.sim + 1) + " " + sim.path;
      sim.process.send(e.plug ? "replug" : "unplug");
      const std::string line = station.next();
      if (e.plug) {
        // What the foreign device is quoted with depends on how its answer came in pieces.
        const std::string shown = WithoutTime(line);
        ASSERT_EQ(e.sim == Foreign ? shown.substr(0, port.size() + 1 + e.says.size()) : shown,
                  port + " " + e.says);
        printed.push_back(line);
      } else {
        ASSERT_EQ(line, "tkr520ctl: " + port + " gone; ready for the next reader");
      }
    }
  }
  std::string rest;
  EXPECT_EQ(station.stop(rest), 3);
  EXPECT_EQ(rest, "readers: 30 ok, 20 failed (10 not a reader, 10 refused a change)\n");

  // Each plug is one detection (two version requests; one for the foreign device) and one
  // read-back; each change goes out once, verified by a read-back of its own: A and B take
  // theirs on the first plug, the stubborn reader is sent its buzzer again at every plug.
  struct Heard {
    const char* name;
    int sim;
    std::size_t versions, readBacks, buzzer, lrc, protocol;
  };
  const Heard heard[] = {
      {"A", A, 40, 22, 1, 0, 1},
      {"B", B, 20, 12, 0, 1, 1},
      {"the foreign device", Foreign, 10, 0, 0, 0, 0},
      {"the stubborn reader", Stubborn, 20, 21, 10, 0, 1},
  };
  for (const Heard& h : heard) {
    SCOPED_TRACE(h.name);
    const auto all = sims[h.sim].heard();
    const auto count = [&](const std::string& c) {
      return static_cast<std::size_t>(std::count(all.begin(), all.end(), c));
    };
    EXPECT_EQ(count(kVersion), h.versions);
    EXPECT_EQ(count(kRE1), h.readBacks);
    EXPECT_EQ(count(kBuzzerOff), h.buzzer);
    EXPECT_EQ(count(kLrcOn), h.lrc);
    EXPECT_EQ(count(kProtocol1), h.protocol);
    if (h.sim == Foreign) {
      EXPECT_EQ(all.size(), 10u);
    }
  }

  // The log: a line a reader in the printed order, with what was read back and the profile's
  // hash, and nothing the foreign device said.
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), printed.size());
  const QString hash = QCryptographicHash::hash(kProfile, QCryptographicHash::Sha256).toHex();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(printed[i]);
    const QJsonObject& l = lines[i];
    EXPECT_NE(printed[i].find(" " + l["port"].toString().toStdString() + " " +
                              l["device"].toString().toStdString() + " "),
              std::string::npos);
    EXPECT_NE(printed[i].find(" " + l["result"].toString().toStdString()), std::string::npos);
    EXPECT_EQ(l["profile"].toString().toStdString(), profile);
    EXPECT_EQ(l["profile_sha256"].toString(), hash);
  }
  const auto settings = [](const QJsonObject& l, const char* when) {
    const QJsonObject s = l[when].toObject();
    return (s["buzzer"].toString() + " " + s["lrc"].toString() + " " + s["protocol"].toString())
        .toStdString();
  };
  EXPECT_EQ(settings(lines[0], "before"), "on on 0");  // A, first plug
  EXPECT_EQ(settings(lines[0], "after"), "off on 1");
  EXPECT_TRUE(lines[0]["changed"].toBool());
  EXPECT_EQ(settings(lines[1], "before"), "off off 2");  // B
  EXPECT_EQ(settings(lines[1], "after"), "off on 1");
  EXPECT_EQ(settings(lines[4], "before"), "off on 1");  // A again: only read back
  EXPECT_FALSE(lines[4]["changed"].toBool());
  EXPECT_EQ(lines[2]["reason"].toString(), "not a reader");
  EXPECT_EQ(lines[2]["error"].toString(), "the device that answers is not a TKR520 reader");
  EXPECT_EQ(lines[3]["reason"].toString(), "refused a change");
  QFile raw(QString::fromStdString(log));
  ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
  EXPECT_FALSE(raw.readAll().contains("answered"));
  for (const auto& sim : sims)
    EXPECT_FALSE(QFile::exists(QString::fromStdString(LockOf(sim.path))));
}

// A station killed while it serves a reader leaves whole lines in its log; the next one
// appends to them.
TEST(Station, LogSurvivesAKill) {
  QTemporaryDir dir;
  const std::string profile = WriteFile(dir, "line7.json", kProfile);
  const std::string log = dir.filePath("station.log").toStdString();
  LinkedSim a(dir.filePath("A").toStdString(), "buzzer=1", {}),
      b(dir.filePath("B").toStdString(), "buzzer=1", {});
  const std::vector<std::string> args = {
      "--no-system-ports", "--port", "COM1=" + a.path, "--port", "COM2=" + b.path, "--log", log,
      "station",           profile};
  {
    Station station(args);
    a.process.send("replug");
    EXPECT_NE(station.next().find(" COM1 " + a.path + " TKR510V1 ok"), std::string::npos);
    b.process.send("replug");
    // Killed once B's detection has begun.
    QDeadlineTimer deadline(20000);
    while (b.count(kVersion) == 0 && !deadline.hasExpired()) {
    }
    station.killHard();
  }
  ASSERT_EQ(LogLines(log).size(), 1u);
  QFile::remove(QString::fromStdString(LockOf(b.path)));  // the killed station's, stale

  Station again(args);  // both readers are plugged: served at once, in turn
  EXPECT_NE(again.next().find(" COM1 " + a.path + " TKR510V1 ok"), std::string::npos);
  EXPECT_NE(again.next().find(" COM2 " + b.path + " TKR510V1 ok"), std::string::npos);
  std::string rest;
  EXPECT_EQ(again.stop(rest), 0);
  EXPECT_EQ(rest, "readers: 2 ok, 0 failed\n");
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["port"].toString(), "COM1");
  EXPECT_EQ(lines[2]["port"].toString(), "COM2");
  for (const auto& p : {a.path, b.path})
    EXPECT_FALSE(QFile::exists(QString::fromStdString(LockOf(p))));
}

// One tkr520ctl run on COM1 = `sim`; status, standard output.
std::pair<int, std::string> Ctl(const LinkedSim& sim, const std::vector<std::string>& args) {
  QStringList list = {"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path),
                      "--com", "1"};
  for (const auto& a : args) list << QString::fromStdString(a);
  QProcess p;
  p.start(QString::fromStdString(Binary("tkr520ctl")), list);
  EXPECT_TRUE(p.waitForFinished(30000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          p.readAllStandardOutput().toStdString()};
}

// --check and diff send nothing past the connection's read-back; apply sends only what
// differs, and nothing to a reader that matches.
TEST(Fleet, ApplyIsIdempotent) {
  QTemporaryDir dir;
  LinkedSim sim(dir.filePath("A").toStdString(), "buzzer=1", {}, false);
  const std::string p = WriteFile(dir, "line7.json", kProfile);
  const std::string tracks = WriteFile(
      dir, "tracks.json",
      R"({"format": "tkr520ctl-profile", "version": 1, "buzzer": "off", "tracks": "1,3"})");
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;                  // the whole output, or with `part` a part of it
    std::vector<std::string> frames;  // after the connection's warm reset, version and read-back
    bool part = false;
  };
  const Row rows[] = {
      {"check a reader that differs",
       {"profile", "apply", p, "--check"},
       0,
       "buzzer: now on, wanted off: would change\nlrc: now on, wanted on\nprotocol: now 0, wanted "
       "1: would change\n",
       {}},
      {"diff a reader that differs",
       {"profile", "diff", p},
       1,
       "--- COM1 " + sim.path + "\n+++ " + p +
           "\n@@ -1,3 +1,3 @@\n-buzzer=on\n+buzzer=off\n lrc=on\n-protocol=0\n+protocol=1\n",
       {}},
      {"apply",
       {"--json", "profile", "apply", p},
       0,
       R"("changed":true,)",
       {kBuzzerOff, "7F", kRE1, kProtocol1, kRE1},
       true},
      {"apply to a reader that matches",
       {"--json", "profile", "apply", p},
       0,
       R"("changed":false,)",
       {},
       true},
      {"diff a reader that matches", {"profile", "diff", p}, 0, "", {}},
      {"check what has no read-back",
       {"profile", "apply", tracks, "--check"},
       0,
       "buzzer: now off, wanted off\ntracks: now unknown (no read-back), wanted 1,3: would send\n",
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t before = sim.heard().size();
    const auto [status, out] = Ctl(sim, row.args);
    EXPECT_EQ(status, row.status);
    if (row.part) {
      EXPECT_NE(out.find(row.out), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, row.out);
    }
    EXPECT_EQ(sim.heard(before + 3), row.frames);
  }
  // Trouble is 2 for diff, as for diff(1), so 1 always means "different".
  EXPECT_EQ(Ctl(sim, {"--com", "5", "profile", "diff", p}).first, 2);
}

// The example playbook with the module, against the simulator on this host.
TEST(Fleet, AnsibleModule) {
  const QString playbook = QStandardPaths::findExecutable("ansible-playbook");
  if (playbook.isEmpty()) GTEST_SKIP() << "ansible-playbook is missing (Debian's ansible-core)";
  QTemporaryDir dir;
  LinkedSim sim(dir.filePath("A").toStdString(), "buzzer=1", {}, false);
  const auto vars = [&](int com) {
    return QString::fromStdString(
        R"({"tkr520_com": )" + std::to_string(com) + R"(, "tkr520_ports": ["COM1=)" + sim.path +
        R"("], "tkr520_no_system_ports": true, "tkr520ctl": ")" + Binary("tkr520ctl") + "\"}");
  };
  struct Row {
    const char* name;
    QStringList options;
    int com;
    std::vector<std::string> before;  // tkr520ctl commands run first
    std::vector<std::string> says;    // in the output
    std::vector<std::string> frames;  // after the connection's warm reset, version and read-back
  };
  const Row rows[] = {
      {"first run", {}, 1, {}, {"ok=1    changed=1"}, {kBuzzerOff, "7F", kRE1, kProtocol1, kRE1}},
      {"second run", {}, 1, {}, {"ok=1    changed=0"}, {}},
      {"check and diff after a change by hand",
       {"--check", "--diff"},
       1,
       {"set", "buzzer=on"},
       {"-buzzer=on\n+buzzer=off\n lrc=on\n protocol=1\n", "ok=1    changed=1"},
       {}},
      {"a port without a reader",
       {},
       5,
       {},
       {"\"msg\": \"COM5: no device on this number\"", "failed=1"},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.before.empty()) {
      ASSERT_EQ(Ctl(sim, row.before).first, 0);
    }
    const std::size_t before = sim.heard().size();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* key : {"ANSIBLE_HOME", "ANSIBLE_LOCAL_TEMP", "ANSIBLE_REMOTE_TEMP"})
      env.insert(key, dir.filePath(key));
    env.insert("ANSIBLE_NOCOLOR", "1");
    env.insert("ANSIBLE_PYTHON_INTERPRETER", "auto_silent");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString file = TKR_SOURCE_DIR "/packaging/ansible/playbook.yml";
    p.start(playbook, QStringList{"-i", "localhost,", "-c", "local", file, "-e", vars(row.com)} +
                          row.options);
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string out = p.readAll().toStdString();
    for (const auto& text : row.says)
      EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    EXPECT_EQ(sim.heard(before + (row.com == 1 ? 3 : 0)), row.frames);
  }
}

}  // namespace
}  // namespace tkr::e2e
