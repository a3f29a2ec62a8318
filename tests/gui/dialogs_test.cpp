// The settings dialogs and the detection window, driven as the operator drives them: clicks,
// typing, the close box. What reaches the reader is checked against the simulator's record.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <string>

#include "dialogs/cardtype_form.h"
#include "dialogs/comport_form.h"
#include "dialogs/detecting_form.h"
#include "dialogs/fixcode_form.h"
#include "dialogs/info_form.h"
#include "tests/gui/dialog_bench.h"

namespace tkr::testing {
namespace {

using dialogs::CardType_Form;
using dialogs::ComPort_form;
using dialogs::Detecting_form;
using dialogs::FixCode_Form;
using dialogs::Info_Form;
using platform::FormId;

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

std::vector<std::string> Hex(const std::vector<Bytes>& units) {
  std::vector<std::string> out;
  for (const Bytes& u : units) out.push_back(Hex(u));
  return out;
}

void Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton);
}

// Clicks into a text box and types, as the operator does.
void TypeInto(QLineEdit* box, const QString& text) {
  QTest::mouseClick(box, Qt::LeftButton);
  QTest::keyClicks(box, text);
}

// Opens a combo box's list and picks an entry with the arrow keys and Enter.
void ChooseEntry(QComboBox* combo, int row) {
  combo->showPopup();
  QAbstractItemView* list = combo->view();
  const int from = list->currentIndex().isValid() ? list->currentIndex().row() : 0;
  for (int r = from; r < row; ++r) QTest::keyClick(list, Qt::Key_Down);
  for (int r = from; r > row; --r) QTest::keyClick(list, Qt::Key_Up);
  QTest::keyClick(list, Qt::Key_Return);
}

// Replaces a text box's text by typing, as the operator does.
void RetypeInto(QLineEdit* box, const QString& text) {
  QTest::mouseClick(box, Qt::LeftButton);
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, text);
}

// ---- ComPort_form ------------------------------------------------------------------------

struct ComPortLoadRow {
  const char* name;
  const char* baudCaption;
  const char* parityCaption;
  int handshaking;
  bool handshakeBefore;
  const char* baudOption;
  const char* parityOption;
  const char* baudSetting;
  const char* frameSetting;
  bool handshakeAfter;
};

void PrintTo(const ComPortLoadRow& row, std::ostream* os) {
  *os << row.name;
}

class ComPortLoad : public ::testing::TestWithParam<ComPortLoadRow> {};

TEST_P(ComPortLoad, SelectsWhatTheMainWindowShows) {
  const ComPortLoadRow& row = GetParam();
  DialogBench b(Edition::Current, 0);
  b.port.setCommPort(3);
  b.port.setHandshaking(row.handshaking);
  b.w.BaudRateLabel.setCaption(row.baudCaption);
  b.w.ParityLabel.setCaption(row.parityCaption);
  b.m().HardwareHandshake = row.handshakeBefore;
  b.m().BaudSetting = "stale";
  b.m().FrameSetting = "stale";

  auto* d = b.open<ComPort_form>(FormId::ComPort);
  ASSERT_NE(d, nullptr);

  EXPECT_TRUE(d->findChild<QRadioButton*>(row.baudOption)->isChecked());
  EXPECT_TRUE(d->findChild<QRadioButton*>(row.parityOption)->isChecked());
  EXPECT_EQ(b.m().BaudSetting, row.baudSetting);
  EXPECT_EQ(b.m().FrameSetting, row.frameSetting);
  EXPECT_EQ(b.m().HardwareHandshake, row.handshakeAfter);
  EXPECT_EQ(d->HWHSCheckBox->isChecked(), row.handshaking == platform::comRTS);
  EXPECT_EQ(d->ComPortComboBox->currentText(), "COM3");
  EXPECT_EQ(b.m().PortNumber, 3);
}

