#pragma once
// Reads a fuzz input as a small script: each call takes the next few bytes, and an
// exhausted input reads as zeros, so every input is a valid script.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tkr::fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  bool empty() const { return p_ == end_; }
  std::uint8_t byte() { return p_ == end_ ? 0 : *p_++; }
  int below(int n) { return byte() % n; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }
  // A length byte (at most `max`), then that many bytes.
  std::string bytes(std::size_t max = 255) {
    std::string out;
    for (std::size_t n = byte() % (max + 1); n > 0 && !empty(); --n)
      out += static_cast<char>(byte());
    return out;
  }
  // Everything left, cut at `stop`.
  std::string word(char stop) {
    std::string out;
    while (!empty()) {
      const char c = static_cast<char>(byte());
      if (c == stop) break;
      out += c;
    }
    return out;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// An invariant failed: say which and stop, so libFuzzer keeps the input.
inline void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace tkr::fuzz
