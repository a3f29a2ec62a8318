#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QWidget>

#include "core/protocol/cp437.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/status_bar_panels.h"

namespace tkr::platform::qt {
namespace {

QChar Glyph(std::uint8_t byte) {
  return QChar(static_cast<char16_t>(protocol::Cp437Glyph(byte)));
}

// The colour in the middle of the widget's left margin, away from any text.
QColor PaintedBackground(QWidget& widget) {
  const QImage image = widget.grab().toImage();
  return image.pixelColor(4, image.height() / 2);
}

TEST(QtTextControl, ShowsControlAndHighBytesAsGlyphsInEveryWidgetKind) {
  const Bytes bytes = MakeBytes({0x00, 'A', 0x0D, 0x0A, 0xFF});
  const QString expected = QString(Glyph(0x00)) + 'A' + Glyph(0x0D) + Glyph(0x0A) + Glyph(0xFF);
  QLineEdit line;
  QPlainTextEdit plain;
  QComboBox combo;
  combo.setEditable(true);
  QtTextControl controls[] = {QtTextControl(&line), QtTextControl(&plain), QtTextControl(&combo)};
  for (auto& control : controls) {
    SCOPED_TRACE(control.widget()->metaObject()->className());
    control.setCaption(bytes);
    EXPECT_EQ(control.caption(), bytes);
  }
  EXPECT_EQ(line.text(), expected);
  EXPECT_EQ(plain.document()->toRawText(), expected);  // one line: CR LF are glyphs here
  EXPECT_EQ(combo.currentText(), expected);
}

TEST(QtTextControl, OperatorEditsComeBackAsBytes) {
  QLineEdit line;
  QtTextControl control(&line);
  control.setCaption("AB");
  line.setFocus();
  QTest::keyClick(&line, Qt::Key_End);
  for (const QString& typed : {QString(QChar(0x00E9)), QString(QChar(0x263A))}) {  // 0x82, 0x01
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QApplication::sendEvent(&line, &press);
  }
  EXPECT_EQ(control.caption(), MakeBytes({'A', 'B', 0x82, 0x01}));
}

TEST(QtTextControl, MaximumLengthKeepsWhatTheBoxHolds) {
  QLineEdit line;
  line.setMaxLength(2);
  QtTextControl control(&line);
  control.setCaption("1F0");
  EXPECT_EQ(line.text(), "1F");
  EXPECT_EQ(control.caption(), "1F");
}

TEST(QtLabelControl, ShowsDoubledAmpersandOnceAndKeepsStoredForm) {
  QLabel label;
  QtLabelControl control(&label);
  control.setCaption("Bit && Parity");
  EXPECT_EQ(label.text(), "Bit & Parity");
  EXPECT_EQ(control.caption(), "Bit && Parity");
  label.setText("SS & ES");  // set by the window directly
  EXPECT_EQ(control.caption(), "SS && ES");
}

TEST(QtLabelControl, BackColorIsPainted) {
  QLabel label;
  label.resize(60, 20);
  QtLabelControl control(&label);
  control.setBackColor(kRed);
  EXPECT_EQ(control.backColor(), kRed);
  EXPECT_EQ(PaintedBackground(label), QColor(255, 0, 0));
}

TEST(QtLabelControl, VisibleAndEnabledAreTheControlsOwnSettings) {
  QWidget window;  // never shown
  auto* label = new QLabel(&window);
  QtLabelControl control(label);
  EXPECT_TRUE(control.visible());
  EXPECT_TRUE(control.enabled());
  control.setVisible(false);
  EXPECT_FALSE(control.visible());
  control.setVisible(true);
  EXPECT_TRUE(control.visible());
  window.setEnabled(false);
  EXPECT_TRUE(control.enabled());
  control.setEnabled(false);
  EXPECT_FALSE(control.enabled());
}

struct CheckKind {
  const char* name;
  std::function<QAbstractButton*(QWidget*)> make;
  bool reportsClearing = true;  // option buttons report only being selected
};

class QtCheckControlTest : public ::testing::TestWithParam<CheckKind> {};

TEST_P(QtCheckControlTest, RaisesOnClickOncePerChangeByCodeAndByOperator) {
  QWidget window;
  QAbstractButton* button = GetParam().make(&window);
  button->setGeometry(0, 0, 80, 20);
  window.show();
  QtCheckControl control(button);
  int clicks = 0;
  control.onClick = [&] { ++clicks; };

  control.setValue(1);
  EXPECT_EQ(control.value(), 1);
  EXPECT_EQ(clicks, 1);
  control.setValue(1);  // same value: nothing
  EXPECT_EQ(clicks, 1);
  control.setValue(0);
  EXPECT_EQ(control.value(), 0);
  const int afterClear = GetParam().reportsClearing ? 2 : 1;
  EXPECT_EQ(clicks, afterClear);

  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(control.value(), 1);
  EXPECT_EQ(clicks, afterClear + 1);
}

const CheckKind kCheckKinds[] = {
    {"CheckBox", [](QWidget* p) -> QAbstractButton* { return new QCheckBox("Buzzer", p); }},
    {"ButtonStyle",
     [](QWidget* p) -> QAbstractButton* {
       auto* b = new QPushButton("LRC", p);
       b->setCheckable(true);
       return b;
     }},
    {"Option", [](QWidget* p) -> QAbstractButton* { return new QRadioButton("9600", p); }, false},
};

INSTANTIATE_TEST_SUITE_P(Kinds, QtCheckControlTest, ::testing::ValuesIn(kCheckKinds),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(QtCheckControl, OptionReportsOnlyBeingSelectedAndCanBeClearedByCode) {
  QWidget window;
  auto* first = new QRadioButton("1200", &window);
  auto* second = new QRadioButton("2400", &window);
  QtCheckControl a(first), b(second);
  int clicksA = 0, clicksB = 0;
  a.onClick = [&] { ++clicksA; };
  b.onClick = [&] { ++clicksB; };
  a.setValue(1);
  b.setValue(1);  // deselects a, which reports nothing
  EXPECT_EQ(a.value(), 0);
  EXPECT_EQ(clicksA, 1);
  EXPECT_EQ(clicksB, 1);
  b.setValue(0);
  EXPECT_EQ(b.value(), 0);
  EXPECT_TRUE(second->autoExclusive());
}

TEST(QtCheckControl, ButtonStyleBackColorIsPaintedAndCaptionKeepsAmpersands) {
  QPushButton button;
  button.setCheckable(true);
  button.resize(80, 24);
  QtCheckControl control(&button);
  control.setCaption("SS/ES && X");
  EXPECT_EQ(control.caption(), "SS/ES && X");
  control.setBackColor(kLightGreen);
  EXPECT_EQ(PaintedBackground(button), QColor(0xC0, 0xFF, 0xC0));
}

TEST(QtLogControl, AppendsShowsLineBreaksAndGivesTheTextBack) {
  QPlainTextEdit edit;
  QtLogControl log(&edit);
  log.append("PC-->MSR\r\n");
  for (const char* piece : {"39h ", "\r", "\n"}) log.append(piece);  // CR LF split across calls
  log.append("PC<--MSR\r\n");
  log.append(std::string("\0\xff", 2));
  EXPECT_EQ(log.text(), std::string("PC-->MSR\r\n39h \r\nPC<--MSR\r\n\0\xff", 28));
  EXPECT_EQ(edit.blockCount(), 4);
  EXPECT_EQ(edit.document()->findBlockByNumber(1).text(), "39h ");
  EXPECT_EQ(edit.document()->findBlockByNumber(3).text(), QString(Glyph(0)) + Glyph(0xFF));

  log.removeLeadingLines(2);
  EXPECT_EQ(log.text(), std::string("PC<--MSR\r\n\0\xff", 12));
  EXPECT_EQ(edit.document()->firstBlock().text(), "PC<--MSR");
  EXPECT_EQ(edit.blockCount(), 2);

  log.removeLeadingLines(5);  // more lines than there are: everything goes
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(edit.document()->toRawText(), "");

  log.append("A\r\n");
  log.clear();
  EXPECT_EQ(log.text(), "");
  EXPECT_TRUE(edit.document()->isEmpty());
}

TEST(QtLogControl, ViewAtTheEndFollowsNewLines) {
  QPlainTextEdit edit;
  edit.resize(200, 60);
  edit.show();
  QtLogControl log(&edit);
  for (int i = 0; i < 50; ++i) log.append("0Dh 0Ah \r\n");
  QScrollBar* bar = edit.verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  bar->setValue(0);  // the operator scrolled up to read: leave the view alone
  log.append("PC<--MSR\r\n");
  EXPECT_EQ(bar->value(), 0);
}

TEST(QtProgressControl, ClampsValuesIntoRange) {
  QProgressBar bar;
  QtProgressControl progress(&bar);
  progress.setMin(0);
  progress.setMax(16);
  progress.setValue(17);
  EXPECT_EQ(progress.value(), 16);
  progress.setValue(3);
  EXPECT_EQ(bar.value(), 3);
  EXPECT_EQ(progress.max(), 16);
}

TEST(StatusBarPanels, FourPanelsWithTextsTipsAndProportionalWidths) {
  StatusBarPanels bar({StatusPanel{165, "Host Command", "Host Command"}, StatusPanel{282, "", ""},
                       StatusPanel{165, "Reader Response", "Reader Response"},
                       StatusPanel{282, "", ""}});
  bar.resize(510, 15);
  bar.show();
  EXPECT_EQ(bar.panel(0).caption(), "Host Command");
  EXPECT_EQ(bar.label(2)->toolTip(), "Reader Response");
  bar.panel(1).setCaption("[09]RE1&");
  EXPECT_EQ(bar.label(1)->text(), "[09]RE1&");  // status panels show '&' as it is
  // 894 px of panels in a 510 px bar: each keeps its share, the last ends inside the bar.
  EXPECT_EQ(bar.label(1)->geometry(), QRect(95, 0, 158, 15));
  EXPECT_LE(bar.label(3)->geometry().right(), 509);
  EXPECT_GE(bar.label(3)->width(), 155);
  bar.resize(1200, 15);  // room enough: the stated widths
  EXPECT_EQ(bar.label(1)->geometry(), QRect(167, 0, 282, 15));
}

}  // namespace
}  // namespace tkr::platform::qt
