#include "core/protocol/monitor_format.h"

namespace tkr::protocol {

namespace {

void AppendTwoDigits(std::string& out, std::uint8_t byte) {
  out.push_back(HexDigit(byte >> 4));
  out.push_back(HexDigit(byte));
}

}  // namespace

char HexDigit(unsigned value) {
  return "0123456789ABCDEF"[value & 0x0F];
}

std::string HexBytes(const Bytes& bytes, std::string_view separator) {
  std::string out;
  for (char c : bytes) {
    if (!out.empty()) out += separator;
    AppendTwoDigits(out, static_cast<std::uint8_t>(c));
  }
  return out;
}

std::string Hex16(std::uint16_t value) {
  std::string out;
  AppendTwoDigits(out, static_cast<std::uint8_t>(value >> 8));
  AppendTwoDigits(out, static_cast<std::uint8_t>(value));
  return out;
}

// Written in place: a flood sends every byte through here.
std::string HexDumpLine(const Bytes& data) {
  std::string line(data.size() * 4 + kCrLf.size(), ' ');
  char* out = line.data();
  for (char c : data) {
    const auto byte = static_cast<std::uint8_t>(c);
    out[0] = HexDigit(byte >> 4);
    out[1] = HexDigit(byte);
    out[2] = 'h';
    out += 4;
  }
  kCrLf.copy(out, kCrLf.size());
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

std::string EscapeBytes(const Bytes& bytes) {
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      out += "\\x";
      AppendTwoDigits(out, b);
    }
  }
  return out;
}

int HexDigitValue(char c, bool upperOnly) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (!upperOnly && c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace tkr::protocol
