// tkr520ctl as built, against tkr520-sim on a pseudo-terminal: the bytes the reader hears,
// the exit status and the report.
#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

struct Sim {
  Sim() : process(Binary("tkr520-sim"), {}), path(process.readLine()) {}
  std::vector<std::string> heard() {
    process.send("received");
    return process.readUntil("END").lines;
  }
  Process process;
  std::string path;
};

struct CtlRun {
  int status = -1;
  std::string out;
};

CtlRun Ctl(const Sim& sim, std::vector<std::string> args) {
  QStringList list = {"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path), "--com", "1"};
  for (const auto& a : args) list << QString::fromStdString(a);
  QProcess p;
  p.start(QString::fromStdString(Binary("tkr520ctl")), list);
  p.waitForFinished(30000);
  return {p.exitCode(), (p.readAllStandardOutput() + p.readAllStandardError()).toStdString()};
}

// After the port is chosen: warm reset, version, configuration read.
constexpr std::size_t kConnect = 3;
const char* kRE1 = "09 00 03 52 45 31 2C";

TEST(Ctl, EachSetNameSendsWhatItsControlSends) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> wire;
  };
  const Row rows[] = {
      {"buzzer", {"set", "buzzer=off"}, {"09 00 03 42 5A 44 56", "7F", kRE1}},
      {"sses", {"set", "sses=off"}, {"09 00 03 45 53 44 58", "7F", kRE1}},
      {"tracks", {"set", "tracks=1,3"}, {"09 00 03 54 4B 35 20"}},
      {"protocol", {"set", "protocol=2"}, {"09 00 03 50 43 33 2A", kRE1}},
      {"separator",
       {"set", "separator=2c"},
       {"09 00 03 70 31 00 4B", "09 00 03 73 31 00 48", "09 00 03 70 32 00 48",
        "09 00 03 73 32 00 4B", "09 00 03 70 33 00 49", "09 00 03 73 33 00 4A",
        "09 00 03 53 50 2C 25"}},
      {"already off: nothing sent", {"set", "jis=off"}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    const CtlRun run = Ctl(sim, row.args);
    EXPECT_EQ(run.status, 0) << run.out;
    const auto heard = sim.heard();
    ASSERT_GE(heard.size(), kConnect);
    EXPECT_EQ(std::vector<std::string>(heard.begin() + kConnect, heard.end()), row.wire);
  }
}

TEST(Ctl, ReaderThatKeepsItsSettingGivesExit3NamingTheField) {
  Sim sim;
  sim.process.send("ignore BZ");
  const CtlRun run = Ctl(sim, {"set", "buzzer=off", "sses=off"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("did not take buzzer\n"), std::string::npos) << run.out;
}

TEST(Ctl, BadInputGivesExit2AndSendsNothing) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* word;  // the error line names it
  };
  const Row rows[] = {
      {"unknown name", {"set", "volume=on"}, "volume"},
      {"bad hex", {"set", "prefix1=0G"}, "prefix1=0G"},
      {"odd hex", {"send", "--hex", "1B", "4"}, "4"},
      {"protocol out of range", {"set", "protocol=3"}, "protocol=3"},
      {"separator too long", {"set", "separator=0D0A"}, "separator=0D0A"},
      {"malformed profile", {"profile", "apply", "/dev/null"}, "no JSON object"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    const CtlRun run = Ctl(sim, row.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(row.word), std::string::npos) << run.out;
    EXPECT_TRUE(sim.heard().empty());
  }
}

TEST(Ctl, StatusSendDetectAndCaptureAgainstTheSimulator) {
  Sim sim;
  CtlRun run = Ctl(sim, {"status"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("SS & ES: Included\nProtocol: 0\n"), std::string::npos) << run.out;
  run = Ctl(sim, {"send", "Card Type Report"});
  EXPECT_NE(run.out.find("reply: 30h \ndecoded: unknow\n"), std::string::npos) << run.out;
  sim.process.send("silent");
  EXPECT_EQ(Ctl(sim, {"status"}).status, 1);
  sim.process.send("normal");
  // The swipe goes in once the reader is found; capture then masks track 1 and 2.
  QProcess p;
  p.start(QString::fromStdString(Binary("tkr520ctl")),
          {"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path), "--com", "1",
           "capture", "--count", "1", "--timeout", "20"});
  p.waitForReadyRead(100);
  QThread::msleep(1500);
  sim.process.send("swipe sample 1");
  p.waitForFinished(25000);
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_NE(out.find("card 1: ISO\n  track 1: %B411111******1111^DOE/JOHN^"), std::string::npos) << out;
  EXPECT_NE(out.find("  track 2: ;411111******1111=2512"), std::string::npos) << out;
}

}  // namespace
}  // namespace tkr::e2e
