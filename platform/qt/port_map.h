#pragma once
// Which device each of the console's port numbers COM1..COM16 opens. On Windows COMn is the
// system's own COMn; elsewhere the numbers are given out from --port options first, then to
// the serial devices the system reports, USB adapters first. A device plugged in later takes
// the lowest number not given yet; a number once given keeps its device while the program
// runs, even while the device is unplugged.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tkr::platform::qt {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;

// One "--port COMn=DEVICE" option.
struct PortOption {
  int port = 0;
  std::string device;
};

// Either an option or the reason the text is not one (without the text itself).
struct PortOptionResult {
  std::optional<PortOption> option;
  std::string error;
};

// Parses "COMn=DEVICE" (n from 1 to 16, "COM" in any case); the first '=' separates, so a
// device path may itself contain '='.
PortOptionResult ParsePortOption(std::string_view text);

// Natural order of device names within their group, USB adapters (ttyUSB*, ttyACM*) first:
// ttyUSB0 < ttyUSB1 < ttyACM0 < ttyS2 < ttyS10. Paths compare by their last component.
bool PortNameLess(std::string_view a, std::string_view b);
std::vector<std::string> OrderPortNames(std::vector<std::string> names);

// A serial device as the system describes it.
struct SystemPort {
  std::string name;      // ttyUSB0, COM3
  std::string location;  // /dev/ttyUSB0, \\.\COM3
  std::string description;
  std::optional<std::uint16_t> vendorId;
  std::optional<std::uint16_t> productId;
  std::string manufacturer;
};
// The serial devices present now (QSerialPortInfo::availablePorts()).
std::vector<SystemPort> AvailableSystemPorts();
// Where a map asks which devices are present; empty for a map of --port devices only.
using PortLister = std::function<std::vector<SystemPort>()>;

class PortMap {
 public:
  // A map with no devices: every number fails to open.
  PortMap() = default;

  // The program's map: the options, then (on Windows) COMn for the free numbers, or
  // (elsewhere) the devices the lister reports on the free numbers.
  static PortMap Build(const std::vector<PortOption>& options, PortLister lister);
  // The same with AvailableSystemPorts, or with no lister when !useSystemPorts.
  static PortMap Build(const std::vector<PortOption>& options, bool useSystemPorts = true);

  // Asks the lister again: devices that appeared since take the free numbers, lowest first;
  // numbers already given stay as they are. Nothing happens without a lister.
  void refresh();

  // Puts a device on a number (1..16), replacing what was there; false for other numbers.
  bool assign(int port, std::string device);
  // Gives the free numbers, lowest first, to the devices not mapped yet, in PortNameLess
  // order; remembers every device's description for describe().
  void fill(const std::vector<SystemPort>& ports);
  // Records what the system says of the devices (without giving out numbers); the newest
  // word on a device replaces the older one.
  void learn(const std::vector<SystemPort>& ports);

  std::optional<std::string> deviceFor(int port) const;
  // For a tool tip: "/dev/ttyUSB0 - FT232R USB UART, USB 0403:6001", or "no device".
  std::string describe(int port) const;
  // What the system said of the device, or null when it said nothing.
  const SystemPort* infoFor(const std::string& device) const;

 private:
  std::array<std::optional<std::string>, kLastPort + 1> devices_{};
  std::vector<SystemPort> known_;
  PortLister lister_;
};

}  // namespace tkr::platform::qt
