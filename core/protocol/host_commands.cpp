#include "core/protocol/host_commands.h"

#include <algorithm>
#include <array>

namespace tkr::protocol {

namespace {

constexpr std::array<HostCommandRow, 32> kRows{{
    {"Abort", 24, SideEffect::None},
    {"Card Type Report", 23, SideEffect::CardTypeReport},
    {"Configuration Request", 12, SideEffect::None},
    {"Green LED Blinking", 17, SideEffect::None},
    {"Green LED Off", 14, SideEffect::None},
    {"Green LED On", 13, SideEffect::None},
    {"One Long Beep", 19, SideEffect::None},
    {"One Short Beep", 20, SideEffect::None},
    {"Pause Transmit", 21, SideEffect::PauseBox},
    {"Read Channel Setting", 31, SideEffect::None},
    {"Read Config Status", 29, SideEffect::None},
    {"Read EEPROM Data", 28, SideEffect::None},
    {"Read Prefix & Suffix Setting", 30, SideEffect::None},
    {"Reader Status Report", 27, SideEffect::None},
    {"Ready to read", 1, SideEffect::None},
    {"Ready to read", 0, SideEffect::None},
    {"Red LED Blinking", 18, SideEffect::None},
    {"Red LED Off", 16, SideEffect::None},
    {"Red LED On", 15, SideEffect::None},
    {"Resume Transmit", 22, SideEffect::ResumeBox},
    {"Retransmit", 11, SideEffect::None},
    {"Transmit Customized Data, Track 1", 5, SideEffect::None},
    {"Transmit Customized Data, Track 2", 6, SideEffect::None},
    {"Transmit Customized Data, Track 3", 7, SideEffect::None},
    {"Transmit Reverse Customized Data, Track 1", 8, SideEffect::None},
    {"Transmit Reverse Customized Data, Track 2", 9, SideEffect::None},
    {"Transmit Reverse Customized Data, Track 3", 10, SideEffect::None},
    {"Transmit Standard Data, Track 1", 2, SideEffect::None},
    {"Transmit Standard Data, Track 2", 3, SideEffect::None},
    {"Transmit Standard Data, Track 3", 4, SideEffect::None},
    {"Version Report", 25, SideEffect::None},
    {"Warm Reset", 26, SideEffect::None},
}};

// The single-byte commands indexed by item code 0..27; 28..31 are read-out frames.
constexpr std::string_view kSingleByteCommands =
    "PpQRSUVWuvw%#LlMm()Zz\x13\x11T\x1B"
    "9\x7F$";
static_assert(kSingleByteCommands.size() == 28);

}  // namespace

std::span<const HostCommandRow> HostCommandList() {
  return kRows;
}

Bytes HostCommandBytes(int itemCode, const CommandTable& table) {
  if (itemCode >= 0 && itemCode < static_cast<int>(kSingleByteCommands.size())) {
    return Bytes(1, kSingleByteCommands[static_cast<std::size_t>(itemCode)]);
  }
  switch (itemCode) {
    case 28:
      return table[Cmd::RE];
    case 29:
      return table[Cmd::RE1];
    case 30:
      return table[Cmd::RE2];
    case 31:
      return table[Cmd::RE3];
    default:
      return {};
  }
}

const HostCommandRow* FindHostCommand(int itemCode) {
  const auto it = std::find_if(kRows.begin(), kRows.end(), [itemCode](const HostCommandRow& row) {
    return row.itemCode == itemCode;
  });
  return it == kRows.end() ? nullptr : &*it;
}

}  // namespace tkr::protocol
