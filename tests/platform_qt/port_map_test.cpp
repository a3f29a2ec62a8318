// Which device each COM number opens, the ports listing and the reasons for a refused open.
#include "platform/qt/port_map.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>

#include "platform/qt/port_listing.h"
#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

// What is taken, as "COMn=DEVICE" again, or a word of the reason the text is not taken; an '='
// in the device path is shown through the console's options.
TEST(ParsePortOption, AcceptsOrExplains) {
  const std::pair<const char*, const char*> rows[] = {
      {"com16=/dev/ttyS0", "COM16=/dev/ttyS0"},  // the highest, in lower case
      {"COM17=/dev/x", "out of range"},
      {"COM1", "COMn=DEVICE"},
      {"COM4=", "no device"},
  };
  for (const auto& [text, expected] : rows) {
    const auto r = ParsePortOption(text);
    const std::string got =
        r.option ? "COM" + std::to_string(r.option->port) + "=" + r.option->device : r.error;
    EXPECT_NE(got.find(expected), std::string::npos) << text << " gave " << got;
  }
}

// USB adapters first, numbers by value, paths by their last component.
TEST(OrderPortNames, UsbFirstThenNaturalOrder) {
  EXPECT_EQ(OrderPortNames({"ttyS10", "/dev/ttyS2", "ttyS1", "ttyACM0", "/dev/ttyUSB10", "ttyUSB9",
                            "cu.Bluetooth", "cu.usbserial-2"}),
            std::vector<std::string>({"cu.usbserial-2", "ttyACM0", "ttyUSB9", "/dev/ttyUSB10",
                                      "cu.Bluetooth", "ttyS1", "/dev/ttyS2", "ttyS10"}));
}

TEST(PortMap, OptionsFirstThenSystemPortsOnFreeNumbersUpToCom16AsListed) {
  PortMap map;
  ASSERT_TRUE(map.assign(2, "/dev/ttyS0"));
  std::vector<SystemPort> ports;
  ports.reserve(21);
  for (int i = 0; i < 20; ++i)
    ports.push_back({"", "/dev/ttyS" + std::to_string(i), "", {}, {}, ""});
  ports.push_back({"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", 0x0403, 0x6001, "FTDI"});
  // An adapter's descriptor strings are its own: this one clears the screen, sets the
  // terminal's title and hides a CSI (U+009B) in UTF-8, beside a name that is plain UTF-8.
  ports.push_back({"ttyUSB1",
                   "/dev/ttyUSB1",
                   "\x1b[2J\x1b]0;root\x07UART\\",
                   {},
                   {},
                   "M\xc3\xbc"
                   "ller \xc2\x9b"
                   "1m \x9b\xff"});
  map.fill(ports);
  EXPECT_EQ(map.describe(1), "/dev/ttyUSB0 - FT232R USB UART, USB 0403:6001");
  EXPECT_EQ(map.deviceFor(16), "/dev/ttyS13");  // COM2's ttyS0 is not given out twice
  // The console's own listing of the adapters and of a refused device; a free number, the
  // rest of the text and the JSON are checked through the programs.
  const std::string text = FormatPortRows(GatherPortRows(map, [](const std::string& device) {
    return device == "/dev/ttyS0"
               ? AccessProbe{PortAccess::PermissionDenied, "owner root, group root, mode 0600"}
               : AccessProbe{};
  }));
  EXPECT_EQ(text.substr(0, text.find("COM4")),
            "COM1  /dev/ttyUSB0  ok                 FT232R USB UART, FTDI, USB 0403:6001\n"
            "COM2  /dev/ttyS0    permission denied: owner root, group root, mode 0600\n"
            "COM3  /dev/ttyUSB1  ok                 "
            "\\x1B[2J\\x1B]0;root\\x07UART\\\\, M\xc3\xbc"
            "ller \\xC2\\x9B1m \\x9B\\xFF\n");
}

