// The serial port against a pseudo-terminal: the test holds the far end (the master side).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/qt/qt_serial_port.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::PumpUntil;

// Stop bits the device end was given; a pseudo-terminal keeps no parity or data bits.
int StopBitsOf(int master) {
  termios t{};  // asked of the master, answered for the device end
  return tcgetattr(master, &t) != 0 ? 0 : (t.c_cflag & CSTOPB) ? 2 : 1;
}

class QtSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty_.path.empty());
    PortMap map;
    map.assign(3, pty_.path);
    map.assign(4, "/dev/tkr-no-such-device");
    map.assign(5, "/dev/null");  // opens, then refuses every line setting: no terminal
    port_ = std::make_unique<QtSerialPort>(map);
    port_->onComm = [this] { events_.push_back(port_->commEvent()); };
    port_->setCommPort(3);
  }
  int count(int event) const {
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
  }

  test::Pty pty_;
  std::unique_ptr<QtSerialPort> port_;
  std::vector<int> events_;
};

TEST_F(QtSerialPortTest, OpensEverySettingsFormatAndFailsClosed) {
  // reason: what the operator is told.
  struct Row { const char* name; int commPort; const char* settings; bool opens; const char* reason = ""; };
  const Row rows[] = {
      {"9600,n,8,1", 3, "9600,n,8,1", true},
      {"1200,e,7,2", 3, "1200,e,7,2", true},
      {"2400,o,7,1", 3, "2400,o,7,1", true},
      {"4800,m,7,1", 3, "4800,m,7,1", true},
      {"19200,s,7,1", 3, "19200,s,7,1", true},
      {"number without a device", 1, "9600,n,8,1", false, "no device on this number"},
      {"device missing", 4, "9600,n,8,1", false, "no such device"},
      {"device refuses the line settings", 5, "9600,n,8,1", false,
       "Inappropriate ioctl for device"},
      {"bad parity", 3, "9600,x,8,1", false, "invalid settings \"9600,x,8,1\""},
      {"settings without fields", 3, "9600", false, "invalid settings \"9600\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    port_->setCommPort(row.commPort);
    port_->setSettings(row.settings);
    EXPECT_EQ(port_->setPortOpen(true), row.opens) << port_->lastError().toStdString();
    EXPECT_EQ(port_->portOpen(), row.opens);
    EXPECT_EQ(port_->lastError().isEmpty(), row.opens);
    EXPECT_EQ(port_->lastOpenError(), row.reason);
    if (row.opens) {
      EXPECT_EQ(StopBitsOf(pty_.master), row.settings[std::strlen(row.settings) - 1] - '0');
      // Enum values of QSerialPort::Parity, by their letter.
      const std::string settings = row.settings;
      EXPECT_EQ(port_->serialPort().parity(), int(std::string("n_eosm").find(settings[settings.find(',') + 1])));
    }
    EXPECT_TRUE(port_->setPortOpen(false));
  }
}

TEST_F(QtSerialPortTest, BytesCrossUnchangedBothWaysAndWaitForInput) {
  ASSERT_TRUE(port_->setPortOpen(true));
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  port_->output(all);
  // No event-loop turn in between: output() must have put the bytes on the line itself.
  EXPECT_EQ(pty_.read(all.size()), all);

  ASSERT_TRUE(pty_.write(all));
  ASSERT_TRUE(PumpUntil([&] { return port_->inBufferCount() == 256; }));
  EXPECT_GE(count(comEvReceive), 1);
  EXPECT_EQ(port_->input(), all);  // the receive event left them waiting until asked for
  EXPECT_EQ(port_->inBufferCount(), 0);

  // More than the driver takes at once: the rest is written as the line drains.
  Bytes sent;
  for (int i = 0; i < 64 * 1024; ++i) sent.push_back(static_cast<char>('A' + i % 26));
  port_->output(sent);
  Bytes got;
  ASSERT_TRUE(PumpUntil([&] { return (got += pty_.drain()).size() >= sent.size(); }));
  EXPECT_EQ(got, sent);
}

TEST_F(QtSerialPortTest, ArrivalsDuringAPumpingHandlerAreNotLost) {
  ASSERT_TRUE(port_->setPortOpen(true));
  Bytes got;
  int depth = 0;
  port_->onComm = [&] {
    ++depth;
    got += port_->input();
    if (depth == 1 && got == "A") {
      ASSERT_TRUE(pty_.write("B"));
      QTest::qWait(20);  // the console's handler pumps events too
    }
    --depth;
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

// Faults of a device that is still there: its descriptor is swapped under the port for one
// that fails the way a sick device does.
TEST_F(QtSerialPortTest, LineFaultsOnAPresentDevice) {
  // hungUp, else a socket, which is no terminal and refuses line settings; write: the console
  // writes after the swap; lost: the port reports the device lost and closes.
  struct Row { const char* name; bool hungUp; bool write; bool lost; };
  const Row rows[] = {
      {"EIO on read", true, false, true},
      {"EIO on write", true, true, true},
      {"settings refused while open", false, true, false},
  };
  ASSERT_GE(pty_.openSlave(), 0);
  int errors = 0;
  QObject::connect(&port_->serialPort(), &QSerialPort::errorOccurred, [&] { ++errors; });
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    errors = 0;
    events_.clear();
    ASSERT_TRUE(port_->setPortOpen(true));
    int other[2] = {-1, -1};
    if (row.hungUp) other[0] = HungUpTerminal();
    else ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, other), 0);
    ASSERT_EQ(dup2(other[0], port_->serialPort().handle()), port_->serialPort().handle());
    if (!row.hungUp) {
      port_->setHandshaking(comRTS);
      port_->setSettings("19200,e,7,1");
    }
    if (row.write) port_->output("9");
    QTest::qWait(100);
    // A failing read that is not acted upon comes back from every turn of the loop.
    EXPECT_LT(errors, 20);
    EXPECT_EQ(port_->portOpen(), !row.lost);
    EXPECT_EQ(count(comEventDeviceLost), row.lost ? 1 : 0);
    port_->output("9");  // after a loss: nothing to write to, and no crash
    EXPECT_TRUE(port_->setPortOpen(false));  // no close error for a lost device
    for (int fd : other) ::close(fd);

    ASSERT_TRUE(port_->setPortOpen(true));  // the same device opens again and carries bytes
    ASSERT_TRUE(pty_.write("Z"));
    ASSERT_TRUE(PumpUntil([&] { return port_->inBufferCount() == 1; }));
    EXPECT_EQ(port_->input(), "Z");
    EXPECT_TRUE(port_->setPortOpen(false));
  }
}

// A driver that takes a long write in parts (the far end is not reading): the rest follows as
// room appears, in order, and nothing waits on it.
}  // namespace
}  // namespace tkr::platform::qt
