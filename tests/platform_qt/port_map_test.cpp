#include "platform/qt/port_map.h"

#include <gtest/gtest.h>

namespace tkr::platform::qt {
namespace {

struct ParseRow {
  const char* name;
  const char* text;
  int port;            // 0: an error is expected
  const char* device;  // expected device, or a word the error must contain
};

class ParsePortOptionTest : public ::testing::TestWithParam<ParseRow> {};

TEST_P(ParsePortOptionTest, AcceptsOrExplains) {
  const ParseRow& row = GetParam();
  const auto result = ParsePortOption(row.text);
  if (row.port == 0) {
    EXPECT_FALSE(result.option);
    EXPECT_NE(result.error.find(row.device), std::string::npos) << result.error;
  } else {
    ASSERT_TRUE(result.option) << result.error;
    EXPECT_EQ(result.option->port, row.port);
    EXPECT_EQ(result.option->device, row.device);
    EXPECT_TRUE(result.error.empty());
  }
}

const ParseRow kParseRows[] = {
    {"Plain", "COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
    {"Highest", "COM16=/dev/ttyS0", 16, "/dev/ttyS0"},
    {"LowerCase", "com3=/dev/pts/4", 3, "/dev/pts/4"},
    {"EqualsInDevice", "COM2=/dev/serial/by-path/x=y", 2, "/dev/serial/by-path/x=y"},
    {"LeadingZero", "COM07=/dev/x", 7, "/dev/x"},
    {"OutOfRangeHigh", "COM17=/dev/x", 0, "out of range"},
    {"OutOfRangeZero", "COM0=/dev/x", 0, "out of range"},
    {"NoEquals", "COM1", 0, "COMn=DEVICE"},
    {"NoName", "=x", 0, "COMn"},
    {"NoNumber", "COM=/dev/x", 0, "COMn"},
    {"LetterNumber", "COMx=/dev/y", 0, "COMn"},
    {"WrongPrefix", "TTY1=/dev/y", 0, "COMn"},
    {"TooManyDigits", "COM001=/dev/y", 0, "COMn"},
    {"NoDevice", "COM4=", 0, "no device"},
    {"Empty", "", 0, "COMn=DEVICE"},
};

INSTANTIATE_TEST_SUITE_P(Rows, ParsePortOptionTest, ::testing::ValuesIn(kParseRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ParsePortArguments, CollectsBothFormsLaterWinsAndReportsErrors) {
  const auto parsed = ParsePortArguments({"SWPDEMO2", "--port", "COM1=/dev/a", "-platform",
                                          "offscreen", "--port=COM2=/dev/b", "--port",
                                          "COM1=/dev/c", "--port", "COM99=/dev/d", "--port"});
  ASSERT_EQ(parsed.options.size(), 2u);
  EXPECT_EQ(parsed.options[0].port, 2);
  EXPECT_EQ(parsed.options[0].device, "/dev/b");
  EXPECT_EQ(parsed.options[1].port, 1);
  EXPECT_EQ(parsed.options[1].device, "/dev/c");
  ASSERT_EQ(parsed.errors.size(), 2u);
  EXPECT_NE(parsed.errors[0].find("COM99"), std::string::npos);
  EXPECT_NE(parsed.errors[1].find("needs a value"), std::string::npos);
}

struct OrderRow {
  const char* name;
  std::vector<std::string> in;
  std::vector<std::string> out;
};

TEST(OrderPortNames, UsbFirstThenNaturalOrder) {
  const OrderRow rows[] = {
      {"NaturalNumbers", {"ttyS10", "ttyS2", "ttyS1"}, {"ttyS1", "ttyS2", "ttyS10"}},
      {"UsbBeforeBuiltIn",
       {"ttyS0", "ttyACM0", "ttyUSB1", "ttyUSB0"},
       {"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyS0"}},
      {"PathsByLastComponent",
       {"/dev/ttyS3", "/dev/ttyUSB10", "/dev/ttyUSB9"},
       {"/dev/ttyUSB9", "/dev/ttyUSB10", "/dev/ttyS3"}},
      {"MacAdapters", {"cu.Bluetooth", "cu.usbserial-2"}, {"cu.usbserial-2", "cu.Bluetooth"}},
      {"Empty", {}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(OrderPortNames(row.in), row.out);
  }
}

SystemPort Port(const char* name, const char* description = "", int vid = -1, int pid = -1) {
  SystemPort port{name, std::string("/dev/") + name, description, std::nullopt, std::nullopt};
  if (vid >= 0) port.vendorId = static_cast<std::uint16_t>(vid);
  if (pid >= 0) port.productId = static_cast<std::uint16_t>(pid);
  return port;
}

TEST(PortMap, OptionsFirstThenSystemPortsOnFreeNumbers) {
  PortMap map;
  ASSERT_TRUE(map.assign(2, "/dev/ttyS0"));
  EXPECT_FALSE(map.assign(17, "/dev/x"));
  map.fill({Port("ttyS0"), Port("ttyS1"), Port("ttyUSB0", "FT232R USB UART", 0x0403, 0x6001)});

  EXPECT_EQ(map.deviceFor(1), "/dev/ttyUSB0");
  EXPECT_EQ(map.deviceFor(2), "/dev/ttyS0");  // named by an option, not given out twice
  EXPECT_EQ(map.deviceFor(3), "/dev/ttyS1");
  EXPECT_EQ(map.deviceFor(4), std::nullopt);
  EXPECT_EQ(map.deviceFor(0), std::nullopt);
  EXPECT_EQ(map.deviceFor(17), std::nullopt);

  EXPECT_EQ(map.describe(1), "/dev/ttyUSB0 - FT232R USB UART, USB 0403:6001");
  EXPECT_EQ(map.describe(3), "/dev/ttyS1");
  EXPECT_EQ(map.describe(4), "no device");
}

TEST(PortMap, MoreDevicesThanNumbersStopsAtCom16) {
  std::vector<SystemPort> ports;
  for (int i = 0; i < 20; ++i) ports.push_back(Port(("ttyS" + std::to_string(i)).c_str()));
  PortMap map;
  map.fill(ports);
  EXPECT_EQ(map.deviceFor(1), "/dev/ttyS0");
  EXPECT_EQ(map.deviceFor(16), "/dev/ttyS15");
}

TEST(PortMap, WithoutSystemPortsOnlyOptionsExist) {
  const auto map = PortMap::Build({{5, "/dev/pts/9"}}, /*useSystemPorts=*/false);
#ifndef _WIN32
  EXPECT_EQ(map.deviceFor(1), std::nullopt);
#endif
  EXPECT_EQ(map.deviceFor(5), "/dev/pts/9");
}

}  // namespace
}  // namespace tkr::platform::qt
