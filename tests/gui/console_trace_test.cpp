// The programs' command line and the --trace line protocol that scripts drive them with.
#include "apps/console_main.h"
#include "apps/trace_console.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

using apps::ParseOptions;

// What the end-to-end tests and the port map's own table do not run: the one-line messages a
// mistyped line earns, the demo script's options and a --port= value with '=' in the path.
TEST(ConsoleOptions, MistakesAreNamedOnOneLine) {
  const std::pair<std::vector<std::string>, std::string> linesAndErrors[] = {
      {{"--port"}, "--port needs a value"},
      {{"--port", "COM17=/dev/ttyS0"}, "--port COM17=/dev/ttyS0: "},  // then the reason
      {{"--verbose"}, "unknown argument --verbose"},
      {{"COM1"}, "unknown argument COM1"},
  };
  for (const auto& [line, error] : linesAndErrors) {
    const std::string parsed = ParseOptions(line).error;
    EXPECT_EQ(parsed.rfind(error, 0), 0u) << parsed;
    EXPECT_EQ(parsed.find('\n'), std::string::npos) << parsed;
  }
  const apps::Options demo =
      ParseOptions({"--simulate", "--demo", "--screenshot", "a.png", "--port=COM1=/tmp/a=b"})
          .options;
  EXPECT_TRUE(demo.simulate && demo.demo && demo.screenshot == "a.png");
  ASSERT_EQ(demo.ports.size(), 1u);
  EXPECT_EQ(demo.ports[0].device, "/tmp/a=b");
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

TEST_F(TraceCommands, LinesActSilentlyOrReportTheirMistakeAndSendNothing) {
  // firstWrite empty: nothing may be written.
  struct Row { const char* line; const char* printed; Bytes firstWrite; };
  const Row rows[] = {
      {"send  two words ", "", " two words "},  // typed exactly, spaces included
      {"click NoSuchButton", "ERROR no control NoSuchButton\n", ""},
      {"choose 99", "ERROR no item 99\n", ""},
      {"choose x", "ERROR no item x\n", ""},
      {"swipe ISO", "ERROR no simulated reader\n", ""},
      {"fly", "ERROR unknown command fly\n", ""},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t mark = h.mark();
    EXPECT_EQ(run(row.line), row.printed);
    const auto& writes = h.port.writes();
    EXPECT_EQ(writes.size() > mark ? writes[mark] : Bytes(), row.firstWrite);
  }
}

}  // namespace
}  // namespace tkr::testing
