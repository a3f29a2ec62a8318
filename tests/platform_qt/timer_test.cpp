#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_timer.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::PumpUntil;

TEST(QtTimer, RepeatsWhileEnabledAndStopsWhenDisabled) {
  QtTimer timer;
  int fired = 0;
  timer.onTimer = [&] {
    if (++fired == 3) timer.setEnabled(false);
  };
  timer.setInterval(5);
  EXPECT_FALSE(timer.running());  // an interval alone starts nothing
  timer.setEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return fired == 3; }));
  EXPECT_FALSE(timer.running());
  QTest::qWait(30);
  EXPECT_EQ(fired, 3);
}

TEST(QtTimer, IntervalZeroNeverFiresButStaysEnabled) {
  QtTimer timer;
  int fired = 0;
  timer.onTimer = [&] { ++fired; };
  timer.setEnabled(true);
  EXPECT_TRUE(timer.enabled());
  EXPECT_FALSE(timer.running());
  timer.setInterval(5);
  EXPECT_TRUE(timer.running());
  timer.setInterval(0);
  EXPECT_TRUE(timer.enabled());
  EXPECT_FALSE(timer.running());
  QTest::qWait(30);
  EXPECT_EQ(fired, 0);
}

TEST(QtTimer, EnablingAgainOrNewIntervalStartsAfresh) {
  // A long interval that is restarted before it ends never fires; measured in events, not time.
  QtTimer timer;
  int fired = 0;
  timer.onTimer = [&] { ++fired; };
  timer.setInterval(60'000);
  timer.setEnabled(true);
  timer.setEnabled(true);  // already enabled: no restart, still running
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

TEST(QtEventPump, PostRunsLaterFromTheLoopAndWaitSleepsUntilSomethingIsDue) {
  QtEventPump pump;
  std::vector<int> order;
  pump.post([&] { order.push_back(1); });
  order.push_back(0);
  pump.doEvents();
  EXPECT_EQ(order, (std::vector<int>{0, 1}));

  bool fired = false;
  QTimer::singleShot(5, [&] { fired = true; });
  while (!fired) pump.waitForEvents();  // would spin for ever if a timer could not wake it
  EXPECT_TRUE(fired);
}

TEST(QtShell, BoxHookReplacesTheModalBox) {
  QtShell shell;
  std::vector<std::string> seen;
  shell.setBoxHook([&](const std::string& text, const std::string& title, MsgIcon icon) {
    seen.push_back(title + "|" + text + (icon == MsgIcon::Critical ? "|critical" : "|info"));
  });
  shell.messageBox("Communication Error!\r\nPlease check the settings.", "Warning",
                   MsgIcon::Critical);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "Warning|Communication Error!\r\nPlease check the settings.|critical");
}

TEST(QtShell, RealBoxIsModalAndReturnsWhenDismissed) {
  QtShell shell;
  QString shownText;
  // Events keep flowing while the box is open: this timer finds it and presses OK.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shownText = box->windowTitle() + "|" + box->text();
      QTest::keyClick(box, Qt::Key_Enter);
    }
  });
  poll.start(5);
  shell.messageBox("Communication Error!\r\nPlease check the settings.", "Warning",
                   MsgIcon::Critical);
  EXPECT_EQ(shownText, "Warning|Communication Error!\nPlease check the settings.");
}

struct Ended {
  int status;
};

TEST(QtShell, EndHookRunsBeforeTheProcessEnds) {
  QtShell shell;
  shell.setEndHook([](int status) { throw Ended{status}; });
  try {
    shell.endProgram(3);
    FAIL() << "endProgram returned";
  } catch (const Ended& ended) {
    EXPECT_EQ(ended.status, 3);
  }
}

TEST(QtShellDeathTest, EndProgramEndsAtOnceWithTheStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        QtShell shell;
        shell.endProgram(7);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace tkr::platform::qt
