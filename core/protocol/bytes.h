#pragma once
// Line data is carried as std::string used as a byte string: one char per byte, 0x00..0xFF,
// never a terminated or encoded text.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace tkr {

using Bytes = std::string;

inline Bytes MakeBytes(std::initializer_list<int> values) {
  Bytes out;
  out.reserve(values.size());
  for (int v : values) out.push_back(static_cast<char>(static_cast<std::uint8_t>(v)));
  return out;
}

inline std::uint8_t ByteAt(const Bytes& bytes, std::size_t i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

}  // namespace tkr
