// The programs' command line and the --trace line protocol that scripts drive them with.
#include "apps/console_main.h"
#include "apps/trace_console.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

using apps::ParseOptions;

TEST(ConsoleOptions, CommandLines) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // prefix of the one-line message; empty for a good line
    std::size_t ports;
  };
  const Row rows[] = {
      {"nothing", {}, "", 0},
      {"ports, both spellings, '=' in the path",
       {"--port", "COM3=/dev/ttyUSB0", "--port=COM1=/tmp/a=b"},
       "",
       2},
      {"port without a value", {"--port"}, "--port needs a value", 0},
      {"port number out of range", {"--port", "COM17=/dev/ttyS0"}, "--port COM17=/dev/ttyS0: ", 0},
      {"port without a device", {"--port", "COM2"}, "--port COM2: ", 0},
      {"unknown option", {"--verbose"}, "unknown argument --verbose", 0},
      {"stray word", {"COM1"}, "unknown argument COM1", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const apps::ParsedOptions parsed = ParseOptions(row.args);
    if (row.error.empty()) {
      EXPECT_EQ(parsed.error, "");
    } else {
      EXPECT_EQ(parsed.error.rfind(row.error, 0), 0u) << parsed.error;
      EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(parsed.options.ports.size(), row.ports);
  }
  const auto ports = ParseOptions({"--port", "COM3=/dev/ttyUSB0", "--port=COM1=/tmp/a=b"});
  EXPECT_EQ(ports.options.ports[0].port, 3);
  EXPECT_EQ(ports.options.ports[1].device, "/tmp/a=b");
}

TEST(ConsoleOptions, Flags) {
  const auto parsed = ParseOptions(
      {"--no-system-ports", "--simulate", "--demo", "--trace", "--screenshot", "shot.png"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.options.systemPorts);
  EXPECT_TRUE(parsed.options.simulate && parsed.options.demo && parsed.options.trace);
  EXPECT_EQ(parsed.options.screenshot, "shot.png");
  EXPECT_TRUE(ParseOptions({"--help"}).options.help);
  EXPECT_TRUE(ParseOptions({}).options.systemPorts);
}

TEST(TraceProtocol, EscapesEveryByteThatIsNotPrintable) {
  EXPECT_EQ(apps::EscapeBytes(MakeBytes({'A', 0x00, 0x1B, 0x7F, 0xFF, '~'})),
            "A\\x00\\x1B\\x7F\\xFF~");
  EXPECT_EQ(apps::EscapeBytes("a\\b"), "a\\\\b");
}

class TraceCommands : public ::testing::Test {
 protected:
  void SetUp() override { h.w().Load(); }
  // Runs one command line and returns what it printed.
  std::string run(const std::string& line) {
    ::testing::internal::CaptureStdout();
    trace.execute(line);
    return ::testing::internal::GetCapturedStdout();
  }
  MainFormHarness h;
  apps::TraceConsole trace{h.w(), {}};
};

TEST_F(TraceCommands, OperatorActionsReachTheReader) {
  struct Row {
    const char* line;
    Bytes firstWrite;
  };
  const Row rows[] = {
      {"click BuzzerCheckBox", MakeBytes({0x09, 0x00, 0x03, 0x42, 0x5A, 0x44, 0x56})},  // BZD
      {"send Q", "Q"},
      {"send  two words ", " two words "},  // typed exactly, spaces included
      {"choose 20", "z"},                   // "One Short Beep"
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t mark = h.mark();
    EXPECT_EQ(run(row.line), "");
    const auto writes = h.writesSince(mark);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), row.firstWrite);
  }
}

TEST_F(TraceCommands, MistakesAreReportedAndSendNothing) {
  struct Row {
    const char* line;
    const char* printed;
  };
  const Row rows[] = {
      {"click NoSuchButton", "ERROR no control NoSuchButton\n"},
      {"choose 99", "ERROR no item 99\n"},
      {"choose x", "ERROR no item x\n"},
      {"swipe ISO", "ERROR no simulated reader\n"},
      {"fly", "ERROR unknown command fly\n"},
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t mark = h.mark();
    EXPECT_EQ(run(row.line), row.printed);
    EXPECT_TRUE(h.writesSince(mark).empty());
  }
}

TEST_F(TraceCommands, DumpShowsTheWindowAndEndsWithEnd) {
  h.view().Track2TextBox->setCaption(MakeBytes({';', 0x01, '?'}));
  const std::string out = run("dump");
  for (const char* line :
       {"FWLabel=TKR510V1\n", "COMPortLabel=1\n", "ParityLabel=n,8,1\n", "BusyTextLabel=Ready\n",
        "BuzzerCheckBox=1\n", "TK3CheckBox=1\n", "Track2TextBox=;\\x01?\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(out.substr(out.size() - 4), "END\n");
}

}  // namespace
}  // namespace tkr::testing