// Joining the device's group is the cure only when the group may read and write and this user
// is neither in it nor the owner; otherwise the reason names the owner, group and mode.
TEST(PortListing, PermissionCureNamesTheGroupOnlyWhereJoiningItHelps) {
  const Identity me{1000, {1000, 24}};  // in their own group and cdrom
  struct Row {
    const char* name;
    DeviceOwnership device;
    const char* cure;
  };
  const Row rows[] = {
      {"a serial adapter",
       {0, 20, 0660, "root", "dialout"},
       "add yourself to the dialout group and log in again"},
      {"another group that may",
       {0, 14, 0660, "root", "uucp"},
       "add yourself to the uucp group and log in again"},
      {"root's alone", {0, 0, 0600, "root", "root"}, "owner root, group root, mode 0600"},
      {"another user's terminal",
       {1001, 5, 0620, "alice", "tty"},
       "owner alice, group tty, mode 0620"},
      {"a group that may only read",
       {0, 20, 0640, "root", "dialout"},
       "owner root, group dialout, mode 0640"},
      {"already in the group",
       {0, 24, 0660, "root", "cdrom"},
       "owner root, group cdrom, mode 0660"},
      {"the owner's own bits refuse",
       {1000, 20, 0060, "me", "dialout"},
       "owner me, group dialout, mode 0060"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PermissionCure(row.device, me), row.cure);
  }
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

// Devices come and go while the console runs, as files in a folder; "reader" (named with
// --port COM2) is udev's second name for ttyUSB1, a link to it while that is plugged in.
TEST(PortMap, HotPlugGivesFreeNumbersAndNeverMovesOne) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  const PortLister lister = [&] {
    std::vector<SystemPort> ports;
    for (const QString& name : QDir(dir.path()).entryList({"tty*"}, QDir::Files))
      ports.push_back({name.toStdString(), base + name.toStdString(), "", {}, {}, ""});
    return ports;
  };
  const auto plug = [&](const std::string& step) {  // "+name" plugs a device in, "-name" out
    const std::string path = base + step.substr(1), reader = base + "reader";
    unlink(path.c_str());
    EXPECT_TRUE(step[0] == '-' || close(creat(path.c_str(), 0600)) == 0);
    EXPECT_TRUE(step != "+ttyUSB1" || symlink(path.c_str(), reader.c_str()) == 0);
  };
  plug("+ttyS0");
  plug("+ttyUSB0");
  PortMap map = PortMap::Build({{2, base + "reader"}}, lister);
  EXPECT_EQ(Mapped(map), "COM1=ttyUSB0 COM2=reader COM3=ttyS0");  // the option, USB, the rest
  const char* const kFour = "COM1=ttyUSB0 COM2=reader COM3=ttyS0 COM4=ttyACM0";
  const char* const kFive = "COM1=ttyUSB0 COM2=reader COM3=ttyS0 COM4=ttyACM0 COM5=ttyUSB2";
  const std::pair<const char*, const char*> steps[] = {
      {"+ttyACM0", kFour},  // the lowest free number, whatever its name
      {"-ttyACM0", kFour},  // unplugged: the number stays its own
      {"+ttyUSB2", kFive},  // another one meanwhile takes the next
      {"+ttyACM0", kFive},  // back under its name: the old number
      {"+ttyUSB1", kFive},  // the --port device plugged in: no second number
  };
  for (const auto& [step, mapped] : steps) {
    plug(step);
    map.refresh();
    EXPECT_EQ(Mapped(map), mapped) << step;
  }
}

TEST(PortListing, ProbeTellsWhyADeviceCannotBeOpened) {
  test::Pty free, held;
  QSerialPort holder;
  holder.setPortName(QString::fromStdString(held.path));
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
  QTemporaryDir dir;
  const std::string file = dir.filePath("not-a-tty").toStdString();
  ASSERT_EQ(close(creat(file.c_str(), 0600)), 0);

  // reason: nullptr for a refused file, which keeps the system's own words.
  struct Row {
    std::string device;
    PortAccess access;
    const char* reason;
  };
  const Row rows[] = {
      {free.path, PortAccess::Ok, ""},
      {held.path, PortAccess::Busy, "busy: another program has the device open"},
      {"/dev/tkr-no-such-device", PortAccess::Missing, "no such device"},
      {"", PortAccess::NoDevice, "no device on this number"},
      {file, PortAccess::Failed, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device);
    const AccessProbe probe = ProbeDevice(row.device);
    EXPECT_EQ(probe.access, row.access);
    EXPECT_EQ(AccessReason(probe), row.reason ? row.reason : probe.error);
  }
}

}  // namespace
}  // namespace tkr::platform::qt
