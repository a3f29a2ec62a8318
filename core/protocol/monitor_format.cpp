#include "core/protocol/monitor_format.h"

namespace tkr::protocol {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendTwoDigits(std::string& out, std::uint8_t byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

std::string HexDumpLine(const Bytes& data) {
  std::string line;
  line.reserve(data.size() * 4 + kCrLf.size());
  for (char c : data) {
    AppendTwoDigits(line, static_cast<std::uint8_t>(c));
    line += "h ";
  }
  line += kCrLf;
  return line;
}

Bytes ReadableCommand(const Bytes& command) {
  Bytes out;
  for (char c : command) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x20) {
      out.push_back('[');
      AppendTwoDigits(out, byte);
      out.push_back(']');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string HexCode(std::uint8_t byte) {
  std::string out;
  if (byte >= 0x10) out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
  return out;
}

std::string EscapeBytes(const Bytes& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

}  // namespace tkr::protocol
