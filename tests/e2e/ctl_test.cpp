// tkr520ctl against tkr520-sim on a pseudo-terminal: the bytes the reader hears, the exit
// status and the report.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

const std::string kRE1 = "09 00 03 52 45 31 2C";

// tkr520ctl's arguments for COM1 = the simulator (--com 1 unless `detect` is true).
QStringList CtlArgs(const Sim& sim, const std::vector<std::string>& args, bool detect = false) {
  QStringList list = {"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path)};
  if (!detect) list << "--com" << "1";
  for (const auto& a : args) list << QString::fromStdString(a);
  return list;
}

// One run of tkr520ctl with those arguments; out holds stdout then stderr.
struct CtlRun {
  int status = -1;
  std::string out;
};
CtlRun RunCtl(const Sim& sim, const std::vector<std::string>& args, bool detect = false) {
  QProcess p;
  p.start(QString::fromStdString(Binary("tkr520ctl")), CtlArgs(sim, args, detect));
  p.waitForFinished(30000);
  return {p.exitCode(), (p.readAllStandardOutput() + p.readAllStandardError()).toStdString()};
}

// tkr520ctl started in the background, once the reader has heard it connect (warm reset,
// version, "RE1") and the last reply's quiet time is over.
void StartCtl(QProcess& p, Sim& sim, const std::vector<std::string>& args) {
  p.start(QString::fromStdString(Binary("tkr520ctl")), CtlArgs(sim, args));
  for (int i = 0; i < 100 && sim.heard().size() < 3; ++i) QThread::msleep(50);
  QThread::msleep(400);
}

// What tkr520ctl's own planning makes the reader hear after it has connected; the frames of
// each toggle, of the code groups and of the defaults are the link tests'. Its protocol change
// reads back with an "RE1" of its own, unlike the console's dialog.
TEST(Ctl, SetSendsWhatTheConsolesControlSends) {
  Sim sim;
  // The arguments, and the frames the reader hears in order.
  const std::pair<std::vector<std::string>, std::vector<std::string>> rows[] = {
      {{"set", "buzzer=off"}, {"09 00 03 42 5A 44 56", "7F", kRE1}},
      {{"set", "protocol=2"}, {"09 00 03 50 43 33 2A", kRE1}},
      // All seven groups go out, those not given with their defaults.
      {{"set", "prefix1=02", "suffix2=0d0a", "prefix3=0A0B0C0D0E0F", "separator=2c"},
       {"09 00 08 70 31 02 00 00 00 00 00 42", "09 00 03 73 31 00 48", "09 00 03 70 32 00 48",
        "09 00 08 73 32 0D 0A 00 00 00 00 47", "09 00 08 70 33 0A 0B 0C 0D 0E 0F 43",
        "09 00 03 73 33 00 4A", "09 00 03 53 50 2C 25"}},
      // RTS goes first on the way on, CTS on the way off.
      {{"set", "cts=on", "rts=on"}, {"09 00 03 52 54 45 49", kRE1, "09 00 03 43 54 45 58", kRE1}},
      {{"set", "rts=off", "cts=off"}, {"09 00 03 43 54 44 59", kRE1, "09 00 03 52 54 44 48", kRE1}},
      {{"defaults"}, {"09 00 03 44 46 00 08", "7F", "7F", kRE1}},
      {{"set", "jis=off"}, {}},  // already off: nothing is sent
  };
  for (const auto& [args, frames] : rows) {
    SCOPED_TRACE(args.back());
    const std::size_t before = sim.heard().size();
    const CtlRun run = RunCtl(sim, args);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(sim.heard(before + 3), frames);
  }
}

TEST(Ctl, BadInputGivesExit2AndSendsNothing) {
  QTemporaryDir dir;
  QFile profile(dir.filePath("bad.json"));
  ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
  profile.write(R"({"format": "tkr520ctl-profile", "version": 1, "buzzer": "on", "lrc": "maybe"})");
  profile.close();
  // `word`: the error line names it; `connects`: refused by the reader's state, read after
  // connecting, which `before` puts the reader into.
  struct Row { const char* name; std::vector<std::string> args; const char* word;
               bool connects = false; std::vector<std::string> before = {}; };
  const Row rows[] = {
      {"unknown name", {"set", "volume=on"}, "volume"},
      {"unknown command", {"reset"}, "unknown command reset"},
      {"bad hex", {"set", "prefix1=0G"}, "prefix1=0G"},
      {"protocol out of range", {"set", "protocol=3"}, "protocol=3"},
      {"name given twice", {"set", "lrc=on", "lrc=off"}, "lrc is given twice"},
      {"profile with a bad value, after a good one",
       {"profile", "apply", profile.fileName().toStdString()}, "lrc=maybe"},
      {"rts off with cts on", {"set", "rts=off", "cts=on"}, "rts=off cts=on: the interlock never"},
      {"cts on while the reader's RTS is off, after another change", {"set", "lrc=off", "cts=on"},
       "cts=on: the reader's RTS is off, and CTS changes only while RTS is on; add rts=on", true},
      {"rts off while the reader's CTS is on", {"set", "rts=off"},
       "rts=off: the reader's CTS is on, and RTS changes only while CTS is off; add cts=off", true,
       {"set", "rts=on", "cts=on"}},
      {"a reader left with RTS off and CTS on", {"set", "cts=off"},  // past the interlock
       "cts=off: the reader reports RTS off with CTS on, where the interlock changes neither",
       true, {"send", "--hex", "09", "00", "03", "43", "54", "45", "58"}},
  };
  const std::vector<std::string> connection = {"7F", "39", kRE1};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    if (!row.before.empty()) {
      ASSERT_EQ(RunCtl(sim, row.before).status, 0);
    }
    const std::size_t mark = sim.heard().size();
    const CtlRun run = RunCtl(sim, row.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(row.word), std::string::npos) << run.out;
    EXPECT_EQ(sim.heard(mark), row.connects ? connection : std::vector<std::string>{});
  }
}

