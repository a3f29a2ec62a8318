#include "platform/qt/port_map.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <set>

#include "platform/qt/qt_serial_port.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

TEST(ParsePortOption, AcceptsOrExplains) {
  struct Row { const char* name; const char* text; int port; const char* device; };  // port 0: an error with this word
  const Row rows[] = {
      {"plain", "COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
      {"highest, lower case", "com16=/dev/ttyS0", 16, "/dev/ttyS0"},
      {"equals sign in the device", "COM2=/dev/serial/by-path/x=y", 2, "/dev/serial/by-path/x=y"},
      {"above 16", "COM17=/dev/x", 0, "out of range"},
      {"no equals sign", "COM1", 0, "COMn=DEVICE"},
      {"no number", "COM=/dev/x", 0, "COMn"},
      {"too many digits", "COM001=/dev/y", 0, "COMn"},
      {"no device", "COM4=", 0, "no device"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = ParsePortOption(row.text);
    if (row.port == 0) {
      EXPECT_FALSE(result.option);
      EXPECT_NE(result.error.find(row.device), std::string::npos) << result.error;
    } else {
      ASSERT_TRUE(result.option) << result.error;
      EXPECT_EQ(result.option->port, row.port);
      EXPECT_EQ(result.option->device, row.device);
    }
  }
}

TEST(OrderPortNames, UsbFirstThenNaturalOrder) {
  struct Row { const char* name; std::vector<std::string> in, out; };
  const Row rows[] = {
      {"natural numbers", {"ttyS10", "ttyS2", "ttyS1"}, {"ttyS1", "ttyS2", "ttyS10"}},
      {"USB before built-in", {"ttyS0", "ttyACM0", "ttyUSB1", "ttyUSB0"}, {"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyS0"}},
      {"paths by their last component", {"/dev/ttyS3", "/dev/ttyUSB10", "/dev/ttyUSB9"}, {"/dev/ttyUSB9", "/dev/ttyUSB10", "/dev/ttyS3"}},
      {"Mac adapters", {"cu.Bluetooth", "cu.usbserial-2"}, {"cu.usbserial-2", "cu.Bluetooth"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(OrderPortNames(row.in), row.out);
  }
}

TEST(PortMap, OptionsFirstThenSystemPortsOnFreeNumbersUpToCom16) {
  PortMap map;
  ASSERT_TRUE(map.assign(2, "/dev/ttyS0"));
  EXPECT_FALSE(map.assign(17, "/dev/x"));
  std::vector<SystemPort> ports;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "ttyS" + std::to_string(i);
    ports.push_back({name, "/dev/" + name, "", std::nullopt, std::nullopt, ""});
  }
  ports.push_back({"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", 0x0403, 0x6001, "FTDI"});
  map.fill(ports);
  EXPECT_EQ(map.deviceFor(1), "/dev/ttyUSB0");
  EXPECT_EQ(map.deviceFor(2), "/dev/ttyS0");  // named by an option, not given out twice
  EXPECT_EQ(map.deviceFor(3), "/dev/ttyS1");
  EXPECT_EQ(map.deviceFor(16), "/dev/ttyS14");
  EXPECT_EQ(map.deviceFor(17), std::nullopt);
  EXPECT_EQ(map.describe(1), "/dev/ttyUSB0 - FT232R USB UART, USB 0403:6001");
}

// "COM1=ttyUSB0 COM3=ttyS0": the numbers that have a device, by the device's last name.
std::string Mapped(const PortMap& map) {
  std::string out;
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    if (const auto device = map.deviceFor(n)) {
      out += (out.empty() ? "COM" : " COM") + std::to_string(n) + "=" +
             QFileInfo(QString::fromStdString(*device)).fileName().toStdString();
    }
  }
  return out;
}

#ifndef _WIN32
// Devices come and go while the console runs. Each is a link in a folder to a pseudo-terminal,
// as udev's names are; the lister reports the step's devices, and "reader" (named with
// --port COM2) is udev's second name for ttyUSB1 while that is plugged in.
TEST(PortMap, HotPlugGivesFreeNumbersAndNeverMovesOne) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  const std::string names[] = {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyACM0"};
  test::Pty ptys[std::size(names)];
  std::set<std::string> present;
  const PortLister lister = [&] {
    std::vector<SystemPort> ports;
    for (const auto& name : present) ports.push_back({name, base + name, "", {}, {}, ""});
    return ports;
  };
  const auto link = [&](const std::string& target, const std::string& name, bool there) {
    unlink((base + name).c_str());
    ASSERT_TRUE(!there || symlink(target.c_str(), (base + name).c_str()) == 0);
  };
  const auto plug = [&](const std::set<std::string>& devices) {
    present = devices;
    for (std::size_t i = 0; i < std::size(names); ++i)
      link(ptys[i].path, names[i], present.count(names[i]));
    link(base + "ttyUSB1", "reader", present.count("ttyUSB1"));
  };

  struct Row { const char* name; std::set<std::string> present; const char* mapped; };
  const char* const kFour = "COM1=ttyUSB0 COM2=reader COM3=ttyS0 COM4=ttyACM0";
  const char* const kFive = "COM1=ttyUSB0 COM2=reader COM3=ttyS0 COM4=ttyACM0 COM5=ttyUSB2";
  const Row rows[] = {
      {"start-up: the option, USB adapters, the rest", {"ttyS0", "ttyUSB0"}, "COM1=ttyUSB0 COM2=reader COM3=ttyS0"},
      {"plugged in: the lowest free number, whatever its name", {"ttyS0", "ttyUSB0", "ttyACM0"}, kFour},
      {"unplugged: the number stays its own", {"ttyS0", "ttyUSB0"}, kFour},
      {"another one meanwhile takes the next", {"ttyS0", "ttyUSB0", "ttyUSB2"}, kFive},
      {"back under its name: the old number", {"ttyS0", "ttyUSB0", "ttyUSB2", "ttyACM0"}, kFive},
      {"the --port device plugged in: no second number", {"ttyS0", "ttyUSB0", "ttyUSB2", "ttyACM0", "ttyUSB1"}, kFive},
  };
  plug(rows[0].present);
  PortMap map = PortMap::Build({{2, base + "reader"}}, lister);
  for (const auto& row : rows) {  // the first refresh finds nothing new
    SCOPED_TRACE(row.name);
    plug(row.present);
    map.refresh();
    EXPECT_EQ(Mapped(map), row.mapped);
  }
  // The number opens the device that came back, and the --port device through its link.
  QtSerialPort serial(map);
  for (int port : {4, 2}) {
    serial.setCommPort(port);
    EXPECT_TRUE(serial.setPortOpen(true)) << "COM" << port << ": " << serial.lastOpenError();
    EXPECT_TRUE(serial.setPortOpen(false));
  }
  // --no-system-ports: no lister, nothing comes in later.
  PortMap only = PortMap::Build({{2, base + "reader"}}, PortLister());
  only.refresh();
  EXPECT_EQ(Mapped(only), "COM2=reader");
}
#endif

}  // namespace
}  // namespace tkr::platform::qt
