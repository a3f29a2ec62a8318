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
  // The system's words when access is Failed; for PermissionDenied, who may open the device
  // (PermissionCure).
  std::string error;
};
AccessProbe ProbeDevice(const std::string& device);

// Missing or PermissionDenied when the device is not there or this user may not read and
// write it; nothing when it may try.
std::optional<AccessProbe> CheckAccess(const std::string& device);

// Who may open a device, and who this process is.
struct DeviceOwnership {
  unsigned owner = 0;
  unsigned group = 0;
  unsigned mode = 0;                 // the permission bits, such as 0660
  std::string ownerName, groupName;  // the numbers again when they have no name
};
struct Identity {
  unsigned user = 0;
  std::vector<unsigned> groups;  // the effective group and the supplementary ones
};

// What would let this user in, for a device whose permission bits keep them out: joining the
// device's group helps only when the group may read and write and the user is neither in it
// nor the owner (the owner's bits apply to the owner alone). Otherwise it names the owner,
// group and mode, as a root-only ttyS0 or another user's terminal has them.
std::string PermissionCure(const DeviceOwnership& device, const Identity& user);

// Why QSerialPort could not open the device.
AccessProbe ClassifyOpenFailure(const std::string& device, QSerialPort::SerialPortError error,
                                const QString& errorText);

// One short line saying why opening failed, with the cure for a refused permission; empty
// for Ok. The same words go to --list-ports, tkr520ctl and the console's tool tips.
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
// A refused permission or another failure shows its AccessReason in full. Control characters
// in the names (an adapter's own descriptor strings) are written as \xHH, so they never reach
// the terminal.
std::string FormatPortRows(const std::vector<PortRow>& rows);

// A JSON array of objects: port ("COM1"), device, description, manufacturer, vid and pid
// ("0403", or null), access (as AccessText) and error (AccessReason for a refused permission
// or a failure, else null).
std::string PortRowsJson(const std::vector<PortRow>& rows);

}  // namespace tkr::platform::qt
