#pragma once
// ReaderFrame: 0x09, payload length (16 bit, high byte first), payload, XOR check byte.
#include <array>
#include <cstdint>

#include "core/protocol/bytes.h"

namespace tkr::protocol {

// The prebuilt configuration frames, named by their payload.
enum class Cmd {
  DF,
  RE,
  RE1,
  RE2,
  RE3,  // defaults, EEPROM and status read-outs
  BR0,
  BR1,
  BR2,
  BR3,
  BR4,  // baud rates 1200..19200
  PT0,
  PT1,
  PT2,
  PT3,
  PT4,  // data formats e71, o71, m71, s71, n81
  PC1,
  PC2,
  PC3,  // data protocols 0..2
  ESD,
  ESE,
  LCD,
  LCE,
  RTD,
  RTE,
  CTD,
  CTE,
  BZD,
  BZE,
  JHD,
  JHE,
  SAD,
  SAE,
  TK1,
  TK2,
  TK3,
  TK4,
  TK5,
  TK6,
  TK7,  // track selection masks
  p1,
  p2,
  p3,
  s1,
  s2,
  s3,
  SP,      // prefix/suffix/separator back to "Default"
  SPHead,  // first five bytes of a custom separator frame
  Count
};

constexpr std::uint8_t kLeadByte = 0x09;
constexpr std::uint8_t kWarmReset = 0x7F;
inline const Bytes kWarmResetCommand(1, static_cast<char>(kWarmReset));

// XOR of every byte of a frame built so far (lead, length, payload); one byte.
Bytes ComputeLrc(const Bytes& frame);

// Builds a complete frame around a payload: lead byte, length, payload, LRC.
Bytes MakeFrame(const Bytes& payload);

class CommandTable {
 public:
  // Fills every entry; called once when the main window loads.
  void BuildCommandTable();
  const Bytes& operator[](Cmd cmd) const { return frames_[static_cast<std::size_t>(cmd)]; }

 private:
  std::array<Bytes, static_cast<std::size_t>(Cmd::Count)> frames_{};
};

// The "TK" entry for a track mask 1..7 (bit 0 track 1, bit 1 track 2, bit 2 track 3).
Cmd TrackSelectionCmd(int mask);

// A custom prefix ('p') or suffix ('s') frame for track 1..3: always six code bytes, 12 bytes.
Bytes BuildCodeFrame(char kind, int track, const std::array<std::uint8_t, 6>& codes);

// A custom separator frame: the "SP" head, one code byte, LRC; 7 bytes.
Bytes BuildSeparatorFrame(std::uint8_t code);

// The value of one two-character code box: first character the high half, second the low
// half; a character that is no hexadecimal digit counts as 0, an empty box is 0x00.
std::uint8_t HexCodeToByte(const std::string& text);

}  // namespace tkr::protocol
