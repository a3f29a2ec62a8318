// SWPDEMO2 and SWPDEMO1 as built, against tkr520-sim on a pseudo-terminal, driven through
// --trace as an operator would drive the window.
#include <gtest/gtest.h>

#include <QThread>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

// clang-format off
TEST(EndToEnd, StartUpFindsTheReaderOrEndsInThePortDialog) {
  const std::string sim = "SIM", none = "/nonexistent/tty";
  const State found = {{"COMPortLabel", "1"}, {"BaudRateLabel", "9600"}, {"ParityLabel", "n,8,1"},
                       {"BuzzerLabel", "Enable"}, {"SSESLabel", "Included"}, {"LRCLabel", "Included"},
                       {"BuzzerCheckBox", "1"}, {"BusyTextLabel", "Ready"}};
  const auto with = [](State s, const State& more) { for (const auto& [k, v] : more) s[k] = v; return s; };
  struct Row { const char* program; std::vector<std::string> ports; State want; };
  const Row rows[] = {
      {"SWPDEMO2", {"COM1=" + sim}, with(found, {{"FWLabel", "TKR510V1"}})},
      {"SWPDEMO1", {"COM1=" + sim}, with(found, {{"FWLabel", "TKR510V1.07"}})},
      {"SWPDEMO2", {"COM1=" + none, "COM2=" + none, "COM3=" + none, "COM4=" + none, "COM5=" + sim},
       {{"COMPortLabel", "5"}, {"FWLabel", "TKR510V1"}}},
      {"SWPDEMO2", {}, {{"FWLabel", ""}, {"Dialogs", "ComPort_form"}, {"BuzzerCheckBox", "0 disabled"},
                        {"BusyTextLabel", "Card Reader is not connected or defective."}}},
      {"SWPDEMO1", {}, {{"FWLabel", ""}, {"Dialogs", "ComPort_form"}}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.program) + " on " + (row.ports.empty() ? "no port" : row.ports.back()));
    Sim reader;
    std::vector<std::string> ports = row.ports;
    for (auto& p : ports) p = p.ends_with(sim) ? p.substr(0, p.size() - sim.size()) + reader.path : p;
    Console console(row.program, ports);
    ASSERT_TRUE(console.started) << console.process->allOutput();
    for (const auto& [key, value] : row.want) EXPECT_EQ(console.atStart.at(key), value) << key;
    if (ports.empty()) {
      // The read-out after the scan meets a closed port.
      EXPECT_NE(console.process->allOutput().find("BOX Warning: Communication Error!"), std::string::npos);
      continue;
    }
    reader.process.send("swipe B4000123456789010^DOE/JOHN^2912101 + *");
    State s;  // the reader answers the swipe in its own time
    for (int i = 0; i < 100 && (s = console.dump())["Track3TextBox"].empty(); ++i) QThread::msleep(100);
    EXPECT_EQ(s.at("Track1TextBox"), "%B4000123456789010^DOE/JOHN^2912101?&");
    EXPECT_EQ(s.at("Track2TextBox"), "No Data");
    EXPECT_EQ(s.at("Track3TextBox"), "Error");
    EXPECT_EQ(s.at("CardTypeLabel"), "ISO");
    EXPECT_EQ(s.at("BusyTextLabel"), "Ready");
  }
}

TEST(EndToEnd, ASecondInstanceEndsSilently) {
  Sim sim;
  Console console("SWPDEMO2", {"COM1=" + sim.path});
  ASSERT_TRUE(console.started) << console.process->allOutput();
  // The same program again under the same lock: it ends at once, with no window.
  Process second(Binary("SWPDEMO2"), {"--no-system-ports", "--trace"}, console.env);
  EXPECT_EQ(second.readLine(10000), "");
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.allOutput(), "");
}

// Options that end a program before any window: they must work with no display at all.
TEST(CommandLineWithoutDisplay, HelpListAndMistakesNeedNoWindow) {
  struct Row { const char* program; QStringList args; int exitCode; const char* stdoutStart; const char* stderrText; };
  const Row rows[] = {
      {"SWPDEMO2", {"--help"}, 0, "Usage: SWPDEMO2 [options]\n", ""},
      {"SWPDEMO2", {"--bogus"}, 2, "", "SWPDEMO2: unknown argument --bogus (see --help)\n"},
      {"SWPDEMO2", {"--list-ports", "--no-system-ports", "--port", "COM2=/dev/tkr-none"}, 0,
       "COM1  -              -\nCOM2  /dev/tkr-none  missing\n", ""},
      // tkr520ctl's ports listing is the console's, and in JSON too.
      {"tkr520ctl", {"--no-system-ports", "--port", "COM2=/dev/tkr-none", "ports"}, 0,
       "COM1  -              -\nCOM2  /dev/tkr-none  missing\n", ""},
      {"tkr520ctl", {"--no-system-ports", "--port", "COM2=/dev/tkr-none", "--json", "ports"}, 0,
       R"({"command":"ports","ports":[{"access":"-","description":null,"device":null,"error":null,)"
       R"("manufacturer":null,"pid":null,"port":"COM1","vid":null},{"access":"missing",)", ""},
      {"tkr520-sim", {"--frobnicate"}, 2, "",
       "tkr520-sim: bad option '--frobnicate'; usage: tkr520-sim [--link PATH] [--no-stdin]\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.join(' ').toStdString());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(Binary(row.program)), row.args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), row.exitCode);
    EXPECT_EQ(p.readAllStandardOutput().toStdString().rfind(row.stdoutStart, 0), 0u);
    EXPECT_EQ(p.readAllStandardError().toStdString(), row.stderrText);
  }
}

}  // namespace
}  // namespace tkr::e2e
