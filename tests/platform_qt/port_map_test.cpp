#include "platform/qt/port_map.h"

#include <gtest/gtest.h>

namespace tkr::platform::qt {
namespace {

TEST(ParsePortOption, AcceptsOrExplains) {
  struct Row {
    const char* name;
    const char* text;
    int port;            // 0: an error is expected
    const char* device;  // expected device, or a word the error must contain
  };
  const Row rows[] = {
      {"plain", "COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
      {"highest, lower case", "com16=/dev/ttyS0", 16, "/dev/ttyS0"},
      {"equals sign in the device", "COM2=/dev/serial/by-path/x=y", 2, "/dev/serial/by-path/x=y"},
      {"above 16", "COM17=/dev/x", 0, "out of range"},
      {"zero", "COM0=/dev/x", 0, "out of range"},
      {"no equals sign", "COM1", 0, "COMn=DEVICE"},
      {"no number", "COM=/dev/x", 0, "COMn"},
      {"too many digits", "COM001=/dev/y", 0, "COMn"},
      {"no device", "COM4=", 0, "no device"},
      {"empty", "", 0, "COMn=DEVICE"},
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
  struct Row {
    const char* name;
    std::vector<std::string> in, out;
  };
  const Row rows[] = {
      {"natural numbers", {"ttyS10", "ttyS2", "ttyS1"}, {"ttyS1", "ttyS2", "ttyS10"}},
      {"USB before built-in",
       {"ttyS0", "ttyACM0", "ttyUSB1", "ttyUSB0"},
       {"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyS0"}},
      {"paths by their last component",
       {"/dev/ttyS3", "/dev/ttyUSB10", "/dev/ttyUSB9"},
       {"/dev/ttyUSB9", "/dev/ttyUSB10", "/dev/ttyS3"}},
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

}  // namespace
}  // namespace tkr::platform::qt