const ComPortLoadRow kComPortLoadRows[] = {
    {"Baud19200Even7", "19200", "e,7,1", platform::comNone, false, "BaudRateOption5",
     "ParityOption1", "19200", "e,7,1", false},
    {"Baud1200Space7", "1200", "s,7,1", platform::comNone, false, "BaudRateOption1",
     "ParityOption4", "1200", "s,7,1", false},
    {"UnknownTextsFallBack", "57600", "n,7,2", platform::comNone, false, "BaudRateOption4",
     "ParityOption5", "9600", "n,8,1", false},
    {"EmptyLabelsFallBack", "", "", platform::comNone, false, "BaudRateOption4", "ParityOption5",
     "9600", "n,8,1", false},
    {"RtsHandshakeChecksTheBox", "9600", "n,8,1", platform::comRTS, false, "BaudRateOption4",
     "ParityOption5", "9600", "n,8,1", true},
    // An unchecked box set unchecked raises nothing, so the flag keeps its value.
    {"NoHandshakeLeavesTheFlag", "9600", "n,8,1", platform::comNone, true, "BaudRateOption4",
     "ParityOption5", "9600", "n,8,1", true},
    {"XonXoffLeavesTheFlag", "4800", "o,7,1", platform::comXOnXoff, true, "BaudRateOption3",
     "ParityOption2", "4800", "o,7,1", true},
};
INSTANTIATE_TEST_SUITE_P(Rows, ComPortLoad, ::testing::ValuesIn(kComPortLoadRows),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ComPortForm, ShowsOnlyThePortNineSixHundredEightNoneDoneAndCancel) {
  DialogBench b(Edition::Current, 0);
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "Manual COM Port Selection");
  QStringList shown;
  for (QAbstractButton* button : d->findChildren<QAbstractButton*>()) {
    if (button->isVisible()) shown << button->text();
  }
  shown.sort();
  EXPECT_EQ(shown, QStringList({"8 NONE", "9600", "Cancel", "Done"}));
  EXPECT_TRUE(d->ComPortComboBox->isVisible());
  EXPECT_EQ(d->Frame3->title(), "Bit && Parity");
  ASSERT_EQ(d->ComPortComboBox->count(), 16);
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d->ComPortComboBox->itemText(i), QString("COM%1").arg(i + 1));
    EXPECT_EQ(d->ComPortComboBox->itemData(i).toInt(), i + 1);
  }
}

