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

// Every size is scaled from the geometry and font each widget had when it was bound.
TEST(Resizer, ScalesEachAxisAndFontsByTheSmallerRatioAndSkipsDeletedChildren) {
  Window w;
  auto* gone = new QLabel("gone", &w.window);
  const qreal sidePoints = w.side->font().pointSizeF();
  Resizer outer, inner;
  outer.bind(&w.window);
  inner.bind(w.frame);
  delete gone;  // bound, then deleted
  const auto resize = [&](int width, int height) {
    w.window.resize(width, height);
    outer.apply();
    inner.apply();
  };
  resize(800, 400);
  EXPECT_EQ(w.frame->geometry(), QRect(20, 40, 400, 200));
  EXPECT_EQ(w.side->geometry(), QRect(420, 40, 200, 60));
  EXPECT_EQ(w.label->geometry(), QRect(10, 20, 100, 40));
  EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 15.0);

  resize(200, 150);  // half as wide, three quarters as high
  EXPECT_EQ(w.frame->geometry(), QRect(5, 15, 100, 75));
  EXPECT_EQ(w.side->geometry(), QRect(105, 15, 50, 23));  // edges 15 and 37.5 -> 38
  EXPECT_DOUBLE_EQ(w.side->font().pointSizeF(), sidePoints / 2);
  EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 3.75);
}

}  // namespace
}  // namespace tkr::platform::qt
