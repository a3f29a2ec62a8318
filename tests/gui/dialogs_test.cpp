// The settings dialogs and the detection window, driven as the operator drives them: clicks,
// typing, the close box. What reaches the reader is checked against the simulator's record.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <string>

#include "apps/console_main.h"
#include "dialogs/cardtype_form.h"
#include "dialogs/comport_form.h"
#include "dialogs/detecting_form.h"
#include "dialogs/fixcode_form.h"
#include "dialogs/info_form.h"
#include "platform/qt/qt_serial_port.h"
#include "tests/gui/main_form_fixture.h"

namespace tkr::testing {
namespace {

using namespace dialogs;
using Bench = MainFormHarness;

const std::string kRE1 = "09 00 03 52 45 31 2C";

void Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton);
}

// Clicks into a text box and types, as the operator does.
void TypeInto(QLineEdit* box, const QString& text) {
  QTest::mouseClick(box, Qt::LeftButton);
  QTest::keyClicks(box, text);
}

// Opens a combo box's list, moves to an entry and takes it with Enter.
void ChooseEntry(QComboBox* combo, int row) {
  combo->showPopup();
  combo->view()->setCurrentIndex(combo->model()->index(row, 0));
  QTest::keyClick(combo->view(), Qt::Key_Return);
}

// Shows a line setting such as "19200,e,7,1" in the main window's two labels.
void ShowLine(Bench& b, const std::string& line) {
  b.view().BaudRateLabel->setCaption(line.substr(0, line.find(',')));
  b.view().ParityLabel->setCaption(line.substr(line.find(',') + 1));
}

// ---- ComPort_form ------------------------------------------------------------------------