TEST(ComPortForm, ListEntriesNameTheirDevices) {
  {
    DialogBench b(Edition::Current, 0);
    auto* d = b.open<ComPort_form>(FormId::ComPort);
    EXPECT_EQ(d->ComPortComboBox->itemData(4, Qt::ToolTipRole).toString(), "no device");
  }
  ComPort_form::setPortDescriber([](int port) { return "/dev/ttyS" + std::to_string(port - 1); });
  DialogBench b(Edition::Current, 0);
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  EXPECT_EQ(d->ComPortComboBox->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyS0");
  EXPECT_EQ(d->ComPortComboBox->itemData(15, Qt::ToolTipRole).toString(), "/dev/ttyS15");
  ComPort_form::setPortDescriber({});
}

TEST(ComPortForm, OnlyChoosingAnEntrySetsThePort) {
  DialogBench b(Edition::Current, 0);
  b.port.setCommPort(3);
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  DialogBench::activate(d);

  // Typed text, even with Enter, is no choice; Enter does not press Done either.
  QLineEdit* edit = d->ComPortComboBox->lineEdit();
  RetypeInto(edit, "COM5");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(d->ComPortComboBox->currentText(), "COM5");
  EXPECT_EQ(b.m().PortNumber, 3);
  EXPECT_TRUE(b.loaded(FormId::ComPort));

  ChooseEntry(d->ComPortComboBox, 11);
  EXPECT_EQ(b.m().PortNumber, 12);
  EXPECT_EQ(d->ComPortComboBox->currentText(), "COM12");
}

TEST(ComPortForm, DoneReconnectsOnTheChosenPortAndReadsTheReaderBack) {
  DialogBench b(Edition::Current, 2);
  b.load();
  ASSERT_TRUE(b.port.portOpen());
  ASSERT_EQ(b.port.commPort(), 2);
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  ChooseEntry(d->ComPortComboBox, 1);
  Click(d->BaudRateOption4);
  Click(d->ParityOption5);
  const std::size_t from = b.mark();
  Click(d->DoneButton);
  b.settle();

  EXPECT_EQ(b.port.commPort(), 2);
  EXPECT_EQ(b.port.settings(), "9600,n,8,1");
  EXPECT_EQ(b.port.handshaking(), platform::comNone);
  // Warm reset, version, then the configuration read-out; no line-setting frames while the
  // handshake boxes are hidden.
  const std::vector<std::string> expected = {"7F", "39", "09 00 03 52 45 31 2C"};
  EXPECT_EQ(Hex(b.heardSince(from)), expected);
  EXPECT_FALSE(b.loaded(FormId::ComPort));
  EXPECT_EQ(b.dialog<ComPort_form>(FormId::ComPort), nullptr);
}

TEST(ComPortForm, DoneWithHiddenChoicesReopensWithThem) {
  DialogBench b(Edition::Current, 1);
  b.load();
  b.w.BaudRateLabel.setCaption("19200");
  b.w.ParityLabel.setCaption("e,7,1");
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  Click(d->DoneButton);
  b.settle();
  EXPECT_EQ(b.port.settings(), "19200,e,7,1");
  EXPECT_EQ(b.port.commPort(), 1);
}

// The current console reconnects before it closes the dialog; the legacy one closes first.
class ComPortDoneOrder : public ::testing::TestWithParam<Edition> {};

TEST_P(ComPortDoneOrder, ClosesBeforeOrAfterReconnecting) {
  DialogBench b(GetParam(), 1);
  b.load();
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  bool openDuringApply = false;
  b.loop.after(1 * kMs, [&] { openDuringApply = b.loaded(FormId::ComPort); });
  const int opens = b.port.opens();
  Click(d->DoneButton);
  b.settle();
  EXPECT_GT(b.port.opens(), opens);
  EXPECT_EQ(openDuringApply, GetParam() == Edition::Current);
  EXPECT_FALSE(b.loaded(FormId::ComPort));
}

INSTANTIATE_TEST_SUITE_P(Editions, ComPortDoneOrder,
                         ::testing::Values(Edition::Current, Edition::Legacy),
                         [](const auto& test) {
                           return test.param == Edition::Current ? "Current" : "Legacy";
                         });

TEST(ComPortForm, DoneDuringAnExchangeWaitsForItsEnd) {
  DialogBench b(Edition::Current, 1);
  b.load();
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  const int opens = b.port.opens();
  int opensAtClick = -1;
  bool doneLocked = false;
  // The operator clicks Done while the typed version request waits for its answer.
  b.loop.after(1 * kMs, [&] {
    Click(d->DoneButton);
    opensAtClick = b.port.opens();
    doneLocked = !d->DoneButton->isEnabled();
  });
  const std::size_t from = b.mark();
  b.m().SendTyped("9");
  b.loop.runFor(3000 * kMs);
  b.settle();

  EXPECT_EQ(opensAtClick, opens);  // the port was not torn from under the wait
  EXPECT_TRUE(doneLocked);
  EXPECT_GT(b.port.opens(), opens);
  const std::vector<Bytes> heard = b.heardSince(from);
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(Hex(heard[0]), "39");  // the typed request first, then the reconnection's
  EXPECT_EQ(Hex(heard[1]), "7F");
  EXPECT_FALSE(b.loaded(FormId::ComPort));
}

TEST(ComPortForm, CancelLeavesThePortAlone) {
  DialogBench b(Edition::Current, 1);
  b.load();
  auto* d = b.open<ComPort_form>(FormId::ComPort);
  ChooseEntry(d->ComPortComboBox, 6);
  const int opens = b.port.opens();
  const std::size_t from = b.mark();
  Click(d->CancelButton);
  b.settle();
  EXPECT_FALSE(b.loaded(FormId::ComPort));
  EXPECT_EQ(b.port.opens(), opens);
  EXPECT_TRUE(b.port.portOpen());
  EXPECT_EQ(b.port.commPort(), 1);
  EXPECT_TRUE(b.heardSince(from).empty());
  EXPECT_EQ(b.m().PortNumber, 7);  // the choice stays in the port state until the next load
}

// ---- FixCode_Form ------------------------------------------------------------------------

struct FixCodeBench : DialogBench {
  explicit FixCodeBench(Edition edition = Edition::Current) : DialogBench(edition, 1) {
    load();
    d = open<FixCode_Form>(FormId::FixCode);
    activate(d);
  }
  std::vector<std::string> ok() {
    const std::size_t from = mark();
    Click(d->OKCmdBtn);
    settle();
    return Hex(heardSince(from));
  }
  FixCode_Form* d = nullptr;
};

const std::vector<std::string> kDefaultFrames = {
    "09 00 03 70 31 00 4B", "09 00 03 73 31 00 48", "09 00 03 70 32 00 48", "09 00 03 73 32 00 4B",
    "09 00 03 70 33 00 49", "09 00 03 73 33 00 4A", "09 00 03 53 50 00 09"};

TEST(FixCodeForm, OpensWithEveryGroupAtDefaultAndFocusOnOk) {
  FixCodeBench b;
  EXPECT_EQ(b.d->windowTitle(), "Prefix/Suffix Code Setting (Hex code only)");
  EXPECT_EQ(QApplication::focusWidget(), b.d->OKCmdBtn);
  EXPECT_EQ(b.d->PrefixDefault, (std::array<bool, 3>{true, true, true}));
  EXPECT_EQ(b.d->SuffixDefault, (std::array<bool, 3>{true, true, true}));
  EXPECT_TRUE(b.d->SeparatorDefault);
  const auto boxes = b.d->findChildren<QLineEdit*>();
  EXPECT_EQ(boxes.size(), 37);
  for (QLineEdit* box : boxes) {
    SCOPED_TRACE(box->objectName().toStdString());
    EXPECT_EQ(box->maxLength(), 2);
    EXPECT_EQ(box->toolTip(), "Hex code only");
    EXPECT_TRUE(box->text().isEmpty());
  }
}

TEST(FixCodeForm, OkWithoutChangeSendsTheSevenDefaultsInOrder) {
  FixCodeBench b;
  b.mainWindow.hide();
  EXPECT_EQ(b.ok(), kDefaultFrames);
  EXPECT_FALSE(b.loaded(FormId::FixCode));
  EXPECT_TRUE(b.mainWindow.isVisible());
  EXPECT_FALSE(b.m().AwaitingReply);
}

// What the operator does in the dialog, and the one frame that changes because of it; the
// other six groups still send their defaults.
struct CodeEntryRow {
  const char* name;
  std::function<void(FixCode_Form&)> operate;
  std::size_t group;
  const char* frame;
};

TEST(FixCodeForm, EntriesChangeOnlyTheirGroupsFrame) {
  const CodeEntryRow rows[] = {
      {"two codes in the track 1 prefix",
       [](FixCode_Form& d) {
         TypeInto(d.TK1preText[0], "02");
         TypeInto(d.TK1preText[1], "41");
       },
       0, "09 00 08 70 31 02 41 00 00 00 00 03"},
      {"a prefix box entered and left empty", [](FixCode_Form& d) { Click(d.TK2preText[3]); }, 2,
       "09 00 08 70 32 00 00 00 00 00 00 43"},
      {"a track 3 suffix box entered only", [](FixCode_Form& d) { Click(d.TK3sufText[1]); }, 5,
       "09 00 03 73 33 00 4A"},
      {"a track 3 suffix code typed",
       [](FixCode_Form& d) {
         TypeInto(d.TK3sufText[0], "0d");
         Click(d.TK3sufText[1]);
       },
       5, "09 00 08 73 33 0D 00 00 00 00 00 4C"},
      {"Default clicked after typing",
       [](FixCode_Form& d) {
         TypeInto(d.TK1sufText[0], "1B");
         Click(d.TK1sufOption);
       },
       1, "09 00 03 73 31 00 48"},
      {"a separator code", [](FixCode_Form& d) { TypeInto(d.SeparatorText, "2C"); }, 6,
       "09 00 03 53 50 2C 25"},
  };
  for (const CodeEntryRow& row : rows) {
    SCOPED_TRACE(row.name);
    FixCodeBench b;
    row.operate(*b.d);
    std::vector<std::string> expected = kDefaultFrames;
    expected[row.group] = row.frame;
    EXPECT_EQ(b.ok(), expected);
  }
}

TEST(FixCodeForm, FocusSelectsCodesExceptInTheTrackThreeSuffix) {
  FixCodeBench b;
  Click(b.d->TK3sufText[1]);
  EXPECT_TRUE(b.d->TK3sufOption->isChecked());
  EXPECT_TRUE(b.d->SuffixDefault[2]);
  Click(b.d->TK1preText[2]);
  EXPECT_TRUE(b.d->TK1preOption1->isChecked());
  EXPECT_FALSE(b.d->PrefixDefault[0]);
  QTest::keyClicks(b.d->TK3sufText[1], "7");
  EXPECT_TRUE(b.d->TK3sufOption1->isChecked());
  EXPECT_FALSE(b.d->SuffixDefault[2]);
}

TEST(FixCodeForm, BoxesHoldOnlyWhatIsSent) {
  FixCodeBench b;
  // Typed, then what stays in the box: only hexadecimal digits, two at most.
  const std::pair<const char*, const char*> entries[] = {{"1b", "1b"}, {"G1", "1"},   {"F", "F"},
                                                         {"ZZ", ""},   {"2C5", "2C"}, {" 7", "7"}};
  for (std::size_t i = 0; i < 6; ++i) {
    TypeInto(b.d->TK2sufText[i], entries[i].first);
    EXPECT_EQ(b.d->TK2sufText[i]->text(), entries[i].second) << entries[i].first;
  }
  const auto sent = b.ok();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[3], "09 00 08 73 32 1B 10 F0 00 2C 70 E7");
  // A 00 code is no code to the reader.
  EXPECT_EQ(b.reader->model().config().suffix[1], MakeBytes({0x1B, 0x10, 0xF0, 0x2C, 0x70}));
}

