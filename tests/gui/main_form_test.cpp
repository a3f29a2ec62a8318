// The main window: the texts a technician relies on, what the load hides, how the legacy
// edition differs, its events reaching the reader through the shared module, and the --trace
// line commands that scripts drive it with.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "apps/trace_console.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

// The captions as shown, one ampersand where two are stored; the legacy edition names
// the restart button differently. The load hides what the operator must not use, and the
// legacy one loads the port dialog hidden, with its handshake box hidden.
TEST(MainForm, TextsAndWhatTheLoadHidesPerEdition) {
  for (const bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "current");
    MainFormHarness h(legacy ? Edition::Legacy : Edition::Current);
    QStringList shown = {h.w().windowTitle()}, hidden;
    for (const char* name : {"RestartCommandButton", "BuzzerCheckBox", "ComPortButton",
                             "PreSuffixCommand", "ParityCaption", "SSESCaption"}) {
      auto* label = h.find<QLabel>(name);
      shown << (label ? label->text() : h.find<QAbstractButton>(name)->text());
    }
    EXPECT_EQ(shown,
              QStringList({"TKR520 Demo Application", legacy ? "Auto COM" : "Auto Comm", "Buzzer",
                           "COM Select", "Prefix/Sufix", "Bit & Parity", "SS & ES"}));
    h.w().Load();
    for (const char* name : {"CardDataButton", "RTSCheckBox", "CTSCheckBox", "BuzzerCheckBox",
                             "JISCheckBox", "DefaultButton", "ExitButton"}) {
      if (h.find(name)->isHidden()) hidden << name;
    }
    EXPECT_EQ(hidden, QStringList({"CardDataButton", "RTSCheckBox", "CTSCheckBox"}));
    EXPECT_EQ(h.view().COMPortLabel->caption(), "1");
    EXPECT_EQ(h.view().BusyTextLabel->caption(), "Ready");
    ASSERT_EQ(h.loaded(FormId::ComPort), legacy);
    if (legacy) {
      EXPECT_FALSE(h.dialog(FormId::ComPort)->isVisible());
      EXPECT_TRUE(h.dialog(FormId::ComPort)->findChild<QWidget*>("HWHSCheckBox")->isHidden());
    }
  }
}

// The Qt controls are wired to the shared routines, whose frames are tested on the fake
// platform; here one case per kind of control.
TEST(MainFormEvents, ControlsReachTheReader) {
  MainFormHarness h;
  h.w().Load();
  QComboBox* box = h.w().txtSend();
  QLineEdit* edit = box->lineEdit();
  const auto click = [&h](const char* name) { QTest::mouseClick(h.find(name), Qt::LeftButton); };
  const auto type = [box](const QString& text, QWidget* target, Qt::Key key) {
    box->setEditText(text);
    QTest::keyClick(target, key);
  };
  // boxAfter: the command box's text.
  struct Row {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> sent;
    const char* boxAfter;
  };
  // clang-format off
  const Row rows[] = {
      {"buzzer off", [&] { click("BuzzerCheckBox"); },
       {"09 00 03 42 5A 44 56", "7F", "09 00 03 52 45 31 2C"}, ""},
      {"row chosen", [&] { h.w().chooseCommand(20); }, {"7A"}, "One Short Beep"},
      {"typed, keypad Enter", [&] { type("abc", edit, Qt::Key_Enter); }, {"61 62 63"}, ""},
      // The text of a row is sent as text, never as the row's command (ESC).
      {"Enter after choosing a row",
       [&] { h.w().chooseCommand(24); QTest::keyClick(edit, Qt::Key_Return); },
       {"1B", "41 62 6F 72 74"}, ""},
  };
  // clang-format on
  const int rows0 = box->count();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t mark = h.port.writes().size();
    row.act();
    EXPECT_EQ(HexFrom(h.port.writes(), mark), row.sent);
    EXPECT_EQ(box->currentText(), row.boxAfter);
    EXPECT_EQ(box->count(), rows0);
  }
}

// Commands act silently or print their mistake on one line.
TEST(TraceCommands, LinesActSilentlyOrReportTheirMistake) {
  MainFormHarness h;
  h.w().Load();
  apps::TraceConsole trace{h.w(), {}};
  // firstWrite empty: nothing may be written.
  struct Row {
    const char* line;
    const char* printed;
    Bytes firstWrite;
  };
  const Row rows[] = {
      {"send  two words ", "", " two words "},  // typed exactly, spaces included
      {"click NoSuchButton", "ERROR no control NoSuchButton\n", ""},
      {"choose 99", "ERROR no item 99\n", ""},
      {"swipe ISO", "ERROR no simulated reader\n", ""},
      {"fly", "ERROR unknown command fly\n", ""},
      // A dialog's controls by the dialog's name; fill types into a box as the operator does.
      {"click PreSuffixCommand", "", ""},
      {"click FixCode_Form.TK1preOption1", "", ""},
      {"fill FixCode_Form.TK1preText1 02", "", ""},
      {"fill FixCode_Form.NoSuchBox 02", "ERROR no box FixCode_Form.NoSuchBox\n", ""},
      {"click FixCode_Form.OKCmdBtn", "", MakeBytes({9, 0, 8, 'p', '1', 2, 0, 0, 0, 0, 0, 0x42})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t mark = h.port.writes().size();
    ::testing::internal::CaptureStdout();
    trace.execute(row.line);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), row.printed);
    const auto& writes = h.port.writes();
    EXPECT_EQ(writes.size() > mark ? writes[mark] : Bytes(), row.firstWrite);
  }
}

}  // namespace
}  // namespace tkr::testing
