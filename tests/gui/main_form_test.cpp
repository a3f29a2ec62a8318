// The main window: the texts a technician relies on, what the load hides, how the legacy
// edition differs, and its events reaching the reader through the shared module.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

TEST(MainForm, TextsATechnicianReliesOn) {
  MainFormHarness h;
  // The caption as shown.
  struct Row { const char* name; const char* caption; const char* tip; };
  const Row rows[] = {
      {"txtSend", "", "Send Command"},
      {"BuzzerCheckBox", "Buzzer", "Buzzer Enable/Disable"},
      {"ComPortButton", "COM Select", "Manual COM Port Selection"},
      {"PreSuffixCommand", "Prefix/Sufix", ""},
      // Stored with a doubled ampersand, shown with one.
      {"ParityCaption", "Bit & Parity", ""},
      {"SSESCaption", "SS & ES", ""},
  };
  EXPECT_EQ(h.w().windowTitle(), "TKR520 Demo Application");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NE(h.find(row.name), nullptr);
    EXPECT_EQ(Shown(h.find(row.name)), QString::fromLatin1(row.caption));
    EXPECT_EQ(h.find(row.name)->toolTip(), QString::fromLatin1(row.tip));
  }
}

// The legacy edition names the restart button differently, and its load hides the port
// dialog's handshake box, which loads that dialog hidden. Both hide what the operator must
// not use, and the start-up read-out fills the panel.
TEST(MainForm, LoadHidesWhatTheOperatorMustNotUseAndEditionsDiffer) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    const bool legacy = edition == Edition::Legacy;
    SCOPED_TRACE(legacy ? "legacy" : "current");
    MainFormHarness h(edition);
    EXPECT_EQ(Shown(h.find("RestartCommandButton")), legacy ? "Auto COM" : "Auto Comm");
    h.w().Load();
    EXPECT_TRUE(h.w().isVisible());
    for (const char* name : {"CardDataButton", "RTSCheckBox", "CTSCheckBox"}) {
      EXPECT_TRUE(h.find(name)->isHidden()) << name;
    }
    for (const char* name : {"BuzzerCheckBox", "JISCheckBox", "DefaultButton", "ExitButton"}) {
      EXPECT_FALSE(h.find(name)->isHidden()) << name;
    }
    EXPECT_EQ(h.view().COMPortLabel->caption(), "1");
    EXPECT_EQ(h.view().BusyTextLabel->caption(), "Ready");
    ASSERT_EQ(h.loaded(FormId::ComPort), legacy);
    if (legacy) {
      EXPECT_FALSE(h.dialog(FormId::ComPort)->isVisible());
      EXPECT_TRUE(h.dialog(FormId::ComPort)->findChild<QWidget*>("HWHSCheckBox")->isHidden());
    }
  }
}

class MainFormEvents : public ::testing::Test {
 protected:
  void SetUp() override { h.w().Load(); }
  void click(const char* name) { QTest::mouseClick(h.find(name), Qt::LeftButton); }
  void type(const QString& text, QWidget* target, Qt::Key key = Qt::Key_Return) {
    h.w().txtSend()->setEditText(text);
    QTest::keyClick(target, key);
  }
  MainFormHarness h;
};

// The Qt controls are wired to the shared routines, whose frames are tested on the fake
// platform; here one case per kind of control.
TEST_F(MainFormEvents, ControlsReachTheReader) {
  QComboBox* box = h.w().txtSend();
  QLineEdit* edit = box->lineEdit();
  link::MainView& v = h.view();
  struct Row {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> sent;
    const char* boxAfter;  // the command box's text
  };
  // clang-format off
  const Row rows[] = {
      {"buzzer off", [&] { click("BuzzerCheckBox"); },
       {"09 00 03 42 5A 44 56", "7F", "09 00 03 52 45 31 2C"}, ""},
      {"track 1 off", [&] { click("TK1CheckBox"); }, {"09 00 03 54 4B 36 23"}, ""},
      {"row chosen", [&] { h.w().chooseCommand(20); }, {"7A"}, "One Short Beep"},
      {"typed, keypad Enter", [&] { type("abc", edit, Qt::Key_Enter); }, {"61 62 63"}, ""},
      // The text of a row is sent as text, never as the row's command (ESC).
      {"row text typed", [&] { type("Abort", box); }, {"41 62 6F 72 74"}, ""},
      {"Enter after choosing a row",
       [&] { h.w().chooseCommand(24); QTest::keyClick(edit, Qt::Key_Return); },
       {"1B", "41 62 6F 72 74"}, ""},
      {"Clear", [&] { v.Track2TextBox->setCaption("data"); v.StatusPanels[3]->setCaption("ACK");
                      click("ClearButton"); }, {}, ""},
  };
  // clang-format on
  const int rows0 = box->count();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t mark = h.mark();
    row.act();
    EXPECT_EQ(h.writesSince(mark), row.sent);
    EXPECT_EQ(box->currentText(), row.boxAfter);
    EXPECT_EQ(box->count(), rows0);
  }
  EXPECT_FALSE(h.find<QPushButton>("BuzzerCheckBox")->isChecked());
  EXPECT_FALSE(h.find<QAbstractButton>("TK1CheckBox")->isChecked());
  // Clear empties the monitor, the tracks and the value panels, not the panels' captions.
  EXPECT_TRUE(v.txtReceive->text().empty() && v.Track2TextBox->caption().empty());
  EXPECT_TRUE(v.StatusPanels[1]->caption().empty() && v.StatusPanels[3]->caption().empty());
  EXPECT_EQ(v.StatusPanels[0]->caption(), "Host Command");
  EXPECT_EQ(v.StatusPanels[2]->caption(), "Reader Response");
}

TEST_F(MainFormEvents, DialogButtonsShowOneModelessInstanceEach) {
  const std::pair<const char*, FormId> rows[] = {{"ComPortButton", FormId::ComPort},
                                                 {"PreSuffixCommand", FormId::FixCode},
                                                 {"CardDataButton", FormId::CardType},  // hidden
                                                 {"AboutCommand", FormId::Info}};
  // The detection's progress window was unloaded during the load; let it go.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (const auto& [button, form] : rows) {
    SCOPED_TRACE(button);
    h.find<QPushButton>(button)->click();
    dialogs::FormWindow* first = h.dialog(form);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    h.find<QPushButton>(button)->click();
    EXPECT_EQ(h.dialog(form), first);
  }
  EXPECT_EQ(h.w().findChildren<dialogs::FormWindow*>().size(), 4);
}

}  // namespace
}  // namespace tkr::testing