TEST(FixCodeForm, LegacyOkLeavesTheMainWindowAndCancelBringsItBack) {
  {
    FixCodeBench b(Edition::Legacy);
    b.mainWindow.hide();
    EXPECT_EQ(b.ok(), kDefaultFrames);
    EXPECT_FALSE(b.mainWindow.isVisible());
  }
  {
    FixCodeBench b(Edition::Legacy);
    b.mainWindow.hide();
    const std::size_t from = b.mark();
    Click(b.d->CancelCmdBtn);
    b.settle();
    EXPECT_TRUE(b.heardSince(from).empty());
    EXPECT_FALSE(b.loaded(FormId::FixCode));
    EXPECT_TRUE(b.mainWindow.isVisible());
  }
  {
    FixCodeBench b(Edition::Current);
    b.mainWindow.hide();
    Click(b.d->CancelCmdBtn);
    b.settle();
    EXPECT_FALSE(b.mainWindow.isVisible());
  }
}

// ---- CardType_Form -----------------------------------------------------------------------

TEST(CardTypeForm, DoneWithoutChoiceSendsTheLastProtocolPc1AtFirst) {
  DialogBench b(Edition::Current, 1);
  b.load();
  auto* d = b.open<CardType_Form>(FormId::CardType);
  EXPECT_EQ(d->windowTitle(), "Card Type and Protocol Setting");
  EXPECT_FALSE(d->ProtocolOption1->isChecked() || d->ProtocolOption2->isChecked() ||
               d->ProtocolOption3->isChecked());
  const std::size_t from = b.mark();
  Click(d->DoneButton);
  b.loop.runFor(500 * kMs);
  EXPECT_EQ(Hex(b.heardSince(from)), std::vector<std::string>{"09 00 03 50 43 31 28"});
  EXPECT_FALSE(b.loaded(FormId::CardType));
}

