#include <gtest/gtest.h>

#include <algorithm>

#include "platform/qt/qt_timer.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::PumpUntil;

// Counted in events, never in time: a 60 s interval must not fire within the test.
TEST(QtTimer, IntervalZeroStopsItAndEnablingOrANewIntervalStartsAfresh) {
  QtTimer timer;
  int fired = 0;
  timer.onTimer = [&] { ++fired; };
  timer.setEnabled(true);
  EXPECT_FALSE(timer.running());  // interval 0: enabled, but never fires
  timer.setInterval(60'000);
  EXPECT_TRUE(timer.running());
  timer.setInterval(0);
  EXPECT_TRUE(timer.enabled());
  EXPECT_FALSE(timer.running());
  timer.setInterval(60'000);
  timer.setEnabled(true);  // already enabled: still running
  EXPECT_TRUE(timer.running());
  timer.setEnabled(false);
  timer.setInterval(5);  // disabled: stored only
  EXPECT_FALSE(timer.running());
  timer.setEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return fired > 0; }));
  timer.setInterval(60'000);  // restarts with the new interval
  const int before = fired;
  QTest::qWait(30);
  EXPECT_EQ(fired, before);
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

}  // namespace
}  // namespace tkr::platform::qt
