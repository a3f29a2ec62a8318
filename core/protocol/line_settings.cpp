#include "core/protocol/line_settings.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

namespace tkr::protocol {

namespace {

std::vector<std::string> SplitOnCommas(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

// A whole field of decimal digits, nothing else (no sign, no blanks).
std::optional<int> ParseNumber(const std::string& field) {
  int value = 0;
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (field.empty() || field.front() == '-' || ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<LineSettings> ParseSettings(const std::string& text) {
  const auto fields = SplitOnCommas(text);
  if (fields.size() != 4) return std::nullopt;

  // The console offers 1200..19200, but a typed rate such as 115200 is taken as well.
  const auto baud = ParseNumber(fields[0]);
  if (!baud || *baud <= 0) return std::nullopt;

  if (fields[1].size() != 1) return std::nullopt;
  const char parity = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
  if (std::string_view("neoms").find(parity) == std::string_view::npos) return std::nullopt;

  const auto dataBits = ParseNumber(fields[2]);
  if (!dataBits || (*dataBits != 7 && *dataBits != 8)) return std::nullopt;

  const auto stopBits = ParseNumber(fields[3]);
  if (!stopBits || (*stopBits != 1 && *stopBits != 2)) return std::nullopt;

  return LineSettings{*baud, parity, *dataBits, *stopBits};
}

SettingsParts SplitSettings(const std::string& text) {
  const auto comma = text.find(',');
  if (comma == std::string::npos) return {text, ""};
  return {text.substr(0, comma), text.substr(comma + 1)};
}

double CharacterTime(const LineSettings& settings) {
  if (settings.baud <= 0) return 0.0;
  const bool hasParity = std::tolower(static_cast<unsigned char>(settings.parity)) != 'n';
  const int bits = 1 + settings.dataBits + (hasParity ? 1 : 0) + settings.stopBits;
  return static_cast<double>(bits) / settings.baud;
}

}  // namespace tkr::protocol
