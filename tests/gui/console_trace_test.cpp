// The programs' command line and the --trace line protocol that scripts drive them with.
#include "apps/console_main.h"
#include "apps/trace_console.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

using apps::ParseOptions;

// What the end-to-end tests and the port map's own table do not run: the one-line messages of
// --port mistakes, and a --port= value with '=' in the path.
TEST(ConsoleOptions, PortMistakesAndAnEqualsSignInThePath) {
  EXPECT_EQ(ParseOptions({"--port"}).error, "--port needs a value");
  const std::string error = ParseOptions({"--port", "COM17=/dev/ttyS0"}).error;
  EXPECT_EQ(error.rfind("--port COM17=/dev/ttyS0: ", 0), 0u) << error;  // then the reason
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  const apps::Options options = ParseOptions({"--port=COM1=/tmp/a=b"}).options;
  ASSERT_EQ(options.ports.size(), 1u);
  EXPECT_EQ(options.ports[0].device, "/tmp/a=b");
}

TEST(TraceProtocol, EscapesEveryByteThatIsNotPrintable) {
  EXPECT_EQ(apps::EscapeBytes(MakeBytes({'A', 0x00, 0x1B, 0x7F, 0xFF, '~', '\\'})),
            "A\\x00\\x1B\\x7F\\xFF~\\\\");
}

TEST(TraceCommands, LinesActSilentlyOrReportTheirMistake) {
  MainFormHarness h;
  h.w().Load();
  apps::TraceConsole trace{h.w(), {}};
  // firstWrite empty: nothing may be written.
  struct Row { const char* line; const char* printed; Bytes firstWrite; };
  const Row rows[] = {
      {"send  two words ", "", " two words "},  // typed exactly, spaces included
      {"click NoSuchButton", "ERROR no control NoSuchButton\n", ""},
      {"choose 99", "ERROR no item 99\n", ""},
      {"choose x", "ERROR no item x\n", ""},
      {"swipe ISO", "ERROR no simulated reader\n", ""},
      {"fly", "ERROR unknown command fly\n", ""},
      // A dialog's controls by the dialog's name; fill types into a box as the operator does.
      {"click PreSuffixCommand", "", ""},
      {"click FixCode_Form.TK1preOption1", "", ""},
      {"fill FixCode_Form.TK1preText1 02", "", ""},
      {"fill FixCode_Form.NoSuchBox 02", "ERROR no box FixCode_Form.NoSuchBox\n", ""},
      {"click FixCode_Form.OKCmdBtn", "", MakeBytes({9, 0, 8, 'p', '1', 2, 0, 0, 0, 0, 0, 0x42})},
      {"", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t mark = h.mark();
    ::testing::internal::CaptureStdout();
    trace.execute(row.line);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), row.printed);
    const auto& writes = h.port.writes();
    EXPECT_EQ(writes.size() > mark ? writes[mark] : Bytes(), row.firstWrite);
  }
}

}  // namespace
}  // namespace tkr::testing