// The reports of each command, the exit status 3 of a change the reader does not take and 1
// of a reader that does not answer.
TEST(Ctl, ReportsAndExitStatusAgainstTheSimulator) {
  Sim sim;
  CtlRun run = RunCtl(sim, {"detect"}, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "port: COM1\nbaud: 9600\nfirmware: TKR510V1\n");
  const std::size_t before = sim.heard().size();
  run = RunCtl(sim, {"--json", "send", "--hex", "1B", "41"});
  EXPECT_EQ(sim.heard(before + 3), (std::vector<std::string>{"1B", "41"}));
  EXPECT_NE(run.out.find(R"("reply":"5Eh 21h ","schema":1,"sent":"1Bh 41h ","status":0})"),
            std::string::npos)
      << run.out;

  QTemporaryDir dir;
  const std::string file = dir.filePath("reader.json").toStdString();
  // Saving reports the reader's status as the status command does.
  run = RunCtl(sim, {"profile", "save", file});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("SS & ES: Included\nProtocol: 0\n"), std::string::npos) << run.out;
  // Applying the saved file puts back what it held.
  RunCtl(sim, {"set", "buzzer=off"});
  run = RunCtl(sim, {"profile", "apply", file});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("buzzer=on: taken\n"), std::string::npos) << run.out;

  sim.process.send("ignore BZ");
  run = RunCtl(sim, {"set", "buzzer=off", "sses=off"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "buzzer=off: NOT taken, the reader reports on\nsses=off: taken\n"
                     "tkr520ctl: the reader did not take buzzer\n");

  sim.process.send("silent");
  EXPECT_EQ(RunCtl(sim, {"status"}).status, 1);
}

// Capture masks the account number of tracks 1 and 2 unless asked; --json gives the fields,
// here with the number shown whole.
TEST(Ctl, CaptureMasksTheAccountNumber) {
  struct Row { const char* name; std::vector<std::string> args; std::vector<const char*> shown; };
  const Row rows[] = {
      {"masked", {}, {"card 1: ISO\n  track 1: %B411111******1111^DOE/JOHN^",
                      "  track 2: ;411111******1111=2512"}},
      {"json fields, shown whole", {"--json", "--show-pan"},
       {R"("fields":{"account_number":"4111111111111111","expiry":"2512","format_code":"B",)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    QProcess p;
    std::vector<std::string> args = {"capture", "--count", "1", "--timeout", "10"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    StartCtl(p, sim, args);
    sim.process.send("swipe sample 1");
    ASSERT_TRUE(p.waitForFinished(25000));
    EXPECT_EQ(p.exitCode(), 0);
    const std::string out = p.readAllStandardOutput().toStdString();
    for (const char* text : row.shown) EXPECT_NE(out.find(text), std::string::npos) << out;
  }
}

// Monitor prints each reception; Ctrl-C ends it with the port closed (its lock file gone).
TEST(Ctl, MonitorEndsCleanlyOnCtrlC) {
  Sim sim;
  QString lock = "/var/lock/LCK.." + QString::fromStdString(sim.path).replace('/', '_');
  QProcess p;
  StartCtl(p, sim, {"monitor"});
  EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
  sim.process.send("swipe sample 1");
  p.waitForReadyRead(5000);
  QThread::msleep(300);
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);  // a death by SIGINT would give 2
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(out.rfind("PC<--MSR\r\n25h 42h 34h 31h ", 0), 0u) << out;
  EXPECT_FALSE(QFile::exists(lock));
  EXPECT_EQ(sim.heard().size(), 3u);  // monitor only listens once connected
}

}  // namespace
}  // namespace tkr::e2e
