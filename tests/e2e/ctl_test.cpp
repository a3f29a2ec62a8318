// tkr520ctl against tkr520-sim on a pseudo-terminal: the bytes the reader hears, the exit
// status and the report. The set names' bytes are checked beside the console's in e2e_test.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

QStringList OnSim(const Sim& sim, QStringList args) {
  return QStringList{"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path),
                     "--com", "1"} +
         args;
}

// Waits until the reader has heard `count` commands and the last reply's quiet time is over
// (a started capture or monitor has connected).
void WaitHeard(Sim& sim, std::size_t count) {
  for (int i = 0; i < 100 && sim.heard().size() < count; ++i) QThread::msleep(50);
  QThread::msleep(400);
}

TEST(Ctl, ReaderThatKeepsItsSettingGivesExit3NamingTheField) {
  Sim sim;
  sim.process.send("ignore BZ");
  const CtlRun run = RunCtl(sim, {"set", "buzzer=off", "sses=off"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("buzzer=off: NOT taken, the reader reports on\nsses=off: taken\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("did not take buzzer\n"), std::string::npos) << run.out;
}

TEST(Ctl, BadInputGivesExit2AndSendsNothing) {
  QTemporaryDir dir;
  const QString unknownKey = dir.filePath("unknown.json"), badValue = dir.filePath("bad.json");
  for (auto [file, text] :
       {std::pair{unknownKey, R"({"format": "tkr520ctl-profile", "version": 1, "volume": "on"})"},
        std::pair{
            badValue,
            R"({"format": "tkr520ctl-profile", "version": 1, "buzzer": "on", "lrc": "maybe"})"}}) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) > 0);
  }
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* word;  // the error line names it
  };
  const Row rows[] = {
      {"unknown name", {"set", "volume=on"}, "volume"},
      {"unknown command", {"reset"}, "unknown command reset"},
      {"bad hex", {"set", "prefix1=0G"}, "prefix1=0G"},
      {"odd hex", {"send", "--hex", "1B", "4"}, "bad hex byte 4"},
      {"protocol out of range", {"set", "protocol=3"}, "protocol=3"},
      {"tracks out of range", {"set", "tracks=1,4"}, "tracks=1,4"},
      {"separator too long", {"set", "separator=0D0A"}, "separator=0D0A"},
      {"name given twice", {"set", "lrc=on", "lrc=off"}, "lrc is given twice"},
      {"malformed profile", {"profile", "apply", "/dev/null"}, "no JSON object"},
      {"profile with an unknown key",
       {"profile", "apply", unknownKey.toStdString()},
       "unknown profile key volume"},
      {"profile with a bad value, after a good one",
       {"profile", "apply", badValue.toStdString()},
       "lrc=maybe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    const CtlRun run = RunCtl(sim, row.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(row.word), std::string::npos) << run.out;
    EXPECT_TRUE(sim.heard().empty());
  }
}

// `ports` is the console's --list-ports, in text and in JSON.
TEST(Ctl, PortsListsWhatTheConsoleLists) {
  const QStringList args = {"--no-system-ports", "--port", "COM2=/dev/tkr-none"};
  QProcess console, ctl, json;
  console.start(QString::fromStdString(Binary("SWPDEMO2")), QStringList{"--list-ports"} + args);
  ctl.start(QString::fromStdString(Binary("tkr520ctl")), args + QStringList{"ports"});
  json.start(QString::fromStdString(Binary("tkr520ctl")), args + QStringList{"--json", "ports"});
  for (QProcess* p : {&console, &ctl, &json}) ASSERT_TRUE(p->waitForFinished(30000));
  const std::string listed = console.readAllStandardOutput().toStdString();
  EXPECT_EQ(listed.rfind("COM1  -              -\nCOM2  /dev/tkr-none  missing\n", 0), 0u);
  EXPECT_EQ(ctl.readAllStandardOutput().toStdString(), listed);
  EXPECT_NE(json.readAllStandardOutput().indexOf(
                R"({"access":"missing","description":null,"device":"/dev/tkr-none",)"),
            -1);
}

