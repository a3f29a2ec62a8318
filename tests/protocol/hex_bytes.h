#pragma once
// Test helper: "09 00 03" -> the three bytes, so expected frames read like a line trace.
#include <sstream>

#include "core/protocol/bytes.h"

namespace tkr::protocol::test {

inline Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  unsigned value = 0;
  while (in >> std::hex >> value) out.push_back(static_cast<char>(value));
  return out;
}

}  // namespace tkr::protocol::test
