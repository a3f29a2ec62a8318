// The programs as built, for what only a real process shows: SWPDEMO2 against tkr520-sim on
// a pseudo-terminal, a second instance, and the options that need no display.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/e2e/process.h"

namespace tkr::e2e {
namespace {

// The scan, the read-out and a swipe are the link tests', on the fake platform. Here the real
// program finds the reader over a real line, and a second instance under the same lock ends at
// once, silently, with no window. SWPDEMO1 starts through the same code.
TEST(EndToEnd, ASecondInstanceEndsSilently) {
  Sim sim;
  QTemporaryDir tmp;  // the single-instance lock lives there
  const std::map<std::string, std::string> env = {{"QT_QPA_PLATFORM", "offscreen"},
                                                  {"TMPDIR", tmp.path().toStdString()},
                                                  {"XDG_RUNTIME_DIR", tmp.path().toStdString()}};
  Process first(Binary("SWPDEMO2"), {"--no-system-ports", "--trace", "--port", "COM1=" + sim.path},
                env);
  const Process::Lines start = first.readUntil("READY", 60000);
  ASSERT_TRUE(start.found) << first.allOutput();
  EXPECT_EQ(ParseState(start.lines)["FWLabel"], "TKR510V1");
  Process second(Binary("SWPDEMO2"), {"--no-system-ports", "--trace"}, env);
  EXPECT_EQ(second.readLine(10000), "");
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.allOutput(), "");
}

// Options that end a program before any window: they must work with no display at all.
TEST(CommandLineWithoutDisplay, HelpListAndMistakesNeedNoWindow) {
  struct Row { const char* program; QStringList args; int exitCode; const char *out, *err; };
  // The path after the port name may hold '=' itself.
  const QStringList none = {"--no-system-ports", "--port=COM2=/dev/tkr=none"};
  const char* listing = "COM1  -              -\nCOM2  /dev/tkr=none  missing\n";
  const Row rows[] = {
      {"SWPDEMO2", {"--help"}, 0, "Usage: SWPDEMO2 [options]\n", ""},
      {"SWPDEMO2", {"--bogus"}, 2, "", "SWPDEMO2: unknown argument --bogus (see --help)\n"},
      {"SWPDEMO2", QStringList{"--list-ports"} + none, 0, listing, ""},
      // tkr520ctl's ports listing is the console's, here in JSON.
      {"tkr520ctl", none + QStringList{"--json", "ports"}, 0,
       R"({"command":"ports","ports":[{"access":"-","description":null,"device":null,)", ""},
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
    EXPECT_EQ(p.exitCode(), row.exitCode);  // a crash gives the signal's number
    EXPECT_EQ(p.readAllStandardOutput().toStdString().rfind(row.out, 0), 0u);
    EXPECT_EQ(p.readAllStandardError().toStdString(), row.err);
  }
}

}  // namespace
}  // namespace tkr::e2e
