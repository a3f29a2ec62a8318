#pragma once
// Which device stands behind each of COM1..COM16 and whether this user can open it, without
// any window: for --list-ports, for tool tips, and for command line tools.
#include <QSerialPort>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/port_map.h"

namespace tkr::platform::qt {

enum class PortAccess {
  Ok,
  PermissionDenied,  // the device's mode or group keeps this user out
  Busy,              // another program holds it open (or its lock)
  Missing,           // the number names a device that is not there
  NoDevice,          // the number has no device at all
  Failed,            // opened but refused as a serial line, or another error
};

// "ok", "permission denied", "busy", "missing", "-", "error".
const char* AccessText(PortAccess access);

// Tries to open the device as the console would (read and write, the serial lock) and
// closes it again at once. Missing and permission are judged before the open, with the
// effective ids, so root (who opens anything) gets "ok".
struct AccessProbe {
  PortAccess access = PortAccess::Ok;
  std::string error;  // the system's words when access is Failed
};
AccessProbe ProbeDevice(const std::string& device);

// Missing or PermissionDenied when the device is not there or this user may not read and
// write it; nothing when it may try.
std::optional<AccessProbe> CheckAccess(const std::string& device);

// Why QSerialPort could not open the device.
AccessProbe ClassifyOpenFailure(const std::string& device, QSerialPort::SerialPortError error,
                                const QString& errorText);

// One short line saying why opening failed, with a hint for the cure; empty for Ok.
std::string AccessReason(const AccessProbe& probe);

struct PortRow {
  int port = 0;
  std::string device;  // empty when the number has none
  std::string description;
  std::string manufacturer;
  std::optional<std::uint16_t> vendorId;
  std::optional<std::uint16_t> productId;
  AccessProbe probe;
};

// A row for each of COM1..COM16; probe defaults to ProbeDevice.
std::vector<PortRow> GatherPortRows(
    const PortMap& map, const std::function<AccessProbe(const std::string&)>& probe = {});

// Aligned text, one line per number:
// "COM1   /dev/ttyUSB0  ok                 FT232R USB UART, FTDI, USB 0403:6001".
std::string FormatPortRows(const std::vector<PortRow>& rows);

// A JSON array of objects: port ("COM1"), device, description, manufacturer, vid and pid
// ("0403", or null), access (as AccessText) and error.
std::string PortRowsJson(const std::vector<PortRow>& rows);

}  // namespace tkr::platform::qt
