#include "platform/qt/port_map.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <set>

#include "core/protocol/monitor_format.h"

namespace tkr::platform::qt {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view BaseName(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// USB serial adapters are what an operator plugs in for a reader, so they get the low numbers.
bool IsUsbAdapter(std::string_view name) {
  const auto base = BaseName(name);
  return StartsWith(base, "ttyUSB") || StartsWith(base, "ttyACM") ||
         base.find("usbserial") != std::string_view::npos ||
         base.find("usbmodem") != std::string_view::npos;
}

// Runs of digits compare by value, so ttyS2 sorts before ttyS10.
int NaturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      auto da = a.substr(i, ei - i), db = b.substr(j, ej - j);
      while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
      while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
      if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
      if (const int c = da.compare(db); c != 0) return c;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j])
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
      ++i;
      ++j;
    }
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string Canonical(const std::string& path) {
  const QString canonical = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical.toStdString();
}

}  // namespace

PortOptionResult ParsePortOption(std::string_view text) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) return {{}, "expected COMn=DEVICE"};
  const auto name = text.substr(0, eq);
  const auto device = text.substr(eq + 1);
  const std::string badName = "the port must be written COMn, n from 1 to 16";
  if (name.size() < 4 || Lower(name[0]) != 'c' || Lower(name[1]) != 'o' || Lower(name[2]) != 'm')
    return {{}, badName};
  const auto digits = name.substr(3);
  if (digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), IsDigit))
    return {{}, badName};
  const int port = std::stoi(std::string(digits));
  if (port < kFirstPort || port > kLastPort)
    return {{}, "COM" + std::to_string(port) + " is out of range, n from 1 to 16"};
  if (device.empty()) return {{}, "no device after '='"};
  return {PortOption{port, std::string(device)}, {}};
}

bool PortNameLess(std::string_view a, std::string_view b) {
  const bool usbA = IsUsbAdapter(a), usbB = IsUsbAdapter(b);
  if (usbA != usbB) return usbA;
  const int c = NaturalCompare(BaseName(a), BaseName(b));
  return c != 0 ? c < 0 : a < b;
}

std::vector<std::string> OrderPortNames(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), PortNameLess);
  return names;
}

std::vector<SystemPort> AvailableSystemPorts() {
  std::vector<SystemPort> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    SystemPort port{info.portName().toStdString(),
                    info.systemLocation().toStdString(),
                    info.description().toStdString(),
                    std::nullopt,
                    std::nullopt,
                    {}};
    if (info.hasVendorIdentifier()) port.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier()) port.productId = info.productIdentifier();
    port.manufacturer = info.manufacturer().toStdString();
    ports.push_back(std::move(port));
  }
  return ports;
}

PortMap PortMap::Build(const std::vector<PortOption>& options, PortLister lister) {
  PortMap map;
  for (const auto& option : options) map.assign(option.port, option.device);
  map.lister_ = std::move(lister);
  map.refresh();
  return map;
}

PortMap PortMap::Build(const std::vector<PortOption>& options, bool useSystemPorts) {
  return Build(options, useSystemPorts ? PortLister(AvailableSystemPorts) : PortLister());
}

void PortMap::refresh() {
  if (!lister_) return;
  fill(lister_());
}

bool PortMap::assign(int port, std::string device) {
  if (port < kFirstPort || port > kLastPort) return false;
  devices_[port] = std::move(device);
  return true;
}

void PortMap::learn(const std::vector<SystemPort>& ports) {
  for (const auto& port : ports) {
    const auto same = std::find_if(known_.begin(), known_.end(), [&](const SystemPort& k) {
      return k.location == port.location && k.name == port.name;
    });
    if (same == known_.end()) {
      known_.push_back(port);
    } else {
      *same = port;
    }
  }
}

void PortMap::fill(const std::vector<SystemPort>& ports) {
  learn(ports);
  std::vector<const SystemPort*> order;
  order.reserve(ports.size());
  for (const auto& port : ports) order.push_back(&port);
  std::stable_sort(order.begin(), order.end(), [](const SystemPort* a, const SystemPort* b) {
    return PortNameLess(a->location.empty() ? a->name : a->location,
                        b->location.empty() ? b->name : b->location);
  });

  // A device named by an option (perhaps through a symlink) keeps only that number.
  std::set<std::string> taken;
  for (const auto& device : devices_) {
    if (device) taken.insert(Canonical(*device));
  }
  int next = kFirstPort;
  for (const SystemPort* port : order) {
    const std::string path = port->location.empty() ? port->name : port->location;
    if (!taken.insert(Canonical(path)).second) continue;
    while (next <= kLastPort && devices_[next]) ++next;
    if (next > kLastPort) break;
    devices_[next] = path;
  }
}

std::optional<std::string> PortMap::deviceFor(int port) const {
  if (port < kFirstPort || port > kLastPort) return std::nullopt;
  return devices_[port];
}

const SystemPort* PortMap::infoFor(const std::string& device) const {
  for (const auto& port : known_) {
    if (port.location == device || port.name == device) return &port;
  }
  const std::string canonical = Canonical(device);
  for (const auto& port : known_) {
    if (!port.location.empty() && Canonical(port.location) == canonical) return &port;
  }
  return nullptr;
}

std::string PortMap::describe(int port) const {
  const auto device = deviceFor(port);
  if (!device) return "no device";
  std::string text = *device;
  const SystemPort* info = infoFor(*device);
  if (!info) return text;
  std::string details = info->description;
  if (info->vendorId && info->productId) {
    if (!details.empty()) details += ", ";
    details += "USB " + protocol::Hex16(*info->vendorId) + ":" + protocol::Hex16(*info->productId);
  }
  if (!details.empty()) text += " - " + details;
  return text;
}

}  // namespace tkr::platform::qt
