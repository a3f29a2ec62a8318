// The serial port against a pseudo-terminal: the test holds the far end (the master side).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/qt/qt_serial_port.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::PumpUntil;

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~Pty() { close(); }
  bool ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }
  void close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void write(const Bytes& data) {
    ASSERT_EQ(::write(master_, data.data(), data.size()), ssize_t(data.size()));
  }
  // What the port wrote, without running the Qt event loop.
  Bytes read(std::size_t count) {
    Bytes out;
    while (out.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) break;
      char buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string path_;
};

Bytes AllBytes() {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

class QtSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    PortMap map;
    map.assign(3, pty_.path());
    map.assign(4, "/dev/tkr-no-such-device");
    port_ = std::make_unique<QtSerialPort>(map);
    port_->onComm = [this] { events_.push_back(port_->commEvent()); };
    port_->setCommPort(3);
  }
  int count(int event) const {
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
  }

  Pty pty_;
  std::unique_ptr<QtSerialPort> port_;
  std::vector<int> events_;
};

TEST_F(QtSerialPortTest, OpenFailuresLeaveThePortClosed) {
  struct Row {
    const char* name;
    int commPort;
    const char* settings;
  };
  const Row rows[] = {
      {"NumberWithoutDevice", 1, "9600,n,8,1"},
      {"DeviceMissing", 4, "9600,n,8,1"},
      {"BadSettings", 3, "9600,x,8,1"},
      {"SettingsWithoutFields", 3, "9600"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    port_->setCommPort(row.commPort);
    port_->setSettings(row.settings);
    EXPECT_FALSE(port_->setPortOpen(true));
    EXPECT_FALSE(port_->portOpen());
    EXPECT_FALSE(port_->lastError().isEmpty());
  }
}

TEST_F(QtSerialPortTest, EverySettingsFormatOpens) {
  for (const char* settings :
       {"9600,n,8,1", "1200,e,7,1", "2400,o,7,1", "4800,m,7,1", "19200,s,7,1"}) {
    SCOPED_TRACE(settings);
    port_->setSettings(settings);
    ASSERT_TRUE(port_->setPortOpen(true)) << port_->lastError().toStdString();
    EXPECT_TRUE(port_->portOpen());
    EXPECT_TRUE(port_->setPortOpen(false));
    EXPECT_FALSE(port_->portOpen());
  }
}

TEST_F(QtSerialPortTest, BytesCrossUnchangedBothWays) {
  ASSERT_TRUE(port_->setPortOpen(true));
  const Bytes all = AllBytes();

  port_->output(all);
  // No event-loop turn in between: output() must have put the bytes on the line itself.
  EXPECT_EQ(pty_.read(all.size()), all);

  pty_.write(all);
  Bytes got;
  ASSERT_TRUE(PumpUntil([&] {
    if (port_->inBufferCount() > 0) got += port_->input();
    return got.size() >= all.size();
  }));
  EXPECT_EQ(got, all);
  EXPECT_GE(count(comEvReceive), 1);
  EXPECT_EQ(port_->inBufferCount(), 0);
}

TEST_F(QtSerialPortTest, ReceiveEventLeavesTheBytesWaitingUntilInput) {
  ASSERT_TRUE(port_->setPortOpen(true));
  int seenWaiting = 0;
  port_->onComm = [&] {
    events_.push_back(port_->commEvent());
    seenWaiting = port_->inBufferCount();
  };
  pty_.write("9\r");
  ASSERT_TRUE(PumpUntil([&] { return port_->inBufferCount() == 2; }));
  EXPECT_EQ(events_.back(), comEvReceive);
  EXPECT_GT(seenWaiting, 0);
  EXPECT_EQ(port_->input(), "9\r");
  EXPECT_EQ(port_->input(), "");

  pty_.write("ABC");
  ASSERT_TRUE(PumpUntil([&] { return port_->inBufferCount() == 3; }));
  port_->discardInput();
  EXPECT_EQ(port_->inBufferCount(), 0);
  EXPECT_EQ(port_->input(), "");
}

TEST_F(QtSerialPortTest, ArrivalsDuringAPumpingHandlerAreNotLost) {
  ASSERT_TRUE(port_->setPortOpen(true));
  Bytes got;
  int depth = 0;
  port_->onComm = [&] {
    ++depth;
    got += port_->input();
    if (depth == 1 && got == "A") {
      pty_.write("B");
      QTest::qWait(20);  // the console's handler pumps events too
    }
    --depth;
  };
  pty_.write("A");
  ASSERT_TRUE(PumpUntil([&] { return got == "AB"; })) << got;
}

TEST_F(QtSerialPortTest, HandshakingAppliesToTheOpenPort) {
  ASSERT_TRUE(port_->setPortOpen(true));
  port_->setHandshaking(comRTS);
  EXPECT_EQ(port_->handshaking(), comRTS);
  EXPECT_EQ(port_->serialPort().flowControl(), QSerialPort::HardwareControl);
  termios tio{};
  ASSERT_EQ(tcgetattr(port_->serialPort().handle(), &tio), 0);
  EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
  port_->setHandshaking(comNone);
  ASSERT_EQ(tcgetattr(port_->serialPort().handle(), &tio), 0);
  EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
}

TEST_F(QtSerialPortTest, VanishedDeviceClosesThePortAndReportsIt) {
  ASSERT_TRUE(port_->setPortOpen(true));
  pty_.close();
  ASSERT_TRUE(PumpUntil([&] { return count(comEventDeviceLost) > 0; }));
  EXPECT_EQ(count(comEventDeviceLost), 1);
  EXPECT_FALSE(port_->portOpen());
  port_->output("9");  // nothing to write to, and no crash
  EXPECT_EQ(port_->input(), "");
  EXPECT_TRUE(port_->setPortOpen(false));  // no close error for a lost device

  // A new device on the same number opens again.
  Pty next;
  ASSERT_TRUE(next.ok());
  PortMap map;
  map.assign(3, next.path());
  port_->setPortMap(map);
  ASSERT_TRUE(port_->setPortOpen(true));
  next.write("Z");
  ASSERT_TRUE(PumpUntil([&] { return port_->inBufferCount() == 1; }));
  EXPECT_EQ(port_->input(), "Z");
}

TEST_F(QtSerialPortTest, ClosingRightAfterTheDeviceVanishedIsNoError) {
  ASSERT_TRUE(port_->setPortOpen(true));
  pty_.close();
  EXPECT_TRUE(port_->setPortOpen(false));  // before the loss has even been noticed
  EXPECT_FALSE(port_->portOpen());
  QTest::qWait(20);
  EXPECT_EQ(count(comEventDeviceLost), 0);  // closed by the console: nothing left to report
}

}  // namespace
}  // namespace tkr::platform::qt
