#include "core/protocol/frames.h"

#include <algorithm>
#include <stdexcept>

#include "core/protocol/monitor_format.h"

namespace tkr::protocol {

Bytes ComputeLrc(const Bytes& frame) {
  std::uint8_t lrc = 0;
  for (char c : frame) lrc ^= static_cast<std::uint8_t>(c);
  return Bytes(1, static_cast<char>(lrc));
}

Bytes MakeFrame(const Bytes& payload) {
  const auto length = static_cast<std::uint16_t>(payload.size());
  Bytes frame = MakeBytes({kLeadByte, length >> 8, length & 0xFF});
  frame += payload;
  frame += ComputeLrc(frame);
  return frame;
}

void CommandTable::BuildCommandTable() {
  // Payloads by entry; "\0" arguments are real zero bytes, hence the explicit lengths.
  using namespace std::string_literals;
  const auto set = [this](Cmd cmd, const Bytes& payload) {
    frames_[static_cast<std::size_t>(cmd)] = MakeFrame(payload);
  };
  set(Cmd::DF, "DF\0"s);
  set(Cmd::RE, "RE\0"s);
  set(Cmd::RE1, "RE1");
  set(Cmd::RE2, "RE2");
  set(Cmd::RE3, "RE3");
  set(Cmd::BR0, "BR0");
  set(Cmd::BR1, "BR1");
  set(Cmd::BR2, "BR2");
  set(Cmd::BR3, "BR3");
  set(Cmd::BR4, "BR4");
  set(Cmd::PT0, "PT0");
  set(Cmd::PT1, "PT1");
  set(Cmd::PT2, "PT2");
  set(Cmd::PT3, "PT3");
  set(Cmd::PT4, "PT4");
  set(Cmd::PC1, "PC1");
  set(Cmd::PC2, "PC2");
  set(Cmd::PC3, "PC3");
  set(Cmd::ESD, "ESD");
  set(Cmd::ESE, "ESE");
  set(Cmd::LCD, "LCD");
  set(Cmd::LCE, "LCE");
  set(Cmd::RTD, "RTD");
  set(Cmd::RTE, "RTE");
  set(Cmd::CTD, "CTD");
  set(Cmd::CTE, "CTE");
  set(Cmd::BZD, "BZD");
  set(Cmd::BZE, "BZE");
  set(Cmd::JHD, "JHD");
  set(Cmd::JHE, "JHE");
  set(Cmd::SAD, "SAD");
  set(Cmd::SAE, "SAE");
  for (int mask = 1; mask <= 7; ++mask) {
    set(TrackSelectionCmd(mask), "TK" + std::to_string(mask));
  }
  set(Cmd::p1, "p1\0"s);
  set(Cmd::p2, "p2\0"s);
  set(Cmd::p3, "p3\0"s);
  set(Cmd::s1, "s1\0"s);
  set(Cmd::s2, "s2\0"s);
  set(Cmd::s3, "s3\0"s);
  set(Cmd::SP, "SP\0"s);
  // The separator head is a frame without its code byte and LRC; the dialog completes it.
  frames_[static_cast<std::size_t>(Cmd::SPHead)] = MakeBytes({kLeadByte, 0x00, 0x03, 'S', 'P'});
}

Cmd TrackSelectionCmd(int mask) {
  // The reader has no "no track" setting; the track check boxes never let the mask reach 0.
  if (mask < 1 || mask > 7) throw std::out_of_range("track mask must be 1..7");
  return static_cast<Cmd>(static_cast<int>(Cmd::TK1) + mask - 1);
}

Bytes BuildCodeFrame(char kind, int track, const std::array<std::uint8_t, 6>& codes) {
  Bytes payload{kind, static_cast<char>('0' + track)};
  for (std::uint8_t code : codes) payload.push_back(static_cast<char>(code));
  return MakeFrame(payload);
}

Bytes BuildSeparatorFrame(std::uint8_t code) {
  return MakeFrame(Bytes{'S', 'P', static_cast<char>(code)});
}

std::uint8_t HexCodeToByte(const std::string& text) {
  // The first character is the high half; every later one is added at weight 1 (a code box
  // holds at most two characters). Non-hex characters count as 0, never as an error.
  unsigned value = 0;
  unsigned weight = 16;
  for (char c : text) {
    value += weight * static_cast<unsigned>(std::max(HexDigitValue(c), 0));
    weight = 1;
  }
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace tkr::protocol