TEST(Ctl, DetectStatusSendAndProfileAgainstTheSimulator) {
  Sim sim;
  CtlRun run = RunCtl(sim, {"detect"}, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "port: COM1\nbaud: 9600\nfirmware: TKR510V1\n");
  run = RunCtl(sim, {"status"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("SS & ES: Included\nProtocol: 0\n"), std::string::npos) << run.out;
  run = RunCtl(sim, {"send", "Card Type Report"});
  EXPECT_NE(run.out.find("reply: 30h \ndecoded: unknow\n"), std::string::npos) << run.out;
  std::size_t before = sim.heard().size();
  run = RunCtl(sim, {"--json", "send", "--hex", "1B", "41"});
  EXPECT_EQ(sim.heardSince(before + 3), (std::vector<std::string>{"1B", "41"}));
  EXPECT_NE(run.out.find(R"("reply":"5Eh 21h ","sent":"1Bh 41h ","status":0})"), std::string::npos)
      << run.out;

  QTemporaryDir dir;
  const std::string file = dir.filePath("reader.json").toStdString();
  EXPECT_EQ(RunCtl(sim, {"profile", "save", file}).status, 0);
  QFile saved(QString::fromStdString(file));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray profile = saved.readAll();
  for (const char* key : {R"("buzzer": "on")", R"("protocol": "0")",
                          R"("format": "tkr520ctl-profile")", R"("version": 1)"}) {
    EXPECT_NE(profile.indexOf(key), -1) << key << "\n" << profile.toStdString();
  }
  RunCtl(sim, {"set", "buzzer=off"});
  run = RunCtl(sim, {"profile", "apply", file});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("buzzer=on: taken\n"), std::string::npos) << run.out;

  sim.process.send("silent");
  EXPECT_EQ(RunCtl(sim, {"status"}).status, 1);
}

// Capture masks the account number of tracks 1 and 2 unless asked; --json gives the fields.
TEST(Ctl, CaptureMasksTheAccountNumber) {
  struct Row {
    const char* name;
    QStringList args;
    std::vector<const char*> shown;
  };
  const Row rows[] = {
      {"masked",
       {},
       {"card 1: ISO\n  track 1: %B411111******1111^DOE/JOHN^",
        "  track 2: ;411111******1111=2512"}},
      {"shown whole", {"--show-pan"}, {"  track 1: %B4111111111111111^DOE/JOHN^"}},
      {"json fields",
       {"--json"},
       {R"("fields":{"account_number":"411111******1111","expiry":"2512","format_code":"B","name":"DOE/JOHN",)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    QProcess p;
    p.start(QString::fromStdString(Binary("tkr520ctl")),
            OnSim(sim, QStringList{"capture", "--count", "1", "--timeout", "10"} + row.args));
    WaitHeard(sim, 3);
    sim.process.send("swipe sample 1");
    ASSERT_TRUE(p.waitForFinished(25000));
    const std::string out = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    for (const char* text : row.shown) EXPECT_NE(out.find(text), std::string::npos) << out;
  }
}

// Monitor prints each reception; Ctrl-C ends it with the port closed (its lock file gone).
TEST(Ctl, MonitorEndsCleanlyOnCtrlC) {
  Sim sim;
  QString lock = "/var/lock/LCK.." + QString::fromStdString(sim.path).replace('/', '_');
  QProcess p;
  p.start(QString::fromStdString(Binary("tkr520ctl")), OnSim(sim, {"monitor"}));
  WaitHeard(sim, 3);
  EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
  sim.process.send("swipe sample 1");
  p.waitForReadyRead(5000);
  QThread::msleep(300);
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(out.rfind("PC<--MSR\r\n25h 42h 34h 31h ", 0), 0u) << out;
  EXPECT_FALSE(QFile::exists(lock));
  EXPECT_EQ(sim.heard().size(), 3u);  // monitor only listens once connected
}

}  // namespace
}  // namespace tkr::e2e
