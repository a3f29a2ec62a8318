#include "platform/qt/resizer.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

namespace tkr::platform::qt {
namespace {

// A window with a frame that holds a label, as the main window's frames hold their controls.
struct Window {
  QWidget window;
  QWidget* frame = new QWidget(&window);
  QLabel* label = new QLabel("Buzzer", frame);
  QLabel* side = new QLabel("LRC", &window);
  Window() {
    window.resize(400, 200);
    frame->setGeometry(10, 20, 200, 100);
    label->setGeometry(5, 10, 50, 20);
    side->setGeometry(210, 20, 100, 30);
    QFont font = label->font();
    font.setPointSizeF(7.5);
    label->setFont(font);
  }
};

TEST(Resizer, DoublingTheContainerDoublesTheChildren) {
  Window w;
  Resizer outer, inner;
  outer.bind(&w.window);
  inner.bind(w.frame);
  w.window.resize(800, 400);
  outer.apply();
  inner.apply();
  EXPECT_EQ(w.frame->geometry(), QRect(20, 40, 400, 200));
  EXPECT_EQ(w.side->geometry(), QRect(420, 40, 200, 60));
  EXPECT_EQ(w.label->geometry(), QRect(10, 20, 100, 40));
  EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 15.0);
}

TEST(Resizer, ShrinkingScalesEachAxisAndFontsByTheSmallerRatio) {
  Window w;
  Resizer outer;
  const qreal sidePoints = w.side->font().pointSizeF();
  outer.bind(&w.window);
  w.window.resize(200, 150);  // half as wide, three quarters as high
  outer.apply();
  EXPECT_DOUBLE_EQ(w.side->font().pointSizeF(), sidePoints / 2);
  EXPECT_EQ(w.frame->geometry(), QRect(5, 15, 100, 75));
  EXPECT_EQ(w.side->geometry(), QRect(105, 15, 50, 23));  // edges 15 and 37.5 -> 38
}

TEST(Resizer, BindingOrderDoesNotMatter) {
  Window a, b;
  Resizer outerA, innerA, outerB, innerB;
  outerA.bind(&a.window);
  innerA.bind(a.frame);
  innerB.bind(b.frame);  // frame first, then the window
  outerB.bind(&b.window);
  for (Window* w : {&a, &b}) w->window.resize(600, 300);
  outerA.apply();
  innerA.apply();
  outerB.apply();
  innerB.apply();
  EXPECT_EQ(a.label->geometry(), b.label->geometry());
  EXPECT_EQ(a.frame->geometry(), b.frame->geometry());
  EXPECT_EQ(a.label->geometry(), QRect(8, 15, 75, 30));
}

TEST(Resizer, ApplyingTwiceChangesNothingAndResizeIsReported) {
  Window w;
  Resizer outer;
  outer.bind(&w.window);
  int reported = 0;
  outer.onResized = [&] { ++reported; };
  w.window.show();
  w.window.resize(500, 300);
  outer.apply();
  const QRect once = w.frame->geometry();
  outer.apply();
  EXPECT_EQ(w.frame->geometry(), once);
  EXPECT_GE(reported, 1);
}

TEST(Resizer, ChildDeletedAfterBindingIsSkipped) {
  Window w;
  Resizer outer;
  outer.bind(&w.window);
  delete w.side;
  w.window.resize(800, 400);
  outer.apply();
  EXPECT_EQ(w.frame->geometry(), QRect(20, 40, 400, 200));
}

}  // namespace
}  // namespace tkr::platform::qt
