// The reader unplugged in every state of the console, on the real serial port.
#include <gtest/gtest.h>

#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>

#include "core/link/module1.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer.h"
#include "qt_test_util.h"
#include "sim/pty_reader.h"
#include "tests/support/fake_console.h"

namespace tkr::platform::qt {
namespace {

using platform::fake::FakeForms;
using test::PumpUntil;

// Module1 on the real serial port, Qt timers and pump, against the simulated reader on a
// pseudo-terminal; the message boxes are only counted.
struct CountingShell : Shell {
  void messageBox(const std::string& text, const std::string&, MsgIcon) override {
    texts.push_back(text);
  }
  [[noreturn]] void endProgram(int) override { std::abort(); }
  std::vector<std::string> texts;
};

struct QtConsole {
  QtConsole() : detecting(w.detectingView()) {
    PortMap map;
    map.assign(1, reader.path());
    serial = std::make_unique<QtSerialPort>(map);
    module = std::make_unique<link::Module1>(
        Edition::Current, link::Platform{*serial, timer1, timer2, timer3, pump, shell, forms},
        w.view());
    w.BuzzerCheckBox.onClick = [this] { module->ToggleClicked(link::Toggle::Buzzer); };
    forms.onLoad[FormId::Detecting] = [this] { module->DetectingForm_Load(&detecting); };
    forms.onUnload[FormId::Detecting] = [this] { module->DetectingForm_Unloaded(); };
  }
  link::Module1& m() { return *module; }
  bool found() { return serial->portOpen() && w.FWLabel.caption().starts_with("TKR510"); }
  // Runs an operator action from the event loop, as a click would, until it has ended.
  bool run(const std::function<void()>& action, int limitMs = 15000) {
    bool done = false;
    QTimer::singleShot(0, [&] {
      action();
      done = true;
    });
    return PumpUntil([&] { return done && !m().ExchangeActive(); }, limitMs);
  }

  sim::PtyReader reader;
  std::unique_ptr<QtSerialPort> serial;
  QtTimer timer1, timer2, timer3;
  QtEventPump pump;
  CountingShell shell;
  FakeForms forms;
  testing::FakeMainWindow w;
  link::DetectingView detecting;
  std::unique_ptr<link::Module1> module;
};

// The device vanishes in each state of the console; at most one box for the action that was
// running, and Auto Comm finds the reader again once it is back under the same name.
TEST(DeviceLoss, DeviceVanishesInEveryStateAndAutoCommRecovers) {
  struct Row {
    const char* name;
    std::function<void(QtConsole&)> action;  // what runs while the device goes
    std::function<bool(QtConsole&)> when;    // the state it goes in
  };
  const Row rows[] = {
      {"idle", [](QtConsole&) {}, [](QtConsole&) { return true; }},
      {"reply wait", [](QtConsole& c) { c.w.BuzzerCheckBox.click(); },
       [](QtConsole& c) { return c.m().ExchangeActive(); }},
      {"detection", [](QtConsole& c) { c.m().RestartCommandButton_Click(); },
       [](QtConsole& c) { return c.forms.loaded(FormId::Detecting) && c.m().AwaitingReply; }},
      {"card-data fetch", [](QtConsole& c) { c.reader.swipe(sim::SampleCards().front()); },
       [](QtConsole& c) { return c.m().FetchingCardData; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QtConsole c;
    ASSERT_TRUE(c.run([&] { c.m().Form_Load([] {}); }));
    ASSERT_TRUE(c.found());
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (!row.when(c)) return;
      watch.stop();
      c.reader.unplug();
    });
    watch.start(1);
    ASSERT_TRUE(c.run([&] { row.action(c); }));
    ASSERT_TRUE(PumpUntil([&] { return !c.reader.plugged() && !c.serial->portOpen(); }));
    ASSERT_TRUE(c.run([] {}));  // whatever the loss set going has ended
    EXPECT_LE(c.shell.texts.size(), 1u);
    c.shell.texts.clear();

    c.reader.replug();
    ASSERT_TRUE(c.run([&] { c.m().RestartCommandButton_Click(); }));
    EXPECT_TRUE(c.found());
    EXPECT_EQ(c.shell.texts.size(), 0u);
  }
}

}  // namespace
}  // namespace tkr::platform::qt