TEST(CardTypeForm, ProtocolTwoSendsPc3WithoutWaiting) {
  DialogBench b(Edition::Current, 1);
  b.load();
  auto* d = b.open<CardType_Form>(FormId::CardType);
  Click(d->ProtocolOption3);
  EXPECT_EQ(b.m().ReaderProtocol, 2);
  const auto waits = b.loop.waits();
  Click(d->DoneButton);
  EXPECT_EQ(b.loop.waits(), waits);
  EXPECT_EQ(Hex(b.port.writes().back()), "09 00 03 50 43 33 2A");
  b.loop.runFor(500 * kMs);
  EXPECT_EQ(b.reader->model().config().protocol, 2);
  EXPECT_EQ(b.w.Panel4.caption(), "ACK");
}

TEST(CardTypeForm, CancelKeepsTheChoiceForTheNextDoneAndDefaultDoesNothing) {
  DialogBench b(Edition::Current, 1);
  b.load();
  const std::size_t from = b.mark();
  auto* d = b.open<CardType_Form>(FormId::CardType);
  Click(d->ProtocolOption2);
  Click(d->DefaultButton);
  EXPECT_TRUE(b.loaded(FormId::CardType));
  Click(d->CancelButton);
  b.settle();
  EXPECT_TRUE(b.heardSince(from).empty());

  d = b.open<CardType_Form>(FormId::CardType);
  EXPECT_FALSE(d->ProtocolOption2->isChecked());  // nothing preselected, whatever was chosen
  Click(d->DoneButton);
  b.loop.runFor(500 * kMs);
  EXPECT_EQ(Hex(b.heardSince(from)), std::vector<std::string>{"09 00 03 50 43 32 2B"});
}

