// The serial port against a pseudo-terminal: the test holds the far end (the master side),
// or the simulated reader does, for the console on the real port.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
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

class QtSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PortMap map;
    map.assign(3, pty_.path);
    map.assign(4, "/dev/tkr-no-such-device");
    map.assign(5, "/dev/null");  // opens, then refuses every line setting: no terminal
    port_ = std::make_unique<QtSerialPort>(map);
    port_->onComm = [this] { events_.push_back(port_->commEvent()); };
    port_->setCommPort(3);
  }

  test::Pty pty_;
  std::unique_ptr<QtSerialPort> port_;
  std::vector<int> events_;
};

TEST_F(QtSerialPortTest, OpensEverySettingsFormatAndFailsClosed) {
  // reason: what the operator is told (that of a number with no device: the probe's test).
  struct Row {
    int commPort;
    const char* settings;
    bool opens;
    const char* reason = "";
  };
  const Row rows[] = {
      {3, "9600,n,8,1", true},
      {3, "1200,e,7,2", true},
      {3, "2400,o,7,1", true},
      {3, "4800,m,7,1", true},
      {3, "19200,s,7,1", true},
      {4, "9600,n,8,1", false, "no such device"},
      {5, "9600,n,8,1", false, "Inappropriate ioctl for device"},  // refuses the line settings
      {3, "9600,x,8,1", false, "invalid settings \"9600,x,8,1\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "COM" << row.commPort << " " << row.settings);
    port_->setCommPort(row.commPort);
    port_->setSettings(row.settings);
    EXPECT_EQ(port_->setPortOpen(true), row.opens) << port_->lastError().toStdString();
    EXPECT_EQ(port_->portOpen(), row.opens);
    EXPECT_EQ(port_->lastOpenError(), row.reason);
    if (row.opens) {
      const std::string s = row.settings;
      // The stop bits the device end was given, asked of the master; a pseudo-terminal keeps no
      // parity or data bits.
      termios t{};
      ASSERT_EQ(tcgetattr(pty_.master, &t), 0);
      EXPECT_EQ(t.c_cflag & CSTOPB ? 2 : 1, s.back() - '0');
      // QSerialPort::Parity's value is the letter's place in "n_eosm".
      EXPECT_EQ(port_->serialPort().parity(), int(std::string("n_eosm").find(s[s.find(',') + 1])));
    }
    EXPECT_TRUE(port_->setPortOpen(false));
  }
}

// More than the driver takes at once, in every byte value: what it takes is on the line with no
// event-loop turn, and the rest follows in order as the line drains.
TEST_F(QtSerialPortTest, BytesCrossUnchangedAndALongWriteFollowsAsTheLineDrains) {
  ASSERT_TRUE(port_->setPortOpen(true));
  Bytes sent;
  for (int i = 0; i < 64 * 1024; ++i) sent.push_back(static_cast<char>(i));
  port_->output(sent);
  Bytes got = pty_.read(256);
  EXPECT_GE(got.size(), 256u);
  ASSERT_TRUE(PumpUntil([&] { return (got += pty_.drain()).size() >= sent.size(); }));
  EXPECT_EQ(got, sent);
}

// The console's handler pumps events too: what arrives meanwhile is not lost.
TEST_F(QtSerialPortTest, ArrivalsDuringAPumpingHandlerAreNotLost) {
  ASSERT_TRUE(port_->setPortOpen(true));
  Bytes got;
  bool wrote = false;
  port_->onComm = [&] {
    got += port_->input();
    if (wrote || got != "A") return;
    wrote = true;
    ASSERT_TRUE(pty_.write("B"));
    QTest::qWait(20);
  };
  ASSERT_TRUE(pty_.write("A"));
  ASSERT_TRUE(PumpUntil([&] { return got == "AB"; })) << got;
}

// A terminal whose far end has hung up: every read and write fails with EIO.
int HungUpTerminal() {
  test::Pty pty;
  const int slave = pty.openSlave();
  pty.slave = -1;  // kept; the master closes
  return slave;
}

// Faults of a device that is still there: its descriptor is swapped under the port for a
// hung-up terminal, whose every read and write fails with EIO (the port reports the device lost
// and closes), or for a socket, which is no terminal and refuses the settings while open.
TEST_F(QtSerialPortTest, LineFaultsOnAPresentDevice) {
  struct Row {
    const char* name;
    bool hungUp;
    bool write;
  };  // write: the console writes after
  const Row rows[] = {
      {"EIO on read", true, false},
      {"EIO on write", true, true},
      {"settings refused while open", false, true},
  };
  ASSERT_GE(pty_.openSlave(), 0);
  int errors = 0;
  QObject counting;  // disconnects as the test ends: the port closes again as it goes
  QObject::connect(&port_->serialPort(), &QSerialPort::errorOccurred, &counting, [&] { ++errors; });
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    errors = 0;
    events_.clear();
    ASSERT_TRUE(port_->setPortOpen(true));
    int other[2] = {-1, -1};
    if (row.hungUp)
      other[0] = HungUpTerminal();
    else
      ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, other), 0);
    ASSERT_EQ(dup2(other[0], port_->serialPort().handle()), port_->serialPort().handle());
    if (!row.hungUp) {
      port_->setHandshaking(comRTS);
      port_->setSettings("19200,e,7,1");
    }
    if (row.write) port_->output("9");
    // The hung-up terminal ends in its device-lost report, the socket in the refusal; then
    // more loop turns bring nothing more: a failing read not acted upon would come back from
    // every one.
    ASSERT_TRUE(PumpUntil([&] {
      return row.hungUp ? std::count(events_.begin(), events_.end(), comEventDeviceLost) > 0
                        : errors > 0;
    }));
    for (int turn = 0; turn < 50; ++turn) QCoreApplication::processEvents();
    EXPECT_LT(errors, 20);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), comEventDeviceLost), row.hungUp ? 1 : 0);
    EXPECT_EQ(port_->portOpen(), !row.hungUp);
    port_->output("9");                      // after a loss: nothing to write to, and no crash
    EXPECT_TRUE(port_->setPortOpen(false));  // no close error for a lost device
    for (int fd : other) ::close(fd);
  }
}

