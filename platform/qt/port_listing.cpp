#include "platform/qt/port_listing.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/protocol/monitor_format.h"

namespace tkr::platform::qt {

namespace {

// The length of the valid UTF-8 sequence at s[at] that is a printable character, or 0 for a
// byte to escape: C0 and C1 controls, DEL, and anything that is not UTF-8. A terminal acts
// on all of those (ESC and 0x9B start its control sequences).
std::size_t PrintableAt(const std::string& s, std::size_t at) {
  const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned lead = byte(at);
  if (lead >= 0x20 && lead < 0x7F) return 1;
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || at + length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  if (lead == 0xC2 && byte(at + 1) < 0xA0) return 0;  // U+0080..U+009F, the C1 controls
  if ((lead == 0xE0 && byte(at + 1) < 0xA0) || (lead == 0xF0 && byte(at + 1) < 0x90) ||
      (lead == 0xF4 && byte(at + 1) >= 0x90)) {
    return 0;  // an overlong form or beyond U+10FFFF
  }
  return length;
}

// Text from a device's descriptors, fit for a terminal: as protocol::EscapeBytes writes line
// data (printable ASCII as it is, a backslash doubled, every other byte as \xHH), except that
// printable characters beyond ASCII stay, so a manufacturer's name in UTF-8 reads as it is.
std::string TerminalText(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = std::max<std::size_t>(PrintableAt(text, at), 1);
    out += length > 1 ? text.substr(at, length) : protocol::EscapeBytes(Bytes(1, text[at]));
    at += length;
  }
  return out;
}

std::string UserName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return found->pw_name;
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  char buffer[16384];  // a group entry lists its members
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return found->gr_name;
  return std::to_string(gid);
}

Identity ThisProcess() {
  Identity me;
  me.user = ::geteuid();
  me.groups.push_back(::getegid());
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  const int got = ::getgroups(count, groups.data());
  for (int i = 0; i < got; ++i) me.groups.push_back(groups[static_cast<std::size_t>(i)]);
  return me;
}

// Empty when the device cannot be looked at.
std::string CureFor(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return {};
  const DeviceOwnership owner{st.st_uid, st.st_gid, st.st_mode & 07777u, UserName(st.st_uid),
                              GroupName(st.st_gid)};
  return PermissionCure(owner, ThisProcess());
}

std::string Details(const PortRow& row) {
  std::string text = TerminalText(row.description);
  auto add = [&text](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += ", ";
    text += part;
  };
  add(TerminalText(row.manufacturer));
  if (row.vendorId && row.productId)
    add("USB " + protocol::Hex16(*row.vendorId) + ":" + protocol::Hex16(*row.productId));
  return text;
}

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

QJsonValue JsonText(const std::string& text) {
  return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

}  // namespace

const char* AccessText(PortAccess access) {
  switch (access) {
    case PortAccess::Ok:
      return "ok";
    case PortAccess::PermissionDenied:
      return "permission denied";
    case PortAccess::Busy:
      return "busy";
    case PortAccess::Missing:
      return "missing";
    case PortAccess::NoDevice:
      return "-";
    case PortAccess::Failed:
      break;
  }
  return "error";
}

AccessProbe ProbeDevice(const std::string& device) {
  if (device.empty()) return {PortAccess::NoDevice, {}};
  if (auto refused = CheckAccess(device)) return *refused;
  QSerialPort port;
  port.setPortName(QString::fromStdString(device));
  if (port.open(QIODevice::ReadWrite)) {
    port.close();
    return {PortAccess::Ok, {}};
  }
  return ClassifyOpenFailure(device, port.error(), port.errorString());
}

std::optional<AccessProbe> CheckAccess(const std::string& device) {
  // Judged with the effective ids: QSerialPort reports a refused lock and a refused device
  // alike as a permission error, and this user needs to know which one it is.
  if (::faccessat(AT_FDCWD, device.c_str(), F_OK, AT_EACCESS) != 0)
    return AccessProbe{PortAccess::Missing, {}};
  if (::faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES)
    return AccessProbe{PortAccess::PermissionDenied, CureFor(device)};
  return std::nullopt;
}

