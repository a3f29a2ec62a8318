#pragma once
// Line settings strings such as "9600,n,8,1".
#include <optional>
#include <string>

namespace tkr::protocol {

constexpr const char* kDetectSettings = "9600,n,8,1";

struct LineSettings {
  int baud = 9600;
  char parity = 'n';  // n e o m s
  int dataBits = 8;
  int stopBits = 1;
};

// nullopt for anything that is not baud,parity,data,stop with known values.
std::optional<LineSettings> ParseSettings(const std::string& text);

// Baud part and the rest after the first comma, as the "Current Settings" labels show them.
struct SettingsParts {
  std::string baud;
  std::string frame;
};
SettingsParts SplitSettings(const std::string& text);

// Seconds per character on the line (start bit, data, parity, stop), for pacing.
double CharacterTime(const LineSettings& settings);

}  // namespace tkr::protocol
