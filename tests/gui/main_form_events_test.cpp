// The main window's events reach the shared module, the dialogs open once each through the
// registry, and the window rescales its frames when resized.
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "dialogs/form_window.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

using platform::FormId;

const Bytes kWarmReset = MakeBytes({0x7F});
const Bytes kReadConfig = MakeBytes({0x09, 0x00, 0x03, 0x52, 0x45, 0x31, 0x2C});  // "RE1"

class MainFormEvents : public ::testing::Test {
 protected:
  void SetUp() override { h.w().Load(); }
  QPushButton* button(const char* name) { return h.find<QPushButton>(name); }
  MainFormHarness h;
};

TEST_F(MainFormEvents, BuzzerToggleSendsItsFrameThenResetAndReadBack) {
  // The simulated reader starts with the buzzer on; the start-up read-out checked the box
  // and coloured it without sending anything for it.
  QPushButton* buzzer = button("BuzzerCheckBox");
  ASSERT_TRUE(buzzer->isChecked());
  EXPECT_EQ(h.view().BuzzerCheckBox->backColor(), platform::kGreen);
  EXPECT_EQ(h.view().BuzzerLabel->caption(), "Enable");

  struct Step {
    const char* name;
    Bytes frame;
    bool checked;
    platform::Color colour;
    const char* label;
  };
  const Step steps[] = {
      {"off", MakeBytes({0x09, 0x00, 0x03, 0x42, 0x5A, 0x44, 0x56}), false, platform::kLightGreen,
       "Disable"},
      {"on", MakeBytes({0x09, 0x00, 0x03, 0x42, 0x5A, 0x45, 0x57}), true, platform::kGreen,
       "Enable"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const std::size_t mark = h.mark();
    QTest::mouseClick(buzzer, Qt::LeftButton);
    EXPECT_EQ(h.writesSince(mark), (std::vector<Bytes>{step.frame, kWarmReset, kReadConfig}));
    EXPECT_EQ(buzzer->isChecked(), step.checked);
    EXPECT_EQ(h.view().BuzzerCheckBox->backColor(), step.colour);
    EXPECT_EQ(h.view().BuzzerLabel->caption(), step.label);
  }
}

TEST_F(MainFormEvents, TrackBoxesSendTheSelectionMaskAndKeepOneTrack) {
  struct Step {
    const char* box;
    std::vector<Bytes> sent;
    bool checkedAfter;
  };
  const Step steps[] = {
      // Track 1 off: tracks 2 and 3 remain, mask 6.
      {"TK1CheckBox", {MakeBytes({0x09, 0x00, 0x03, 0x54, 0x4B, 0x36, 0x23})}, false},
      // Track 2 off: track 3 alone, mask 4.
      {"TK2CheckBox", {MakeBytes({0x09, 0x00, 0x03, 0x54, 0x4B, 0x34, 0x21})}, false},
      // The last track cannot go: it is checked again and nothing is sent.
      {"TK3CheckBox", {}, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.box);
    auto* box = h.find<QAbstractButton>(step.box);
    const std::size_t mark = h.mark();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(h.writesSince(mark), step.sent);
    EXPECT_EQ(box->isChecked(), step.checkedAfter);
  }
}

TEST_F(MainFormEvents, ChoosingARowSendsItsCommandAndShowsItsText) {
  h.view().Track1TextBox->setCaption("old data");
  const std::size_t mark = h.mark();
  ASSERT_TRUE(h.w().chooseCommand(20));  // "One Short Beep"
  EXPECT_EQ(h.writesSince(mark), std::vector<Bytes>{"z"});
  EXPECT_EQ(h.w().txtSend()->currentText(), "One Short Beep");
  EXPECT_TRUE(h.view().Track1TextBox->caption().empty());
}

TEST_F(MainFormEvents, EnterSendsTheTypedTextAndAddsNoRow) {
  QComboBox* box = h.w().txtSend();
  QLineEdit* edit = box->lineEdit();
  struct Row {
    const char* name;
    QWidget* target;
    Qt::Key key;
    QString typed;
    Bytes sent;
  };
  const Row rows[] = {
      {"single command", edit, Qt::Key_Return, "Q", "Q"},
      {"several characters", edit, Qt::Key_Enter, "abc", "abc"},
      // The text of a row is sent as text, never as the row's command (ESC).
      {"row text typed", box, Qt::Key_Return, "Abort", "Abort"},
      {"Latin-1 byte", edit, Qt::Key_Return, QString(QChar(0xE9)), MakeBytes({0xE9})},
  };
  const int rows0 = box->count();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    box->setEditText(row.typed);
    const std::size_t mark = h.mark();
    QTest::keyClick(row.target, row.key);
    EXPECT_EQ(h.writesSince(mark), std::vector<Bytes>{row.sent});
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(box->count(), rows0);
  }
}