// ---- Info_Form ---------------------------------------------------------------------------

struct InfoRow {
  const char* name;
  Edition edition;
  const char* caption;
  const char* version;
  const char* date;
};

void PrintTo(const InfoRow& row, std::ostream* os) {
  *os << row.name;
}

class InfoTexts : public ::testing::TestWithParam<InfoRow> {};

TEST_P(InfoTexts, NameVersionAndDate) {
  const InfoRow& row = GetParam();
  DialogBench b(row.edition, 0);
  auto* d = b.open<Info_Form>(FormId::Info);
  EXPECT_EQ(d->windowTitle(), row.caption);
  EXPECT_EQ(d->Label2->text(), "TKR520 Demo Application");
  EXPECT_EQ(d->Label1->text(), row.version);
  EXPECT_EQ(d->Label4->text(), row.date);
  EXPECT_EQ(d->Command1->text(), "CLOSE");
  // Top to bottom in this order.
  EXPECT_LT(d->Label2->y(), d->Label1->y());
  EXPECT_LT(d->Label1->y(), d->Label4->y());
  EXPECT_LT(d->Label4->y(), d->Command1->y());
}

INSTANTIATE_TEST_SUITE_P(
    Editions, InfoTexts,
    ::testing::Values(InfoRow{"Current", Edition::Current, "Information of TKR520 Demo Application",
                              "Version : SWPDEMO2", "Date : 29-May-2001"},
                      InfoRow{"Legacy", Edition::Legacy, "Information of TKR510 Demo Application",
                              "Version : SWPDEMO1", "Date : 21-Nov-2000"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(InfoForm, WhichWayOutBringsTheMainWindowForward) {
  struct Row {
    const char* name;
    Edition edition;
    bool byCloseBox;
    bool mainShown;
  };
  const Row rows[] = {
      {"current CLOSE", Edition::Current, false, true},
      {"current close box", Edition::Current, true, true},
      {"legacy CLOSE", Edition::Legacy, false, true},
      {"legacy close box", Edition::Legacy, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DialogBench b(row.edition, 0);
    auto* d = b.open<Info_Form>(FormId::Info);
    ASSERT_FALSE(b.mainWindow.isVisible());
    if (row.byCloseBox) {
      d->close();
    } else {
      Click(d->Command1);
    }
    b.settle();
    EXPECT_FALSE(b.loaded(FormId::Info));
    EXPECT_EQ(b.mainWindow.isVisible(), row.mainShown);
  }
}

// ---- Every dialog --------------------------------------------------------------------------

struct DialogRow {
  const char* name;
  FormId id;
};

const DialogRow kDialogs[] = {{"ComPort", FormId::ComPort},
                              {"CardType", FormId::CardType},
                              {"FixCode", FormId::FixCode},
                              {"Info", FormId::Info}};

void PrintTo(const DialogRow& row, std::ostream* os) {
  *os << row.name;
}

class EveryDialog : public ::testing::TestWithParam<DialogRow> {};

TEST_P(EveryDialog, OpeningTwiceKeepsOneInstance) {
  DialogBench b(Edition::Current, 0);
  b.forms.show(GetParam().id);
  dialogs::FormWindow* first = b.forms.dialog(GetParam().id);
  b.forms.show(GetParam().id);
  b.settle();
  EXPECT_EQ(b.forms.dialog(GetParam().id), first);
  int shown = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && qobject_cast<dialogs::FormWindow*>(w) != nullptr) ++shown;
  }
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(first->isModal());
}

TEST_P(EveryDialog, CloseBoxAndEscUnloadThroughTheRegistry) {
  DialogBench b(Edition::Current, 0);
  auto* d = b.open<dialogs::FormWindow>(GetParam().id);
  d->close();
  b.settle();
  EXPECT_FALSE(b.loaded(GetParam().id));

  d = b.open<dialogs::FormWindow>(GetParam().id);
  DialogBench::activate(d);
  QTest::keyClick(d, Qt::Key_Escape);
  b.settle();
  EXPECT_FALSE(b.loaded(GetParam().id));
}

// The legacy dialogs vanish when the operator turns to the main window; current ones stay.
TEST_P(EveryDialog, LegacyClosesOnDeactivation) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    SCOPED_TRACE(edition == Edition::Current ? "current" : "legacy");
    DialogBench b(edition, 0);
    b.mainWindow.show();
    auto* d = b.open<dialogs::FormWindow>(GetParam().id);
    DialogBench::activate(d);
    ASSERT_TRUE(d->isActiveWindow());
    DialogBench::activate(&b.mainWindow);
    EXPECT_EQ(b.loaded(GetParam().id), edition == Edition::Current);
  }
}

