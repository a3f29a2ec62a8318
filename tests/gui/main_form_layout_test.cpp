// What the operator sees of the main window: captions, tool tips, geometry, what is hidden
// after the load, the status bar and the differences of the legacy edition.
#include <QComboBox>
#include <QPlainTextEdit>

#include "core/protocol/host_commands.h"
#include "dialogs/form_window.h"
#include "platform/qt/twips.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

namespace pq = platform::qt;

TEST(MainFormLayout, CaptionsAndToolTipsATechnicianReliesOn) {
  MainFormHarness h;
  struct Row {
    const char* name;
    const char* caption;  // as shown; nullptr for none
    const char* tip;      // "" for none
  };
  const Row rows[] = {
      {"Frame1", "Monitor", ""},
      {"Frame2", "Tracks Data", ""},
      {"Frame3", "Configuration Enable/Disable", ""},
      {"Frame4", "Current Settings", ""},
      {"Frame5", "Configuration Settings and Functions", ""},
      {"txtSend", nullptr, "Send Command"},
      {"txtReceive", nullptr, "Received Message"},
      {"BuzzerCheckBox", "Buzzer", "Buzzer Enable/Disable"},
      {"SelfArmCheckBox", "Self-Arm", "Self-Arm Mode Enable/Disable"},
      {"JISCheckBox", "JIS", ""},
      {"TK1CheckBox", "TK1", "Send Track1 data or not"},
      {"Track3TextBox", nullptr, "Track 3 Data"},
      {"ComPortButton", "COM Select", "Manual COM Port Selection"},
      {"DefaultButton", "Default", "MSR Default Setting"},
      {"PreSuffixCommand", "Prefix/Sufix", ""},
      {"RestartCommandButton", "Auto Comm", "Auto COM Port Detection"},
      {"AboutCommand", "Demo AP Info.", "Information"},
      // Stored with a doubled ampersand, shown with one.
      {"ParityCaption", "Bit & Parity", ""},
      {"SSESCaption", "SS & ES", ""},
      {"FWCaption", "F/W Ver.", ""},
  };
  EXPECT_EQ(h.w().windowTitle(), "TKR520 Demo Application");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget* w = h.find(row.name);
    ASSERT_NE(w, nullptr);
    if (row.caption) {
      EXPECT_EQ(Shown(w), QString::fromLatin1(row.caption));
    }
    EXPECT_EQ(w->toolTip(), QString::fromLatin1(row.tip));
  }
}

TEST(MainFormLayout, ControlsSitAtTheirTwipsGeometry) {
  MainFormHarness h;
  struct Row {
    const char* name;
    int l, t, w, hgt;
  };
  const Row rows[] = {
      {"Frame1", 24, -24, 4056, 2172},         {"Frame2", 4140, -24, 3492, 2784},
      {"Frame3", 24, 2148, 4056, 612},         {"Frame4", 24, 3408, 7620, 1692},
      {"Frame5", 24, 2760, 7608, 612},         {"txtSend", 156, 312, 3744, 288},
      {"Track3TextBox", 132, 2040, 3240, 612}, {"CardDataButton", 3120, 480, 972, 252},
      {"BusyLabel", 3948, 1128, 252, 132},     {"StatusBar1", 0, 5196, 7644, 228},
  };
  EXPECT_EQ(h.w().size(), pq::SizeFromTwips(7650, 5415, &h.w()));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget* w = h.find(row.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), pq::FromTwips(row.l, row.t, row.w, row.hgt, &h.w()));
  }
}

TEST(MainFormLayout, ColoursAtCreation) {
  MainFormHarness h;
  link::MainView& v = h.view();
  EXPECT_EQ(v.BuzzerCheckBox->backColor(), platform::kLightGreen);
  EXPECT_EQ(v.CTSCheckBox->backColor(), platform::kLightGreen);
  EXPECT_EQ(v.BusyLabel->backColor(), platform::kGreen);
  EXPECT_EQ(v.DefaultButton->backColor(), 0xC0C000u);
  EXPECT_EQ(v.Track1TextBox->backColor(), 0xC0FFFFu);
  EXPECT_EQ(v.txtSend->backColor(), 0xFFC0C0u);
  EXPECT_TRUE(v.BusyTextLabel->caption().empty());
}

