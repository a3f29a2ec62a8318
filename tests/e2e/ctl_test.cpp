// tkr520ctl against tkr520-sim on a pseudo-terminal: the bytes the reader hears, the exit
// status and the report.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

const std::string kRE1 = "09 00 03 52 45 31 2C";

// tkr520ctl's arguments for COM1 = the simulator (--com 1 unless `detect` is true).
QStringList CtlArgs(const Sim& sim, const std::vector<std::string>& args, bool detect = false) {
  QStringList list = {"--no-system-ports", "--port", QString::fromStdString("COM1=" + sim.path)};
  if (!detect)
    list << "--com"
         << "1";
  for (const auto& a : args) list << QString::fromStdString(a);
  return list;
}

// One run of tkr520ctl with those arguments; out holds stdout then stderr. A run that does
// not finish, or ends by a signal, has no exit code: status -1.
struct CtlRun {
  int status = -1;
  std::string out;
  std::string err;
};
CtlRun RunArgs(const QStringList& args, const QString& stdoutFile = {}, bool asNobody = false) {
  QProcess p;
  if (!stdoutFile.isEmpty()) p.setStandardOutputFile(stdoutFile);
  QStringList full = args;
  QString program = QString::fromStdString(Binary("tkr520ctl"));
  if (asNobody) {
    full = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", program} + args;
    program = "setpriv";
  }
  p.start(program, full);
  const bool finished = p.waitForFinished(60000);
  EXPECT_TRUE(finished) << args.join(' ').toStdString();
  const std::string out = p.readAllStandardOutput().toStdString();
  const std::string err = p.readAllStandardError().toStdString();
  const bool exited = finished && p.exitStatus() == QProcess::NormalExit;
  return {exited ? p.exitCode() : -1, out + err, err};
}
CtlRun RunCtl(const Sim& sim, const std::vector<std::string>& args, bool detect = false) {
  return RunArgs(CtlArgs(sim, args, detect));
}