// The load shows only the port list, 9600 and "8 NONE", and checks the hidden options that
// match the main window's line settings. (The ports' descriptions: HotPlug.)
TEST(ComPortForm, LoadShowsThePortAndSelectsWhatTheMainWindowShows) {
  // The options the load checks, and the settings the port state takes.
  struct Row {
    const char *line, *checked, *set;
  };
  const Row rows[] = {{"19200,e,7,1", "BaudRateOption5 ParityOption1", "19200,e,7,1"},
                      {"57600,n,7,2", "BaudRateOption4 ParityOption5", "9600,n,8,1"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Bench b(Edition::Current, 0);
    b.port.setCommPort(3);
    ShowLine(b, row.line);
    auto* d = b.open<ComPort_form>(FormId::ComPort);
    QStringList shown, checked;
    for (QAbstractButton* button : d->findChildren<QAbstractButton*>()) {
      if (button->isVisible()) shown << button->text();
      if (button->isChecked() && qobject_cast<QRadioButton*>(button))
        checked << button->objectName();
    }
    shown.sort();
    EXPECT_EQ(shown, QStringList({"8 NONE", "9600", "Cancel", "Done"}));
    EXPECT_EQ(checked.join(' '), row.checked);
    EXPECT_EQ(b.m().BaudSetting + "," + b.m().FrameSetting, row.set);
    EXPECT_EQ(d->ComPortComboBox->count(), 16);
    EXPECT_EQ(d->ComPortComboBox->currentText(), "COM3");
  }
}

// Done reopens the chosen port with the hidden options, which hold the main window's line
// settings, then reads the reader back; the current console closes the dialog after that, the
// legacy one before. Cancel leaves the port alone, but the choice stays in the port state.
// Only choosing an entry from the list is a choice.
TEST(ComPortForm, DoneReconnectsAndCancelDoesNot) {
  struct Row {
    const char* name;
    Edition edition;
    int entry;
    const char* line;
    bool done;
    std::vector<std::string> heard;
    const char* fw;
    bool boxes = false;
  };
  // Warm reset, version, then the configuration read-out; no line-setting frames while the
  // handshake boxes are hidden.
  const std::vector<std::string> readBack = {"7F", "39", kRE1};
  const Row rows[] = {
      {"current Done", Edition::Current, 1, "9600,n,8,1", true, readBack, "TKR510V1"},
      {"legacy Done", Edition::Legacy, 1, "9600,n,8,1", true, readBack, "TKR510V1.07"},
      // The reader at 9600 hears nothing it can read.
      {"Done at 19200", Edition::Current, 1, "19200,e,7,1", true, {}, ""},
      {"Cancel", Edition::Current, 6, "9600,n,8,1", false, {}, "TKR510V1"},
      // With the handshake boxes shown the reader is told the new line and reset, then read
      // back at that line.
      {"Done at 19200, boxes shown",
       Edition::Current,
       1,
       "19200,e,7,1",
       true,
       {"09 00 03 42 52 34 2E", "09 00 03 50 54 30 3E", "7F", "39", kRE1},
       "TKR510V1",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bench b(row.edition, 2);
    b.load();
    ShowLine(b, row.line);
    b.view().RTSCheckBox->setVisible(row.boxes);
    auto* d = b.open<ComPort_form>(FormId::ComPort);
    // Typed text, even with Enter, is no choice; Enter does not press Done either.
    Bench::activate(d);
    const int portBefore = b.m().PortNumber;
    QTest::keyClick(d->ComPortComboBox->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(d->ComPortComboBox->lineEdit(), "COM5");
    QTest::keyClick(d->ComPortComboBox->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(b.loaded(FormId::ComPort));
    EXPECT_EQ(b.m().PortNumber, portBefore);
    ChooseEntry(d->ComPortComboBox, row.entry);
    bool openWhileReconnecting = false;
    b.loop.after(1 * kMs, [&] { openWhileReconnecting = b.loaded(FormId::ComPort); });
    const int opens = b.port.opens();
    const std::size_t from = b.heard();
    Click(row.done ? d->DoneButton : d->CancelButton);
    b.settle();
    EXPECT_EQ(b.port.opens() > opens, row.done);
    EXPECT_EQ(b.port.commPort(), row.done ? row.entry + 1 : 2);
    EXPECT_EQ(b.port.settings(), row.line);
    EXPECT_EQ(b.heardSince(from), row.heard);
    EXPECT_EQ(openWhileReconnecting, row.done && row.edition == Edition::Current);
    EXPECT_EQ(b.dialog(FormId::ComPort), nullptr);
    EXPECT_EQ(b.m().PortNumber, row.entry + 1);
    EXPECT_EQ(b.view().FWLabel->caption(), row.fw);
  }
}

// The reconnection would tear the port from under the wait: it runs once the exchange ends.
TEST(ComPortForm, DoneDuringAnExchangeWaitsForItsEnd) {
  Bench b(Edition::Current, 1);
  b.load();
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  const int opens = b.port.opens();
  int opensAtClick = -1;
  // The operator clicks Done while the typed version request waits for its answer.
  b.loop.after(1 * kMs, [&] {
    Click(d->DoneButton);
    opensAtClick = b.port.opens();
  });
  const std::size_t from = b.heard();
  b.m().SendTyped("9");
  b.loop.runFor(3000 * kMs);
  b.settle();
  EXPECT_EQ(opensAtClick, opens);
  EXPECT_GT(b.port.opens(), opens);
  // The typed request first, then the reconnection's.
  EXPECT_EQ(b.heardSince(from), (std::vector<std::string>{"39", "7F", "39", kRE1}));
  EXPECT_FALSE(b.loaded(FormId::ComPort));
}

// ---- FixCode_Form ------------------------------------------------------------------------

const std::vector<std::string> kDefaultFrames = {
    "09 00 03 70 31 00 4B", "09 00 03 73 31 00 48", "09 00 03 70 32 00 48", "09 00 03 73 32 00 4B",
    "09 00 03 70 33 00 49", "09 00 03 73 33 00 4A", "09 00 03 53 50 00 09"};

// What the operator does in the dialog, and the one frame that changes because of it; the
// other six groups still send their defaults. Cancel sends nothing. The current console
// brings the main window back after OK, the legacy one after Cancel.
TEST(FixCodeForm, OkSendsTheSevenGroupsWithWhatWasEntered) {
  // `group`: whose frame changes, 7 for none.
  struct Row {
    const char* name;
    std::size_t group;
    const char* frame;
    std::function<void(FixCode_Form&)> operate;
    Edition edition = Edition::Current;
    bool cancel = false;
  };
  const auto nothing = [](FixCode_Form&) {};
  // clang-format off
  const Row rows[] = {
      {"legacy OK", 7, "", nothing, Edition::Legacy},
      {"current Cancel", 7, "", nothing, Edition::Current, true},
      {"legacy Cancel", 7, "", nothing, Edition::Legacy, true},
      {"a prefix box entered and left empty", 2, "09 00 08 70 32 00 00 00 00 00 00 43",
       [](FixCode_Form& d) { Click(d.TK2preText[3]); }},
      // Entering a track 3 suffix box does not select its codes; typing does.
      {"a track 3 suffix box entered only", 5, "09 00 03 73 33 00 4A",
       [](FixCode_Form& d) { Click(d.TK3sufText[1]); }},
      {"a track 3 suffix code typed", 5, "09 00 08 73 33 0D 00 00 00 00 00 4C",
       [](FixCode_Form& d) { TypeInto(d.TK3sufText[0], "0d"); Click(d.TK3sufText[1]); }},
      {"Default clicked after typing", 1, "09 00 03 73 31 00 48",
       [](FixCode_Form& d) { TypeInto(d.TK1sufText[0], "1B"); Click(d.TK1sufOption); }},
      {"a separator code", 6, "09 00 03 53 50 2C 25",
       [](FixCode_Form& d) { TypeInto(d.SeparatorText, "2C"); }},
      // The boxes hold hexadecimal digits only, two at most; a lone digit is the high one and
      // an empty box between codes sends 00.
      {"hex digits only, two at most", 3, "09 00 08 73 32 1B 10 F0 00 2C 70 E7",
       [](FixCode_Form& d) {
         QStringList kept;
         for (std::size_t i = 0; i < 6; ++i) {
           TypeInto(d.TK2sufText[i], QStringList({"1b", "G1", "F", "ZZ", "2C5", " 7"})[i]);
           kept << d.TK2sufText[i]->text();
         }
         EXPECT_EQ(kept, QStringList({"1b", "1", "F", "", "2C", "7"}));
       }},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bench b(row.edition, 1);
    b.load();
    auto* d = b.open<FixCode_Form>(FormId::FixCode);
    Bench::activate(d);
    EXPECT_EQ(QApplication::focusWidget(), d->OKCmdBtn);
    row.operate(*d);
    std::vector<std::string> expected = kDefaultFrames;
    if (row.group < expected.size()) expected[row.group] = row.frame;
    if (row.cancel) expected.clear();
    b.w().hide();
    const std::size_t from = b.heard();
    Click(row.cancel ? d->CancelCmdBtn : d->OKCmdBtn);
    b.settle();
    EXPECT_EQ(b.heardSince(from), expected);
    EXPECT_FALSE(b.loaded(FormId::FixCode));
    EXPECT_EQ(b.w().isVisible(), row.cancel == (row.edition == Edition::Legacy));
  }
}

// ---- CardType_Form -----------------------------------------------------------------------

// Done with nothing chosen sends protocol 0. Cancel does not undo a choice, Default does
// nothing, and nothing is preselected. (That the frame goes out unawaited is the link tests'.)
TEST(CardTypeForm, DoneSendsTheLastChosenProtocol) {
  Bench b(Edition::Current, 1);
  b.load();
  std::size_t from = b.heard();
  Click(b.open<CardType_Form>(FormId::CardType)->DoneButton);
  b.loop.runFor(500 * kMs);
  EXPECT_EQ(b.heardSince(from), std::vector<std::string>{"09 00 03 50 43 31 28"});
  auto* d = b.open<CardType_Form>(FormId::CardType);
  Click(d->ProtocolOption3);
  Click(d->DefaultButton);
  Click(d->CancelButton);
  b.settle();
  d = b.open<CardType_Form>(FormId::CardType);
  EXPECT_FALSE(d->ProtocolOption3->isChecked());
  from = b.heard();
  Click(d->DoneButton);
  b.loop.runFor(500 * kMs);
  EXPECT_EQ(b.heardSince(from), std::vector<std::string>{"09 00 03 50 43 33 2A"});
  EXPECT_FALSE(b.loaded(FormId::CardType));
}

// ---- Every dialog --------------------------------------------------------------------------

// The colour of the icon's card (its top edge, above the stripe) where a window shows it.
QColor IconCard(const QWidget& window) {
  return window.windowIcon().pixmap(64, 64).toImage().pixelColor(32, 10);
}

// Each dialog from its button: one modeless instance with its caption and the reader's icon;
// the close box unloads it through the registry. The legacy dialogs also vanish when the
// operator turns to the main window, the current ones stay. (Esc: the detection window's test.)
TEST(EveryDialog, OneModelessInstanceAndItsWaysOut) {
  apps::SetWindowIcon();  // as the console's start-up does
  const std::tuple<const char*, FormId, const char*> rows[] = {
      {"ComPortButton", FormId::ComPort, "Manual COM Port Selection"},
      {"CardDataButton", FormId::CardType, "Card Type and Protocol Setting"},  // hidden at load
      {"PreSuffixCommand", FormId::FixCode, "Prefix/Suffix Code Setting (Hex code only)"},
      {"AboutCommand", FormId::Info, "Information of TKR520 Demo Application"}};
  for (const auto& [name, id, caption] : rows) {
    for (const bool legacy : {false, true}) {
      SCOPED_TRACE(std::string(name) + (legacy ? " legacy" : ""));
      Bench b(legacy ? Edition::Legacy : Edition::Current, 0);
      QPushButton* button = b.find<QPushButton>(name);
      button->click();
      FormWindow* d = b.dialog(id);
      ASSERT_TRUE(d && d->isVisible() && !d->isModal());
      EXPECT_EQ(d->windowTitle(), QString(caption).replace("TKR520", legacy ? "TKR510" : "TKR520"));
      EXPECT_EQ(IconCard(*d), QColor(0x2f, 0x6f, 0xd6));
      EXPECT_EQ(IconCard(b.w()), QColor(0x2f, 0x6f, 0xd6));
      if (auto* info = qobject_cast<Info_Form*>(d)) {
        EXPECT_EQ(QStringList({info->Label1->text(), info->Label4->text()}),
                  legacy ? QStringList({"Version : SWPDEMO1", "Date : 21-Nov-2000"})
                         : QStringList({"Version : SWPDEMO2", "Date : 29-May-2001"}));
      }
      button->click();
      EXPECT_EQ(b.dialog(id), d);
      d->close();
      b.settle();
      EXPECT_FALSE(b.loaded(id));
      b.w().show();
      button->click();
      Bench::activate(b.dialog(id));
      ASSERT_TRUE(b.dialog(id)->isActiveWindow());
      Bench::activate(&b.w());
      EXPECT_EQ(b.loaded(id), !legacy);
    }
  }
}

// ---- Detecting_form ------------------------------------------------------------------------

// A device that never answers: each probe runs into its time-out.
struct Mute : LineDevice {
  void hostOpened(FakeSerialPort&) override {}
  void hostClosed() override {}
  void hostWrote(const Bytes&, Micros) override {}
};

// Cancel and Esc stop the scan and open the port dialog; the legacy window vanishes when the
// operator turns to the main window, but the scan goes on and finds the reader on COM5.
TEST(DetectingForm, ShowsTheScanAndOnlyCancelAndEscStopIt) {
  enum Way { kCancel, kEsc, kMainWindow };
  for (const Way way : {kCancel, kEsc, kMainWindow}) {
    SCOPED_TRACE(way);
    Mute mute;  // outlives the port it is plugged into
    Bench b(way == kMainWindow ? Edition::Legacy : Edition::Current, way == kMainWindow ? 5 : 0);
    for (int port = 1; port <= 4; ++port) b.port.attach(port, &mute);
    QStringList shown;
    bool stillLoaded = true, cancelled = false;
    b.loop.after(1200 * kMs, [&] {
      auto* d = b.dialog<Detecting_form>(FormId::Detecting);
      ASSERT_TRUE(d != nullptr && d->isVisible());
      shown << d->windowTitle() << d->StepLabel->text() << d->COMLabel->text()
            << d->DataLabel->text() << QString::number(d->ProgressBar1->value());
      Bench::activate(d);
      if (way == kCancel) Click(d->CancelCmdBtn);
      if (way == kEsc) QTest::keyClick(d, Qt::Key_Escape);
      if (way == kMainWindow) Bench::activate(&b.w());
      stillLoaded = b.loaded(FormId::Detecting);
      cancelled = b.m().DetectCancelled;
    });
    b.load();
    EXPECT_EQ(shown,
              QStringList({"Baud Rate Auto Detecting", "Step 2 of 16", "2", "9600,n,8,1", "2"}));
    EXPECT_FALSE(stillLoaded);
    EXPECT_EQ(cancelled, way != kMainWindow);
    EXPECT_EQ(b.port.portOpen() ? b.port.commPort() : 0, way == kMainWindow ? 5 : 0);
    EXPECT_EQ(b.dialog(FormId::ComPort) && b.dialog(FormId::ComPort)->isVisible(),
              way != kMainWindow);
  }
}

// A device plugged in while the console runs is numbered when the port dialog opens, by the
// program's own hook on the real port map; its list names the new device.
TEST(HotPlug, PortDialogNumbersADevicePluggedInMeanwhile) {
  using platform::qt::SystemPort;
  std::vector<SystemPort> present = {{"ttyUSB0", "/dev/ttyUSB0", "", {}, {}, ""}};
  platform::qt::QtSerialPort serial(platform::qt::PortMap::Build({}, [&] { return present; }));
  ComPort_form::setPortDescriber([&](int port) { return serial.portMap().describe(port); });
  Bench b(Edition::Current, 1);
  apps::RefreshPortsBeforeShowing(b.forms, serial);
  b.load();
  present.push_back({"ttyACM0", "/dev/ttyACM0", "", {}, {}, ""});
  EXPECT_EQ(serial.portMap().deviceFor(2), std::nullopt);
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  EXPECT_EQ(d->ComPortComboBox->itemData(1, Qt::ToolTipRole).toString(), "/dev/ttyACM0");
  ComPort_form::setPortDescriber({});
}

}  // namespace
}  // namespace tkr::testing