TEST(MainFormLayout, LoadHidesWhatTheOperatorMustNotUse) {
  MainFormHarness h;
  h.w().Load();
  struct Row {
    const char* name;
    bool hidden;
  };
  const Row rows[] = {
      {"CardDataButton", true},  {"RTSCheckBox", true},  {"CTSCheckBox", true},
      {"BuzzerCheckBox", false}, {"JISCheckBox", false}, {"DefaultButton", false},
      {"ClearButton", false},    {"ExitButton", false},  {"Track1TextBox", false},
  };
  EXPECT_TRUE(h.w().isVisible());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(h.find(row.name)->isHidden(), row.hidden);
  }
  // The reader was found: the start-up read-out filled the panel.
  EXPECT_EQ(h.view().COMPortLabel->caption(), "1");
  EXPECT_EQ(h.view().BusyTextLabel->caption(), "Ready");
}

TEST(MainFormLayout, StatusBarHasFourPanelsWithFixedCaptions) {
  MainFormHarness h;
  QWidget* bar = h.find("StatusBar1");
  ASSERT_NE(bar, nullptr);
  const auto panels = bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(panels.size(), 4);
  struct Row {
    const char* text;
    int width;
  };
  const Row rows[] = {{"Host Command", 2469}, {"", 4233}, {"Reader Response", 2469}, {"", 4233}};
  int right = 0;
  const double scale = static_cast<double>(panels[1]->width()) / pq::TwipsX(4233, &h.w());
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i + 1);
    const QLabel* panel = panels[i];
    EXPECT_EQ(panel->text(), QString::fromLatin1(rows[i].text));
    EXPECT_EQ(panel->toolTip(), QString::fromLatin1(rows[i].text));
    // Side by side, left to right, in the stated proportions, the last one inside the bar.
    EXPECT_GE(panel->x(), right);
    EXPECT_NEAR(panel->width(), pq::TwipsX(rows[i].width, &h.w()) * scale, 1.0);
    right = panel->x() + panel->width();
    EXPECT_EQ(h.view().StatusPanels[static_cast<std::size_t>(i)]->caption(), rows[i].text);
  }
  EXPECT_LE(right, bar->width());
}

TEST(MainFormLayout, CommandBoxListsTheHostCommandsInOrderWithTheirItemCodes) {
  MainFormHarness h;
  QComboBox* box = h.w().txtSend();
  const auto list = protocol::HostCommandList();
  ASSERT_EQ(box->count(), static_cast<int>(list.size()));
  for (int i = 0; i < box->count(); ++i) {
    const auto& row = list[static_cast<std::size_t>(i)];
    SCOPED_TRACE(std::string(row.text));
    EXPECT_EQ(box->itemText(i).toStdString(), row.text);
    EXPECT_EQ(box->itemData(i).toInt(), row.itemCode);
  }
  EXPECT_TRUE(box->isEditable());
  EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
  EXPECT_TRUE(box->currentText().isEmpty());
  EXPECT_TRUE(h.find<QPlainTextEdit>("txtReceive")->isReadOnly());
}

TEST(MainFormLayout, EditionsDifferInSizeFontsAndTheRestartCaption) {
  struct Row {
    const char* name;
    Edition edition;
    const char* restart;
    int width, height;
    double controlPoints;
    double fixedPoints;
    bool fixedBold;
  };
  const Row rows[] = {
      {"current", Edition::Current, "Auto Comm", 7650, 5415, 7.5, 6.0, true},
      {"legacy", Edition::Legacy, "Auto COM", 7644, 5424, 7.8, 7.2, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MainFormHarness h(row.edition);
    EXPECT_EQ(Shown(h.find("RestartCommandButton")), row.restart);
    EXPECT_EQ(h.w().size(), pq::SizeFromTwips(row.width, row.height, &h.w()));
    EXPECT_DOUBLE_EQ(h.find("ClearButton")->font().pointSizeF(), row.controlPoints);
    EXPECT_EQ(h.find("Label1")->font().family(), "Arial");
    for (const char* boxName : {"txtReceive", "Track2TextBox"}) {
      const QFont f = h.find(boxName)->font();
      EXPECT_DOUBLE_EQ(f.pointSizeF(), row.fixedPoints) << boxName;
      EXPECT_EQ(f.bold(), row.fixedBold) << boxName;
    }
  }
}

TEST(MainFormLayout, LegacyLoadPreloadsThePortDialogHidden) {
  MainFormHarness h(Edition::Legacy);
  h.w().Load();
  ASSERT_TRUE(h.forms.loaded(platform::FormId::ComPort));
  QWidget* dialog = h.forms.dialog(platform::FormId::ComPort);
  EXPECT_FALSE(dialog->isVisible());
  QWidget* handshake = dialog->findChild<QWidget*>("HWHSCheckBox");
  ASSERT_NE(handshake, nullptr);
  EXPECT_TRUE(handshake->isHidden());
}

}  // namespace
}  // namespace tkr::testing