// tkr520ctl started in the background, once it says it listens.
void StartCtl(QProcess& p, Sim& sim, const std::vector<std::string>& args) {
  p.start(QString::fromStdString(Binary("tkr520ctl")), CtlArgs(sim, args));
  QByteArray err;
  p.setReadChannel(QProcess::StandardError);
  while (!err.contains("(Ctrl-C ends)") && p.waitForReadyRead(20000))
    err += p.readAllStandardError();
  p.setReadChannel(QProcess::StandardOutput);
  ASSERT_TRUE(err.contains("(Ctrl-C ends)")) << err.toStdString();
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
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* word;
    bool connects = false;
    std::vector<std::string> before = {};
  };
  const Row rows[] = {
      {"unknown name", {"set", "volume=on"}, "volume"},
      {"unknown command", {"reset"}, "unknown command reset"},
      {"bad hex", {"set", "prefix1=0G"}, "prefix1=0G"},
      {"protocol out of range", {"set", "protocol=3"}, "protocol=3"},
      {"name given twice", {"set", "lrc=on", "lrc=off"}, "lrc is given twice"},
      {"profile with a bad value, after a good one",
       {"profile", "apply", profile.fileName().toStdString()},
       "lrc=maybe"},
      {"rts off with cts on", {"set", "rts=off", "cts=on"}, "rts=off cts=on: the interlock never"},
      {"cts on while the reader's RTS is off, after another change",
       {"set", "lrc=off", "cts=on"},
       "cts=on: the reader's RTS is off, and CTS changes only while RTS is on; add rts=on",
       true},
      {"rts off while the reader's CTS is on",
       {"set", "rts=off"},
       "rts=off: the reader's CTS is on, and RTS changes only while CTS is off; add cts=off",
       true,
       {"set", "rts=on", "cts=on"}},
      {"a reader left with RTS off and CTS on",
       {"set", "cts=off"},  // past the interlock
       "cts=off: the reader reports RTS off with CTS on, where the interlock changes neither",
       true,
       {"send", "--hex", "09", "00", "03", "43", "54", "45", "58"}},
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
  EXPECT_NE(
      run.out.find(R"("port":"COM1","reply":"5Eh 21h ","schema":1,"sent":"1Bh 41h ","status":0})"),
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

  // Only what the configuration answer carries is "taken"; the rest is acknowledged.
  sim.process.send("ignore BZ");
  sim.process.send("ignore TK");
  run = RunCtl(sim, {"set", "buzzer=off", "sses=off", "tracks=1,3"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out,
            "buzzer=off: NOT taken, the reader reports on\nsses=off: taken\n"
            "tracks=1,3: acknowledged (no read-back)\n"
            "tkr520ctl: the reader did not take buzzer\n");

  // A report that cannot be written is no success, and a profile never half written.
  for (const auto& args : {std::vector<std::string>{"status"}, {"profile", "save", "/dev/full"}}) {
    SCOPED_TRACE(args.back());
    run = RunArgs(CtlArgs(sim, args), "/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  }

  sim.process.send("silent");
  run = RunCtl(sim, {"--json", "status"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(
      run.out.find(R"("error":"COM1: no answer from the reader to 9","schema":1,"status":1})"),
      std::string::npos)
      << run.out;
}

// What the tool reports when the port, the device or the reader is not what it should be.
TEST(Ctl, EveryFailureIsNamed) {
  struct Row {
    const char* name;
    std::vector<std::string> simCommands;
    std::vector<std::string> args;
    bool detect;
    const char* says;
    int status = 1;
  };
  const Row rows[] = {
      {"a port without a device",
       {},
       {"--com", "5", "status"},
       true,
       "tkr520ctl: COM5: no device on this number\n"},
      {"no reader: each port's reason",
       {"silent"},
       {"detect"},
       true,
       "tkr520ctl: no reader answered on COM1..COM16:\n  COM1: no answer\n  COM2: no device"},
      {"a modem",
       {"foreign"},
       {"status"},
       false,
       "tkr520ctl: COM1: the device that answers is not a TKR520 reader (it answered "
       "\"OK\\x0D\\x0A\""},
      {"a modem takes no change",
       {"foreign"},
       {"set", "buzzer=off"},
       false,
       "the device that answers is not a TKR520 reader"},
      {"lost after the buzzer frame",
       {"vanish BZ"},
       {"set", "buzzer=off"},
       false,
       "tkr520ctl: COM1: the reader was lost (the device went away)\n"},
      {"lost after the defaults frame",
       {"vanish DF"},
       {"defaults"},
       false,
       "tkr520ctl: COM1: the reader was lost ("},
      {"lost after the version",
       {"vanish 9"},
       {"status"},
       false,
       "tkr520ctl: COM1: the reader was lost (the device went away)\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    for (const auto& c : row.simCommands) sim.process.send(c);
    const CtlRun run = RunCtl(sim, row.args, row.detect);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out.size(), run.err.size()) << "nothing on standard output: " << run.out;
  }
}

// An ordinary user, whom the kernel does not exempt from the exclusive open, runs two commands
// in a row: the first leaves the port closed, its lock file gone.
TEST(Ctl, TheNextCommandFindsThePortFree) {
  Sim sim(true);
  const QString lock = "/run/lock/LCK.." + QString::fromStdString(sim.path).replace('/', '_');
  for (const char* command : {"detect", "status", "detect"}) {
    SCOPED_TRACE(command);
    const CtlRun run = RunArgs(CtlArgs(sim, {command}, true), {}, true);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_FALSE(QFile::exists(lock));
  }
}

// Hostile profiles are refused before the port opens, with their text escaped.
TEST(Ctl, HostileProfilesAreRefused) {
  QTemporaryDir dir;
  const auto file = [&](const char* name, const QByteArray& text, qint64 size = 0) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    if (size) f.resize(size);
    return f.fileName().toStdString();
  };
  const QByteArray head = R"({"format": "tkr520ctl-profile", "version": 1, )";
  struct Row {
    const char* name;
    std::string file;
    const char* says;
  };
  const Row rows[] = {
      {"a device", "/dev/zero", "/dev/zero: not a regular file"},
      {"200 MB", file("big.json", head, qint64{200} * 1000 * 1000),
       "longer than 64 KiB, no profile"},
      {"a fraction", file("frac.json", head + R"("protocol": 1.7})"),
       "protocol: the value is a number; give 0, 1 or 2"},
      {"a boolean", file("bool.json", head + R"("buzzer": true})"),
       "buzzer: the value is true or false"},
      {"an escape in a key", file("esc.json", head + "\"\\u001b[2J\": \"on\"}"),
       "unknown profile key \\x1B[2J"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CtlRun run = RunArgs(
        {"--no-system-ports", "--com", "1", "profile", "apply", QString::fromStdString(row.file)});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  }
  // Under --json a usage error is one object too.
  const CtlRun run = RunArgs({"--json", "set", "volume=on"});
  EXPECT_EQ(
      run.out.rfind(
          R"j({"command":"set","error":"unknown setting volume (give NAME=VALUE) (see --help)","schema":1,"status":2})j",
          0),
      0u)
      << run.out;
}

// Capture: each card with its own type, what came of a card cut short, Ctrl-C after a
// swipe, and a time-out with no card.
TEST(Ctl, CaptureReportsEachCard) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> swipes;
    bool interrupt;
    int status;
    std::vector<const char*> shown;  // on stdout, in order
    const char* says = "";           // on stderr
  };
  const Row rows[] = {
      {"masked",
       {"--count", "1"},
       {"swipe sample 1"},
       false,
       0,
       {"card 1: ISO\n  track 1: %B411111******1111^DOE/JOHN^",
        "  track 2: ;411111******1111=2512"}},
      {"json fields, shown whole",
       {"--count", "1", "--json", "--show-pan"},
       {"swipe sample 1"},
       false,
       0,
       {R"("fields":{"account_number":"4111111111111111","expiry":"2512","format_code":"B",)"}},
      {"a second card without a type",
       {"--count", "2"},
       {"swipe sample 1", "swipe 1234 + + 5"},
       false,
       0,
       {"card 1: ISO\n", "card 2: (no card type: the reader answered \"5\")\n  track 1: "}},
      {"Ctrl-C after a swipe", {}, {"swipe sample 1"}, true, 130, {"card 1: ISO\n"}},
      {"no card in time",
       {"--count", "2", "--timeout", "1"},
       {},
       false,
       1,
       {},
       "tkr520ctl: no card within 1 s\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim sim;
    QProcess p;
    std::vector<std::string> args = {"capture"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    StartCtl(p, sim, args);
    QByteArray out;
    for (const auto& swipe : row.swipes) {
      const QByteArray before = out;
      sim.process.send(swipe);
      // The next card is swiped once the last one has been printed.
      while (out == before && p.waitForReadyRead(20000)) out += p.readAllStandardOutput();
    }
    // While the fetch of the last card runs, Ctrl-C waits for it.
    if (row.interrupt) {
      EXPECT_TRUE(Signal(p, SIGINT));
    }
    ASSERT_TRUE(p.waitForFinished(25000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), row.status);
    out += p.readAllStandardOutput();
    std::size_t at = 0;
    for (const char* text : row.shown) {
      at = out.toStdString().find(text, at);
      EXPECT_NE(at, std::string::npos) << text << "\n" << out.toStdString();
    }
    EXPECT_NE(p.readAllStandardError().toStdString().find(row.says), std::string::npos);
  }
}

// Account numbers in any shape a swipe may bring stay masked in every output: the captured
// tracks as text and as JSON, and the monitor's hex. Three tracks a swipe, 21 shapes.
TEST(Ctl, NoAccountNumberLeaks) {
  struct Shape {
    const char* track;   // as the simulator takes it (it adds sentinels and LRC)
    const char* hidden;  // never in any output
    const char* shown;   // in the text output
  };
  const Shape shapes[] = {
      {"B4111111111111111", "4111111111111111", "%B411111******1111?"},
      {"5555555555554444", "5555555555554444", ";555555******4444?"},
      {"01378282246310005=2512", "378282246310005", ";01378282*****0005=2512?"},
      {"B6011111111111117\\x202512101000", "6011111111111117", "%B601111******1117 2512101000?"},
      {"4012888888881881D2512101", "4012888888881881", ";401288******1881D2512101?"},
      {"4222222222222", "4222222222222", ";422222***2222?"},
      {"B5105105105105100^DOE/JANE^2612101", "5105105105105100",
       "%B510510******5100^DOE/JANE^2612101?"},
      {"30569309025904=2612101", "30569309025904", ";305693****5904=2612101?"},
      {"ABC3530111333300000XYZ", "3530111333300000", ";ABC353011******0000XYZ?"},
      {"B6759649826438453^", "6759649826438453", "%B675964******8453^?"},
      {"4000056655665556=", "4000056655665556", ";400005******5556=?"},
      {"\\xFF2223003122003222\\xFF", "2223003122003222", ";\\xFF222300******3222\\xFF?"},
      {"B4917610000000000003^X^", "4917610000000000003", "%B491761*********0003^X^?"},
      {"60110009\\x0090139424", "0139424", ""},
      {"36227206271667", "36227206271667", ";362272****1667?"},
      {"B5200828282828210=2612", "5200828282828210", "%B520082******8210=2612?"},
      {"4242424242424242=26121010000000000000", "4242424242424242",
       ";424242******4242=26121010000000000000?"},
      {"12/4000000000000002", "4000000000000002", ";**/400000******0002?"},
      {"B^6200000000000005", "6200000000000005", "%B^620000******0005?"},
      {"4111111111111=2512", "4111111111111", ";411111***1111=2512?"},
      {"A9999", "", ";A9999?"},
  };
  std::vector<std::string> swipes;
  for (std::size_t i = 0; i < std::size(shapes); i += 3) {
    swipes.push_back(std::string("swipe ") + shapes[i].track + " " + shapes[i + 1].track + " " +
                     shapes[i + 2].track);
  }
  const auto hex = [](const std::string& digits) {
    std::string out;
    for (char c : digits) out += "3" + std::string(1, c) + "h ";
    return out;
  };
  for (const char* mode : {"text", "json", "monitor"}) {
    SCOPED_TRACE(mode);
    const std::string m = mode;
    Sim sim;
    QProcess p;
    StartCtl(p, sim,
             m == "monitor" ? std::vector<std::string>{"monitor"}
             : m == "json"  ? std::vector<std::string>{"--json", "capture", "--count", "7"}
                            : std::vector<std::string>{"capture", "--count", "7"});
    QByteArray out;
    for (const auto& swipe : swipes) {
      const QByteArray before = out;
      sim.process.send(swipe);
      // Each card is printed, or its record shown, before the next swipe.
      while (out.count(m == "monitor" ? "PC<--MSR" : "card") <=
                 before.count(m == "monitor" ? "PC<--MSR" : "card") &&
             p.waitForReadyRead(20000)) {
        out += p.readAllStandardOutput();
      }
    }
    if (m == "monitor") {
      EXPECT_TRUE(Signal(p, SIGINT));
    }
    ASSERT_TRUE(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    const std::string all = out.toStdString();
    for (const Shape& shape : shapes) {
      SCOPED_TRACE(shape.track);
      if (*shape.hidden) {
        EXPECT_EQ(all.find(m == "monitor" ? hex(shape.hidden) : shape.hidden), std::string::npos);
      }
      if (m == "text" && *shape.shown) {
        EXPECT_NE(all.find(shape.shown), std::string::npos) << all;
      }
    }
  }
}

// Monitor prints each reception; Ctrl-C ends it with the port closed (its lock file gone), and
// a reader unplugged ends it with exit 1.
TEST(Ctl, MonitorEndsCleanly) {
  for (const bool unplug : {false, true}) {
    SCOPED_TRACE(unplug ? "unplugged" : "Ctrl-C");
    Sim sim;
    const QString lock = "/run/lock/LCK.." + QString::fromStdString(sim.path).replace('/', '_');
    QProcess p;
    StartCtl(p, sim, {"monitor"});
    EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
    sim.process.send("swipe sample 1");
    QByteArray out;
    while (!out.contains("3Fh") && p.waitForReadyRead(10000)) out += p.readAllStandardOutput();
    if (unplug) {
      sim.process.send("unplug");
    } else {
      EXPECT_TRUE(Signal(p, SIGINT));
    }
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), unplug ? 1 : 0);
    out += p.readAllStandardOutput();
    EXPECT_EQ(out.toStdString().rfind("PC<--MSR\r\n25h 42h 34h 31h ", 0), 0u) << out.toStdString();
    EXPECT_FALSE(QFile::exists(lock));
    if (!unplug) {
      EXPECT_EQ(sim.heard().size(), 3u);  // monitor only listens once connected
    }
  }
}

}  // namespace
}  // namespace tkr::e2e
