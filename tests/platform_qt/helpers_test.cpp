// The Qt controls' own conversions, the timers and the resizer; the controls' clicks and texts
// and the status bar are exercised through the main window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <algorithm>

#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/resizer.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::PumpUntil;

// Every byte shows as one CP437 glyph in each kind of text box and comes back as it was.
TEST(QtTextControl, EveryByteShowsAsOneGlyphInEveryWidgetKindAndComesBack) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  QLineEdit line;
  QPlainTextEdit plain;
  QComboBox combo;
  combo.setEditable(true);
  QtTextControl controls[] = {QtTextControl(&line), QtTextControl(&plain), QtTextControl(&combo)};
  for (auto& control : controls) {
    control.setCaption(all);
    EXPECT_EQ(control.caption(), all) << control.widget()->metaObject()->className();
  }
  // The command box sends what is typed by Latin-1 value: "é" goes out as 0xE9, not as the
  // CP437 byte 0x82; a character with no Latin-1 value as '?'.
  QtCommandBoxControl command(&combo);
  combo.setEditText(QString::fromUtf8("\u00e9\u00a4\u20ac"));
  EXPECT_EQ(command.caption(), MakeBytes({0xE9, 0xA4, '?'}));
}

// CR and LF may come in separate pieces; the display loses the same lines as the text.
TEST(QtLogControl, RemovesLeadingLinesFromTheTextAndTheDisplayAlike) {
  QPlainTextEdit edit;
  QtLogControl log(&edit);
  for (const char* piece : {"PC-->MSR\r\n39h ", "\r", "\n", "\xff"}) log.append(piece);
  log.removeLeadingLines(1);
  EXPECT_EQ(log.text(), "39h \r\n\xff");
  EXPECT_EQ(edit.document()->firstBlock().text(), "39h ");
  log.removeLeadingLines(5);  // more lines than there are: everything goes
  EXPECT_EQ(edit.document()->toRawText(), "");
}

// Interval 0 stops the timer though it stays enabled; a disabled timer only stores its interval.
TEST(QtTimer, IntervalZeroStopsItAndADisabledTimerOnlyStoresTheInterval) {
  QtTimer timer;
  timer.setEnabled(true);
  EXPECT_FALSE(timer.running());
  timer.setInterval(60'000);
  EXPECT_TRUE(timer.running());
  timer.setInterval(0);
  EXPECT_FALSE(timer.running());
  timer.setEnabled(false);
  timer.setInterval(60'000);
  EXPECT_FALSE(timer.running());
  timer.setEnabled(true);
  EXPECT_TRUE(timer.running());
}

TEST(QtTimer, HandlerThatPumpsIsNotReenteredByItsOwnTimer) {
  // The quiet-time handler pumps events; Qt holds back the same timer while its handler runs,
  // and it fires again once the handler has returned.
  QtTimer timer;
  int depth = 0, deepest = 0, fired = 0;
  timer.onTimer = [&] {
    deepest = std::max(deepest, ++depth);
    if (++fired == 1) QTest::qWait(30);
    if (fired == 2) timer.setEnabled(false);
    --depth;
  };
  timer.setInterval(2);
  timer.setEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return fired == 2; }));
  EXPECT_EQ(deepest, 1);
}

// A window with a frame that holds a label, as the main window's frames hold their controls;
// every size is scaled from the geometry and font each widget had when it was bound.
TEST(Resizer, ScalesEachAxisAndFontsByTheSmallerRatioAndSkipsDeletedChildren) {
  QWidget window;
  auto* frame = new QWidget(&window);
  auto* label = new QLabel("Buzzer", frame);
  auto* gone = new QLabel("gone", &window);
  window.resize(400, 200);
  frame->setGeometry(10, 20, 200, 100);
  label->setGeometry(5, 10, 50, 20);
  QFont font = label->font();
  font.setPointSizeF(7.5);
  label->setFont(font);
  Resizer outer, inner;
  outer.bind(&window);
  inner.bind(frame);
  delete gone;                                                   // bound, then deleted
  for (const QSize size : {QSize(800, 400), QSize(200, 150)}) {  // the last: 1/2 wide, 3/4 high
    window.resize(size);
    outer.apply();
    inner.apply();
  }
  EXPECT_EQ(frame->geometry(), QRect(5, 15, 100, 75));
  EXPECT_EQ(label->geometry(), QRect(3, 8, 25, 15));  // edges 2.5 and 7.5 round up
  EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 3.75);
}

}  // namespace
}  // namespace tkr::platform::qt