TEST_P(EveryDialog, NoCaptionIsCutOff) {
  for (Edition edition : {Edition::Current, Edition::Legacy}) {
    DialogBench b(edition, 0);
    auto* d = b.open<dialogs::FormWindow>(GetParam().id);
    for (QWidget* w : d->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      SCOPED_TRACE(w->objectName().toStdString());
      if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
        EXPECT_GE(w->width(), w->sizeHint().width());
      }
      if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        EXPECT_GE(frame->width(), frame->minimumSizeHint().width());
      }
      // Inside the dialog, and inside its frame when it has one.
      const QRect inParent = w->geometry();
      EXPECT_TRUE(QRect(QPoint(0, 0), w->parentWidget()->size()).contains(inParent));
    }
  }
}

TEST_P(EveryDialog, ResizingRescalesTheFramesAndTheirControls) {
  DialogBench b(Edition::Current, 0);
  auto* d = b.open<dialogs::FormWindow>(GetParam().id);
  const QSize before = d->size();
  const auto frames = d->findChildren<QGroupBox*>();
  std::vector<QRect> framesBefore;
  std::vector<QRect> innerBefore;
  for (QGroupBox* f : frames) {
    framesBefore.push_back(f->geometry());
    innerBefore.push_back(f->findChildren<QWidget*>().at(0)->geometry());
  }
  d->resize(before * 2);
  b.settle();
  for (int i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(frames[i]->objectName().toStdString());
    const auto at = static_cast<std::size_t>(i);
    EXPECT_NEAR(frames[i]->width(), framesBefore[at].width() * 2, 2);
    EXPECT_NEAR(frames[i]->x(), framesBefore[at].x() * 2, 2);
    const QRect inner = frames[i]->findChildren<QWidget*>().at(0)->geometry();
    EXPECT_NEAR(inner.width(), innerBefore[at].width() * 2, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, EveryDialog, ::testing::ValuesIn(kDialogs),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- Detecting_form ------------------------------------------------------------------------

// A device on every port that never answers: each probe runs into its time-out.
struct Mute : platform::fake::LineDevice {
  void hostOpened(platform::fake::FakeSerialPort&) override {}
  void hostClosed() override {}
  void hostWrote(const Bytes&, platform::fake::Micros) override {}
};

TEST(DetectingForm, ShowsTheScanAndCancelOpensThePortDialog) {
  for (const bool byEsc : {false, true}) {
    SCOPED_TRACE(byEsc ? "Esc" : "Cancel button");
    Mute mute;  // outlives the port it is plugged into
    DialogBench b(Edition::Current, 0);
    for (int port = 1; port <= 16; ++port) b.port.attach(port, &mute);
    std::string step, com, data;
    int value = -1, maximum = -1;
    QString caption;
    b.loop.after(1500 * kMs, [&] {
      auto* d = b.dialog<Detecting_form>(FormId::Detecting);
      ASSERT_NE(d, nullptr);
      ASSERT_TRUE(d->isVisible());
      caption = d->windowTitle();
      step = d->StepLabel->text().toStdString();
      com = d->COMLabel->text().toStdString();
      data = d->DataLabel->text().toStdString();
      value = d->ProgressBar1->value();
      maximum = d->ProgressBar1->maximum();
      if (byEsc) {
        QTest::keyClick(d, Qt::Key_Escape);
      } else {
        Click(d->CancelCmdBtn);
      }
    });
    b.load();
    EXPECT_EQ(caption, "Baud Rate Auto Detecting");
    EXPECT_EQ(step, "Step 2 of 16");
    EXPECT_EQ(com, "2");
    EXPECT_EQ(data, "9600,n,8,1");
    EXPECT_EQ(value, 2);
    EXPECT_EQ(maximum, 16);
    EXPECT_TRUE(b.m().DetectCancelled);
    EXPECT_FALSE(b.loaded(FormId::Detecting));
    EXPECT_NE(b.dialog<ComPort_form>(FormId::ComPort), nullptr);
    EXPECT_EQ(b.m().DetectStep, 0);
  }
}

TEST(DetectingForm, LegacyWindowLosingActivationIsNoCancel) {
  Mute mute;
  DialogBench b(Edition::Legacy, 5);
  for (int port = 1; port <= 4; ++port) b.port.attach(port, &mute);
  bool cancelled = true;
  bool unloaded = false;
  b.loop.after(1200 * kMs, [&] {
    auto* d = b.dialog<Detecting_form>(FormId::Detecting);
    ASSERT_NE(d, nullptr);
    DialogBench::activate(d);
    DialogBench::activate(&b.mainWindow);
    unloaded = !b.loaded(FormId::Detecting);
    cancelled = b.m().DetectCancelled;
  });
  b.load();
  EXPECT_TRUE(unloaded);
  EXPECT_FALSE(cancelled);
  // The scan went on and found the reader.
  EXPECT_TRUE(b.port.portOpen());
  EXPECT_EQ(b.port.commPort(), 5);
}

}  // namespace
}  // namespace tkr::testing
