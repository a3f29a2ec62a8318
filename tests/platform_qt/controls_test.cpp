#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
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

// Every byte shows as one visible CP437 glyph in each kind of text box and comes back as it was.
TEST(QtTextControl, EveryByteShowsAsOneGlyphInEveryWidgetKindAndComesBack) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  QLineEdit line;
  QPlainTextEdit plain;
  QComboBox combo;
  combo.setEditable(true);
  QtTextControl controls[] = {QtTextControl(&line), QtTextControl(&plain), QtTextControl(&combo)};
  for (auto& control : controls) {
    SCOPED_TRACE(control.widget()->metaObject()->className());
    control.setCaption(all);
    EXPECT_EQ(control.caption(), all);
  }
  const QString shown = line.text();
  ASSERT_EQ(shown.size(), 256);  // nothing dropped, nothing doubled
  EXPECT_EQ(shown[0], QChar(0x2400));
  EXPECT_EQ(shown[0x0D], Glyph(0x0D));
  EXPECT_EQ(shown[0x41], QLatin1Char('A'));
  EXPECT_EQ(shown[0xFF], QChar(0x00A0));
  EXPECT_EQ(plain.document()->toRawText(), shown);  // one line: CR LF are glyphs here
  EXPECT_EQ(combo.currentText(), shown);
  // Typed text that is no glyph: 0xE9 is CP437 byte 0x82, U+00A4 keeps its Latin-1 value.
  line.setText(QString::fromUtf8("\u00e9\u00a4\u20ac"));
  EXPECT_EQ(controls[0].caption(), MakeBytes({0x82, 0xA4, '?'}));
  // The command box sends what is typed by Latin-1 value instead: "é" goes out as 0xE9.
  QtCommandBoxControl command(&combo);
  combo.setEditText(QString::fromUtf8("\u00e9\u00a4\u20ac"));
  EXPECT_EQ(command.caption(), MakeBytes({0xE9, 0xA4, '?'}));
}

// By code or by the operator, a check box, a button-style toggle and an option button raise
// onClick once for each change of value (an option button only when it becomes selected).
// clang-format off
TEST(QtCheckControl, RaisesOnClickOncePerChange) {
  struct Row {
    const char* name;
    std::function<QAbstractButton*(QWidget*)> make;
    bool reportsClearing = true;
  };
  const Row rows[] = {
      {"check box", [](QWidget* p) -> QAbstractButton* { return new QCheckBox("Buzzer", p); }},
      {"button style", [](QWidget* p) -> QAbstractButton* { auto* b = new QPushButton("LRC", p); b->setCheckable(true); return b; }},
      {"option", [](QWidget* p) -> QAbstractButton* { return new QRadioButton("9600", p); }, false},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget window;
    QAbstractButton* button = row.make(&window);
    button->setGeometry(0, 0, 80, 20);
    window.show();
    QtCheckControl control(button);
    int clicks = 0;
    control.onClick = [&] { ++clicks; };
    control.setValue(1);
    control.setValue(1);  // same value: nothing
    EXPECT_EQ(clicks, 1);
    control.setValue(0);
    EXPECT_EQ(control.value(), 0);
    const int afterClear = row.reportsClearing ? 2 : 1;
    EXPECT_EQ(clicks, afterClear);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(control.value(), 1);
    EXPECT_EQ(clicks, afterClear + 1);
  }
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
}

TEST(StatusBarPanels, PanelsShareTheBarInTheirProportions) {
  StatusBarPanels bar({StatusPanel{165, "Host Command", "Host Command"}, StatusPanel{282, "", ""},
                       StatusPanel{165, "Reader Response", "Reader Response"},
                       StatusPanel{282, "", ""}});
  bar.resize(510, 15);
  bar.show();
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
