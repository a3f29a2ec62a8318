// tkr520ctl against tkr520-sim on a pseudo-terminal: the bytes the reader hears, the exit
// status and the report, and beside them the bytes of the console's own controls.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
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

// Each change made by the console's control (SWPDEMO2 driven through --trace, the dialogs
// opened, filled and confirmed) and by tkr520ctl, each against a simulator of its own: both
// readers hear the row's bytes. tkr520ctl first connects (warm reset, version, "RE1"), and
// reads the configuration back where the control does not.
TEST(Ctl, SetSendsWhatTheConsolesControlSends) {
  Sim sim, ctlSim;
  Console driven("SWPDEMO2", {"COM1=" + sim.path});
  Process& console = *driven.process;
  ASSERT_TRUE(driven.started) << console.allOutput();
  const std::string re1 = "09 00 03 52 45 31 2C", fix = "FixCode_Form.";
  struct Row {
    std::vector<std::string> trace;  // the operator's steps in the console
    std::vector<std::string> ctl;
    std::vector<std::string> frames;  // what the reader hears, in order
    const char* shown;                // a line of the console's dump afterwards
    bool readBack = false;            // tkr520ctl adds its "RE1"
  };
  const Row rows[] = {
      {{"click BuzzerCheckBox"}, {"set", "buzzer=off"}, {"09 00 03 42 5A 44 56", "7F", re1}, "BuzzerLabel=Disable"},
      {{"click JISCheckBox"}, {"set", "jis=on"}, {"09 00 03 4A 48 45 4D", "7F", re1}, "JISLabel=With"},
      {{"click LRCCheckBox"}, {"set", "lrc=off"}, {"09 00 03 4C 43 44 41", "7F", re1}, "LRCLabel=No LRC"},
      {{"click SelfArmCheckBox"}, {"set", "selfarm=on"}, {"09 00 03 53 41 45 5D", "7F", re1}, "SelfArmLabel=Enable"},
      {{"click SSESCheckBox"}, {"set", "sses=off"}, {"09 00 03 45 53 44 58", "7F", re1}, "SSESLabel=No SS&&ES"},
      {{"click TK1CheckBox"}, {"set", "tracks=2,3"}, {"09 00 03 54 4B 36 23"}, "TK1CheckBox=0"},
      {{"click CardDataButton", "click CardType_Form.ProtocolOption3", "click CardType_Form.DoneButton"},
       {"set", "protocol=2"}, {"09 00 03 50 43 33 2A"}, "Dialogs=", true},
      {{"click PreSuffixCommand", "click " + fix + "TK1preOption1", "fill " + fix + "TK1preText1 02",
        "click " + fix + "TK2sufOption1", "fill " + fix + "TK2sufText1 0d", "fill " + fix + "TK2sufText2 0A",
        "fill " + fix + "TK3sufText1 03", "click " + fix + "OKCmdBtn"},  // typing chooses track 3's suffix
       {"set", "prefix1=02", "suffix2=0d0a", "suffix3=03"},
       {"09 00 08 70 31 02 00 00 00 00 00 42", "09 00 03 73 31 00 48", "09 00 03 70 32 00 48",
        "09 00 08 73 32 0D 0A 00 00 00 00 47", "09 00 03 70 33 00 49",
        "09 00 08 73 33 03 00 00 00 00 00 42", "09 00 03 53 50 00 09"},
       "Dialogs="},
      {{"click PreSuffixCommand", "click " + fix + "TK1sufOption1", "fill " + fix + "TK1sufText1 0D",
        "click " + fix + "TK2preOption1", "fill " + fix + "TK2preText1 1b", "click " + fix + "TK3preOption1",
        "fill " + fix + "TK3preText1 0A", "fill " + fix + "TK3preText2 0B", "fill " + fix + "TK3preText3 0C",
        "fill " + fix + "TK3preText4 0D", "fill " + fix + "TK3preText5 0E", "fill " + fix + "TK3preText6 0F",
        "click " + fix + "SeparatorOption1", "fill " + fix + "SeparatorText 2c", "click " + fix + "OKCmdBtn"},
       {"set", "suffix1=0D", "prefix2=1b", "prefix3=0A0B0C0D0E0F", "separator=2c"},
       {"09 00 03 70 31 00 4B", "09 00 08 73 31 0D 00 00 00 00 00 4E",
        "09 00 08 70 32 1B 00 00 00 00 00 58", "09 00 03 73 32 00 4B",
        "09 00 08 70 33 0A 0B 0C 0D 0E 0F 43", "09 00 03 73 33 00 4A",
        "09 00 03 53 50 2C 25"},
       "Dialogs="},
      {{"click RTSCheckBox"}, {"set", "rts=on"}, {"09 00 03 52 54 45 49", re1}, "RTSLabel=Enable"},
      {{"click CTSCheckBox"}, {"set", "cts=on"}, {"09 00 03 43 54 45 58", re1}, "CTSLabel=Enable"},
      {{"click CTSCheckBox", "click RTSCheckBox"}, {"set", "rts=off", "cts=off"},  // CTS goes first
       {"09 00 03 43 54 44 59", re1, "09 00 03 52 54 44 48", re1}, "RTSLabel=Disable"},
      {{"click DefaultButton"}, {"defaults"}, {"09 00 03 44 46 00 08", "7F", "7F", re1}, "JISLabel=Without"},
      {{}, {"set", "jis=off"}, {}, "JISCheckBox=0"},  // already off: nothing is sent
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ctl.back());
    std::size_t before = sim.heard().size();
    for (const std::string& step : row.trace) console.send(step);
    console.send("dump");  // runs once the steps' exchanges have ended
    const auto dump = console.readUntil("END").lines;
    // A frame sent without a wait (the protocol dialog's) may still be on its way to the reader.
    for (int i = 0; i < 100 && sim.heardSince(before).size() < row.frames.size(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(sim.heardSince(before), row.frames);
    EXPECT_NE(std::find(dump.begin(), dump.end(), row.shown), dump.end()) << row.shown;
    before = ctlSim.heard().size();
    const CtlRun run = RunCtl(ctlSim, row.ctl);
    EXPECT_EQ(run.status, 0) << run.out;
    std::vector<std::string> frames = row.frames;
    if (row.readBack) frames.push_back(re1);
    EXPECT_EQ(ctlSim.heardSince(before + 3), frames);
  }
  EXPECT_EQ(console.allOutput().find("ERROR"), std::string::npos) << console.allOutput();
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
    std::vector<std::string> heard = {};  // a refusal by the reader's state: its read-back
    std::vector<std::string> before = {};  // a run that puts the reader into that state
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
      {"rts off with cts on", {"set", "rts=off", "cts=on"}, "rts=off cts=on: the interlock never"},
      {"cts on while the reader's RTS is off, after another change",
       {"set", "lrc=off", "cts=on"},
       "cts=on: the reader's RTS is off, and CTS changes only while RTS is on; add rts=on",
       {"7F", "39", "09 00 03 52 45 31 2C"}},
      {"rts off while the reader's CTS is on",
       {"set", "rts=off"},
       "rts=off: the reader's CTS is on, and RTS changes only while CTS is off; add cts=off",
       {"7F", "39", "09 00 03 52 45 31 2C"},
       {"set", "rts=on", "cts=on"}},
      {"a reader left with RTS off and CTS on",  // by a raw command, past the interlock
       {"set", "cts=off"},
       "cts=off: the reader reports RTS off with CTS on, where the interlock changes neither",
       {"7F", "39", "09 00 03 52 45 31 2C"},
       {"send", "--hex", "09", "00", "03", "43", "54", "45", "58"}},
  };
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
    EXPECT_EQ(sim.heardSince(mark), row.heard);
  }
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