std::string PermissionCure(const DeviceOwnership& device, const Identity& user) {
  const bool member =
      std::find(user.groups.begin(), user.groups.end(), device.group) != user.groups.end();
  if (user.user != device.owner && !member && (device.mode & 060u) == 060u)
    return "add yourself to the " + device.groupName + " group and log in again";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", device.mode & 07777u);
  return "owner " + device.ownerName + ", group " + device.groupName + ", mode " + mode;
}

AccessProbe ClassifyOpenFailure(const std::string& device, QSerialPort::SerialPortError error,
                                const QString& errorText) {
  if (auto refused = CheckAccess(device)) return *refused;
  switch (error) {
    case QSerialPort::PermissionError:
      // This user may open the device, so what refused us is another program's hold.
      return {PortAccess::Busy, {}};
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError:
      // A serial node with no hardware behind it (ttyS* on most PCs) fails with an I/O error.
      return {PortAccess::Missing, {}};
    default:
      return {PortAccess::Failed, errorText.toStdString()};
  }
}

std::string AccessReason(const AccessProbe& probe) {
  switch (probe.access) {
    case PortAccess::Ok:
      return {};
    case PortAccess::PermissionDenied:
      return probe.error.empty() ? std::string("permission denied")
                                 : "permission denied: " + probe.error;
    case PortAccess::Busy:
      return "busy: another program has the device open";
    case PortAccess::Missing:
      return "no such device";
    case PortAccess::NoDevice:
      return "no device on this number";
    case PortAccess::Failed:
      break;
  }
  return probe.error.empty() ? std::string("cannot be opened") : probe.error;
}

std::vector<PortRow> GatherPortRows(const PortMap& map,
                                    const std::function<AccessProbe(const std::string&)>& probe) {
  std::vector<PortRow> rows;
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    PortRow row;
    row.port = n;
    row.device = map.deviceFor(n).value_or("");
    if (const SystemPort* info = row.device.empty() ? nullptr : map.infoFor(row.device)) {
      row.description = info->description;
      row.manufacturer = info->manufacturer;
      row.vendorId = info->vendorId;
      row.productId = info->productId;
    }
    row.probe = probe ? probe(row.device) : ProbeDevice(row.device);
    if (row.device.empty()) row.probe = {PortAccess::NoDevice, {}};
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string FormatPortRows(const std::vector<PortRow>& rows) {
  std::size_t deviceWidth = 1;
  for (const auto& row : rows) deviceWidth = std::max(deviceWidth, TerminalText(row.device).size());
  constexpr std::size_t kAccessWidth = 17;  // "permission denied"
  std::string out;
  for (const auto& row : rows) {
    std::string access = AccessText(row.probe.access);
    if (row.probe.access == PortAccess::Failed) access = "error: " + AccessReason(row.probe);
    if (row.probe.access == PortAccess::PermissionDenied) access = AccessReason(row.probe);
    std::string line = Pad("COM" + std::to_string(row.port), 6) +
                       Pad(row.device.empty() ? "-" : TerminalText(row.device), deviceWidth + 2) +
                       Pad(access, kAccessWidth + 2) + Details(row);
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  return out;
}

std::string PortRowsJson(const std::vector<PortRow>& rows) {
  QJsonArray array;
  for (const auto& row : rows) {
    QJsonObject o;
    o["port"] = QString::fromStdString("COM" + std::to_string(row.port));
    o["device"] = JsonText(row.device);
    o["description"] = JsonText(row.description);
    o["manufacturer"] = JsonText(row.manufacturer);
    o["vid"] = row.vendorId ? JsonText(protocol::Hex16(*row.vendorId)) : QJsonValue();
    o["pid"] = row.productId ? JsonText(protocol::Hex16(*row.productId)) : QJsonValue();
    o["access"] = QString::fromLatin1(AccessText(row.probe.access));
    const bool refused =
        row.probe.access == PortAccess::Failed || row.probe.access == PortAccess::PermissionDenied;
    o["error"] = refused ? JsonText(AccessReason(row.probe)) : QJsonValue();
    array.append(o);
  }
  return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace tkr::platform::qt