TEST_F(MainFormEvents, EnterAfterChoosingARowSendsTheRowText) {
  ASSERT_TRUE(h.w().chooseCommand(24));  // "Abort" sends ESC when chosen
  const std::size_t mark = h.mark();
  QTest::keyClick(h.w().txtSend()->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(h.writesSince(mark), std::vector<Bytes>{"Abort"});
}

TEST_F(MainFormEvents, ClearEmptiesMonitorTracksAndValuePanelsOnly) {
  link::MainView& v = h.view();
  v.Track2TextBox->setCaption("data");
  v.StatusPanels[3]->setCaption("ACK");
  ASSERT_FALSE(v.txtReceive->text().empty());
  ASSERT_FALSE(v.StatusPanels[1]->caption().empty());
  QTest::mouseClick(button("ClearButton"), Qt::LeftButton);
  EXPECT_TRUE(v.txtReceive->text().empty());
  EXPECT_TRUE(v.Track2TextBox->caption().empty());
  EXPECT_TRUE(v.StatusPanels[1]->caption().empty());
  EXPECT_TRUE(v.StatusPanels[3]->caption().empty());
  EXPECT_EQ(v.StatusPanels[0]->caption(), "Host Command");
  EXPECT_EQ(v.StatusPanels[2]->caption(), "Reader Response");
}

TEST_F(MainFormEvents, DialogButtonsShowOneInstanceEach) {
  struct Row {
    const char* button;
    FormId form;
  };
  const Row rows[] = {{"ComPortButton", FormId::ComPort},
                      {"PreSuffixCommand", FormId::FixCode},
                      {"CardDataButton", FormId::CardType},  // hidden, yet wired
                      {"AboutCommand", FormId::Info}};
  // The detection's progress window was unloaded during the load; let it go.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.button);
    button(row.button)->click();
    dialogs::FormWindow* first = h.forms.dialog(row.form);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    button(row.button)->click();
    EXPECT_EQ(h.forms.dialog(row.form), first);
  }
  EXPECT_EQ(h.w().findChildren<dialogs::FormWindow*>().size(), 4);
}

TEST_F(MainFormEvents, UnloadedDialogIsDeletedAndShowsAfreshNextTime) {
  h.forms.show(FormId::Info);
  QPointer<dialogs::FormWindow> first = h.forms.dialog(FormId::Info);
  ASSERT_FALSE(first.isNull());
  h.forms.unload(FormId::Info);
  EXPECT_FALSE(h.forms.loaded(FormId::Info));
  EXPECT_FALSE(first->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  h.forms.show(FormId::Info);
  EXPECT_TRUE(h.forms.loaded(FormId::Info));
  h.forms.unload(FormId::Info);
  h.forms.unload(FormId::Info);  // a second unload is harmless
  EXPECT_FALSE(h.forms.loaded(FormId::Info));
}

TEST_F(MainFormEvents, DoublingTheWindowDoublesFramesAndTheirControls) {
  const QSize before = h.w().size();
  const int frameWidth = h.w().frame(2)->width();
  const int boxWidth = h.find("Track1TextBox")->width();
  const int buttonLeft = h.find("ExitButton")->x();
  h.w().resize(before * 2);
  QCoreApplication::processEvents();
  ASSERT_EQ(h.w().size(), before * 2);
  EXPECT_NEAR(h.w().frame(2)->width(), 2 * frameWidth, 1);
  // The frames' own controls follow in the same pass, so the frames were scaled first.
  EXPECT_NEAR(h.find("Track1TextBox")->width(), 2 * boxWidth, 2);
  EXPECT_NEAR(h.find("ExitButton")->x(), 2 * buttonLeft, 2);
}

}  // namespace
}  // namespace tkr::testing
