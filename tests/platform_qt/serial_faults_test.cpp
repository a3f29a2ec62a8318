// The serial port under faults of the line: a descriptor swapped under the port for one that
// fails the way a sick device does, and the reader unplugged in every state of the console.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cstdlib>
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

// A terminal whose far end has hung up: every read and write fails with EIO.
int HungUpTerminal() {
  test::Pty pty;
  const int slave = pty.openSlave();
  pty.slave = -1;  // kept; the master closes
  return slave;
}

// Faults of a device that is still there: its descriptor is swapped under the port.
TEST(SerialFaults, LineFaultsOnAPresentDevice) {
  struct Row {
    const char* name;
    bool hungUp;  // else a socket, which is no terminal and refuses line settings
    bool write;   // the console writes after the swap
    bool lost;    // the port reports the device lost and closes
  };
  const Row rows[] = {
      {"EIO on read", true, false, true},
      {"EIO on write", true, true, true},
      {"settings refused while open", false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::Pty pty;
    ASSERT_GE(pty.openSlave(), 0);
    PortMap map;
    map.assign(1, pty.path);
    QtSerialPort port(map);
    std::vector<int> events;
    port.onComm = [&] { events.push_back(port.commEvent()); };
    int errors = 0;
    QObject::connect(&port.serialPort(), &QSerialPort::errorOccurred, [&] { ++errors; });
    ASSERT_TRUE(port.setPortOpen(true));
    int other[2] = {-1, -1};
    if (row.hungUp) {
      other[0] = HungUpTerminal();
    } else {
      ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, other), 0);
    }
    ASSERT_EQ(dup2(other[0], port.serialPort().handle()), port.serialPort().handle());
    if (!row.hungUp) {
      port.setHandshaking(comRTS);
      port.setSettings("19200,e,7,1");
    }
    if (row.write) port.output("9");
    QTest::qWait(100);
    // A failing read that is not acted upon comes back from every turn of the loop.
    EXPECT_LT(errors, 20);
    EXPECT_EQ(port.portOpen(), !row.lost);
    EXPECT_EQ(std::count(events.begin(), events.end(), int(comEventDeviceLost)), row.lost ? 1 : 0);
    port.output("9");  // after a loss: nothing to write to, and no crash
    EXPECT_TRUE(port.setPortOpen(false));  // no close error for a lost device
    for (int fd : other) ::close(fd);

    ASSERT_TRUE(port.setPortOpen(true));  // the same device opens again and carries bytes
    ASSERT_TRUE(pty.write("Z"));
    ASSERT_TRUE(PumpUntil([&] { return port.inBufferCount() == 1; }));
    EXPECT_EQ(port.input(), "Z");
  }
}

// A driver that takes a long write in parts (the far end is not reading): the rest follows as
// room appears, in order, and nothing waits on it.
TEST(SerialFaults, PartialWritesArriveWhole) {
  test::Pty pty;
  PortMap map;
  map.assign(1, pty.path);
  QtSerialPort port(map);
  ASSERT_TRUE(port.setPortOpen(true));
  Bytes sent;
  for (int i = 0; i < 64 * 1024; ++i) sent.push_back(static_cast<char>('A' + i % 26));
  port.output(sent);
  Bytes got;
  ASSERT_TRUE(PumpUntil([&] { return (got += pty.drain()).size() >= sent.size(); }));
  EXPECT_EQ(got, sent);
}

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
TEST(SerialFaults, DeviceVanishesInEveryStateAndAutoCommRecovers) {
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
