// SWPDEMO2 and SWPDEMO1 as built, against tkr520-sim on a pseudo-terminal, driven through
// --trace as an operator would drive the window.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

using State = std::map<std::string, std::string>;

State Parse(const std::vector<std::string>& lines) {
  State state;
  for (const auto& line : lines) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return state;
}

class Console {
 public:
  Console(const std::string& program, const std::vector<std::string>& ports) {
    std::vector<std::string> args = {"--no-system-ports", "--trace"};
    for (const auto& p : ports) {
      args.push_back("--port");
      args.push_back(p);
    }
    // Each run gets its own temporary folder, so the single-instance lock is its own.
    process_ = std::make_unique<Process>(
        Binary(program), args,
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"},
                                           {"TMPDIR", tmp_.path().toStdString()},
                                           {"XDG_RUNTIME_DIR", tmp_.path().toStdString()}});
    const auto start = process_->readUntil("READY", 60000);
    started_ = start.found;
    startState_ = Parse(start.lines);
  }
  ~Console() { process_->send("quit"); }

  bool started() const { return started_; }
  const State& atStart() const { return startState_; }
  void send(const std::string& line) { process_->send(line); }
  State dump() {
    process_->send("dump");
    return Parse(process_->readUntil("END").lines);
  }
  // Dumps until the predicate holds (the reader answers asynchronously to a swipe).
  State waitFor(const std::function<bool(const State&)>& pred) {
    State s;
    for (int i = 0; i < 100; ++i) {
      s = dump();
      if (pred(s)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return s;
  }
  std::string output() const { return process_->allOutput(); }
  QString lockDir() const { return tmp_.path(); }

 private:
  QTemporaryDir tmp_;
  std::unique_ptr<Process> process_;
  bool started_ = false;
  State startState_;
};

struct Edition {
  const char* program;
  const char* firmware;  // what the version reply shows in FWLabel
};
const Edition kEditions[] = {{"SWPDEMO2", "TKR510V1"}, {"SWPDEMO1", "TKR510V1.07"}};

TEST(EndToEnd, ReaderOnCom1IsFoundWithVersionAndConfiguration) {
  for (const Edition& e : kEditions) {
    SCOPED_TRACE(e.program);
    Sim sim;
    Console console(e.program, {"COM1=" + sim.path});
    ASSERT_TRUE(console.started()) << console.output();
    const State& s = console.atStart();
    EXPECT_EQ(s.at("FWLabel"), e.firmware);
    EXPECT_EQ(s.at("COMPortLabel"), "1");
    EXPECT_EQ(s.at("BaudRateLabel"), "9600");
    EXPECT_EQ(s.at("ParityLabel"), "n,8,1");
    EXPECT_EQ(s.at("BuzzerLabel"), "Enable");
    EXPECT_EQ(s.at("SSESLabel"), "Included");
    EXPECT_EQ(s.at("LRCLabel"), "Included");
    EXPECT_EQ(s.at("BuzzerCheckBox"), "1");
    EXPECT_EQ(s.at("BusyTextLabel"), "Ready");
  }
}

TEST(EndToEnd, ReaderOnCom5BehindFourMissingPortsIsFound) {
  Sim sim;
  Console console("SWPDEMO2", {"COM1=/nonexistent/tty1", "COM2=/nonexistent/tty2",
                               "COM3=/nonexistent/tty3", "COM4=/nonexistent/tty4",
                               "COM5=" + sim.path});
  ASSERT_TRUE(console.started()) << console.output();
  EXPECT_EQ(console.atStart().at("COMPortLabel"), "5");
  EXPECT_EQ(console.atStart().at("FWLabel"), "TKR510V1");
}

TEST(EndToEnd, NoReaderEndsInThePortDialog) {
  for (const Edition& e : kEditions) {
    SCOPED_TRACE(e.program);
    Console console(e.program, {});
    ASSERT_TRUE(console.started()) << console.output();
    const State& s = console.atStart();
    EXPECT_NE(s.at("Dialogs").find("ComPort_form"), std::string::npos);
    EXPECT_EQ(s.at("FWLabel"), "");
    if (std::string(e.program) == "SWPDEMO2") {
      EXPECT_EQ(s.at("BusyTextLabel"), "Card Reader is not connected or defective.");
      EXPECT_EQ(s.at("BuzzerCheckBox"), "0 disabled");
    }
    // The read-out after the scan meets a closed port.
    EXPECT_NE(console.output().find("BOX Warning: Communication Error!"), std::string::npos);
  }
}

TEST(EndToEnd, SwipedCardFillsTheTrackBoxes) {
  for (const Edition& e : kEditions) {
    SCOPED_TRACE(e.program);
    Sim sim;
    Console console(e.program, {"COM1=" + sim.path});
    ASSERT_TRUE(console.started()) << console.output();
    sim.process.send("swipe B4000123456789010^DOE/JOHN^2912101 + *");
    const State s = console.waitFor([](const State& st) { return st.at("Track3TextBox") != ""; });
    EXPECT_EQ(s.at("Track1TextBox"), "%B4000123456789010^DOE/JOHN^2912101?&");
    EXPECT_EQ(s.at("Track2TextBox"), "No Data");
    EXPECT_EQ(s.at("Track3TextBox"), "Error");
    EXPECT_EQ(s.at("CardTypeLabel"), "ISO");
    EXPECT_EQ(s.at("BusyTextLabel"), "Ready");
  }
}

TEST(EndToEnd, CommandListRowsWriteTheirBytesAndASecondInstanceEndsSilently) {
  Sim sim;
  Console console("SWPDEMO2", {"COM1=" + sim.path});
  ASSERT_TRUE(console.started()) << console.output();
  // Every row is pinned by the link tests; here a byte, a frame and the two message boxes.
  struct Row {
    int itemCode;
    const char* heard;
  };
  for (const Row& row : {Row{14, "6C"}, Row{21, "13"}, Row{22, "11"}, Row{29, "09 00 03 52 45 31 2C"}}) {
    SCOPED_TRACE(row.itemCode);
    const std::size_t before = sim.heard().size();
    console.send("choose " + std::to_string(row.itemCode));
    console.dump();
    EXPECT_EQ(sim.heardSince(before), std::vector<std::string>{row.heard});
  }
  EXPECT_NE(console.output().find("BOX Information: Pause"), std::string::npos);
  EXPECT_NE(console.output().find("BOX Information: Resume"), std::string::npos);
  // Typed text goes out as typed, each byte a command of its own for the reader.
  const std::size_t before = sim.heard().size();
  console.send("send abc");
  console.dump();
  EXPECT_EQ(sim.heardSince(before), (std::vector<std::string>{"61", "62", "63"}));

  // The same program again under the same lock: it ends at once, with no window.
  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("TMPDIR", console.lockDir());
  env.insert("XDG_RUNTIME_DIR", console.lockDir());
  second.setProcessEnvironment(env);
  second.start(QString::fromStdString(Binary("SWPDEMO2")), {"--no-system-ports", "--trace"});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.readAllStandardOutput().toStdString(), "");
}

}  // namespace
}  // namespace tkr::e2e

namespace tkr::e2e {
namespace {

// Options that end the program before any window: they must work with no display at all.
TEST(CommandLineWithoutDisplay, HelpListAndMistakesNeedNoWindow) {
  struct Row {
    const char* name;
    QStringList args;
    int exitCode;
    const char* stdoutStart;
    const char* stderrText;
  };
  const Row rows[] = {
      {"help", {"--help"}, 0, "Usage: SWPDEMO2 [options]\n", ""},
      {"unknown option", {"--bogus"}, 2, "", "SWPDEMO2: unknown argument --bogus (see --help)\n"},
      {"port listing", {"--list-ports", "--no-system-ports", "--port", "COM2=/dev/tkr-none"}, 0,
       "COM1  -              -\nCOM2  /dev/tkr-none  missing\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(Binary("SWPDEMO2")), row.args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), row.exitCode);
    EXPECT_EQ(p.readAllStandardOutput().toStdString().rfind(row.stdoutStart, 0), 0u);
    EXPECT_EQ(p.readAllStandardError().toStdString(), row.stderrText);
  }
}

}  // namespace
}  // namespace tkr::e2e