// Module1 on the real serial port, Qt timers and pump, against the simulated reader on a
// pseudo-terminal; the message boxes are only counted.
struct QtConsole {
  QtConsole() {
    forms.onLoad[FormId::Detecting] = [this] { module.DetectingForm_Load(&detecting); };
    forms.onUnload[FormId::Detecting] = [this] { module.DetectingForm_Unloaded(); };
  }
  bool found() { return serial.portOpen() && w.FWLabel.caption().starts_with("TKR510"); }
  // Runs an operator action from the event loop, as a click would, until it has ended.
  bool run(const std::function<void()>& action) {
    bool done = false;
    QTimer::singleShot(0, [&] {
      action();
      done = true;
    });
    return PumpUntil([&] { return done && !module.ExchangeActive(); }, 15000);
  }

  sim::PtyReader reader;
  QtSerialPort serial{PortMap::Build({{1, reader.path()}}, PortLister())};
  QtTimer timer1, timer2, timer3;
  QtEventPump pump;
  platform::fake::FakeLoop loop;  // only stamps the boxes
  platform::fake::FakeShell shell{loop};
  FakeForms forms;
  testing::FakeMainWindow w;
  link::DetectingView detecting = w.detectingView();
  link::Platform platform{serial, timer1, timer2, timer3, pump, shell, forms};
  link::Module1 module{Edition::Current, platform, w.view()};
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
      {"reply wait", [](QtConsole& c) { c.module.ToggleClicked(link::Toggle::Buzzer); },
       [](QtConsole& c) { return c.module.ExchangeActive(); }},
      {"detection", [](QtConsole& c) { c.module.RestartCommandButton_Click(); },
       [](QtConsole& c) { return c.forms.loaded(FormId::Detecting) && c.module.AwaitingReply; }},
      {"card-data fetch", [](QtConsole& c) { c.reader.swipe(sim::SampleCards().front()); },
       [](QtConsole& c) { return c.module.FetchingCardData; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QtConsole c;
    ASSERT_TRUE(c.run([&] { c.module.Form_Load([] {}); }));
    ASSERT_TRUE(c.found());
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (!row.when(c)) return;
      watch.stop();
      c.reader.unplug();
    });
    watch.start(1);
    ASSERT_TRUE(c.run([&] { row.action(c); }));
    ASSERT_TRUE(PumpUntil([&] { return !c.reader.plugged() && !c.serial.portOpen(); }));
    ASSERT_TRUE(c.run([] {}));  // whatever the loss set going has ended
    EXPECT_LE(c.shell.boxes.size(), 1u);
    c.shell.boxes.clear();

    c.reader.replug();
    ASSERT_TRUE(c.run([&] { c.module.RestartCommandButton_Click(); }));
    EXPECT_TRUE(c.found());
    EXPECT_EQ(c.shell.boxes.size(), 0u);
  }
}

}  // namespace
}  // namespace tkr::platform::qt
