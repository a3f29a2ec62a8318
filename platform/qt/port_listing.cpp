#include "platform/qt/port_listing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <algorithm>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "core/protocol/monitor_format.h"

namespace tkr::platform::qt {

namespace {

std::string Details(const PortRow& row) {
  std::string text = row.description;
  auto add = [&text](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += ", ";
    text += part;
  };
  add(row.manufacturer);
  if (row.vendorId && row.productId) add("USB " + protocol::Hex16(*row.vendorId) + ":" + protocol::Hex16(*row.productId));
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
#ifndef Q_OS_WIN
  // Judged with the effective ids: QSerialPort reports a refused lock and a refused device
  // alike as a permission error, and this user needs to know which one it is.
  if (::faccessat(AT_FDCWD, device.c_str(), F_OK, AT_EACCESS) != 0)
    return AccessProbe{PortAccess::Missing, {}};
  if (::faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES)
    return AccessProbe{PortAccess::PermissionDenied, {}};
#else
  (void)device;
#endif
  return std::nullopt;
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
      return "permission denied: add yourself to the dialout group and log in again";
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
  for (const auto& row : rows) deviceWidth = std::max(deviceWidth, row.device.size());
  constexpr std::size_t kAccessWidth = 17;  // "permission denied"
  std::string out;
  for (const auto& row : rows) {
    const std::string access = row.probe.access == PortAccess::Failed
                                   ? std::string("error: ") + AccessReason(row.probe)
                                   : AccessText(row.probe.access);
    std::string line = Pad("COM" + std::to_string(row.port), 6) +
                       Pad(row.device.empty() ? "-" : row.device, deviceWidth + 2) +
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
    o["error"] = row.probe.access == PortAccess::Failed ? JsonText(AccessReason(row.probe))
                                                        : QJsonValue();
    array.append(o);
  }
  return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace tkr::platform::qt
