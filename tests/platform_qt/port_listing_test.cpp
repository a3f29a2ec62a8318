// The port listing and the reasons for a refused open, on pseudo-terminals and plain files.
#include "platform/qt/port_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QSerialPort>
#include <QTemporaryDir>

#include "qt_test_util.h"

namespace tkr::platform::qt {
namespace {

using test::Pty;

TEST(PortListing, ProbeTellsWhyADeviceCannotBeOpened) {
  Pty free, held;
  ASSERT_FALSE(free.path.empty());
  QSerialPort holder;
  holder.setPortName(QString::fromStdString(held.path));
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
  QTemporaryDir dir;
  const std::string file = dir.filePath("not-a-tty").toStdString();
  ASSERT_EQ(close(creat(file.c_str(), 0600)), 0);

  struct Row { const char* name; std::string device; PortAccess access; const char* reason; };
  const Row rows[] = {
      {"free pseudo-terminal", free.path, PortAccess::Ok, ""},
      {"held by another open", held.path, PortAccess::Busy, "busy: another program has the device open"},
      {"gone", "/dev/tkr-no-such-device", PortAccess::Missing, "no such device"},
      {"no device on the number", "", PortAccess::NoDevice, "no device on this number"},
      {"a file, not a serial line", file, PortAccess::Failed, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const AccessProbe probe = ProbeDevice(row.device);
    EXPECT_EQ(probe.access, row.access);
    // A refused file keeps the system's own words, which differ between systems.
    EXPECT_EQ(AccessReason(probe).empty(), row.reason != nullptr && *row.reason == '\0');
    if (row.reason != nullptr) {
      EXPECT_EQ(AccessReason(probe), row.reason);
    }
  }
  EXPECT_EQ(AccessReason({PortAccess::PermissionDenied, {}}),
            "permission denied: add yourself to the dialout group and log in again");
}

TEST(PortListing, TextAndJsonNameEveryNumber) {
  PortMap map;
  map.assign(1, "/dev/ttyUSB0");
  map.assign(3, "/dev/ttyS0");
  map.learn({{"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", 0x0403, 0x6001, "FTDI"}});
  const auto rows = GatherPortRows(map, [](const std::string& device) {
    return device == "/dev/ttyS0" ? AccessProbe{PortAccess::PermissionDenied, {}} : AccessProbe{};
  });
  ASSERT_EQ(rows.size(), 16u);
  const std::string text = FormatPortRows(rows);
  EXPECT_EQ(text.substr(0, text.find("COM4")),
            "COM1  /dev/ttyUSB0  ok                 FT232R USB UART, FTDI, USB 0403:6001\n"
            "COM2  -             -\n"
            "COM3  /dev/ttyS0    permission denied\n");
  EXPECT_NE(text.find("COM16 -             -\n"), std::string::npos);

  const std::string json = PortRowsJson(rows);
  for (const char* part : {R"("port": "COM1")", R"("vid": "0403")", R"("pid": "6001")",
                           R"("manufacturer": "FTDI")", R"("access": "permission denied")",
                           R"("device": null)"}) {
    SCOPED_TRACE(part);
    EXPECT_NE(json.find(part), std::string::npos);
  }
}

}  // namespace
}  // namespace tkr::platform::qt
