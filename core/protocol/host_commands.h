#pragma once
// The single-byte host commands and the command list of the console's command box.
#include <span>
#include <string_view>

#include "core/protocol/bytes.h"
#include "core/protocol/frames.h"

namespace tkr::protocol {

// What the console does besides sending and waiting for a list row.
enum class SideEffect { None, CardTypeReport, PauseBox, ResumeBox };

struct HostCommandRow {
  std::string_view text;  // list text, as displayed
  int itemCode;           // the row's item data, 0..31
  SideEffect effect;
};

// The 32 rows in displayed (alphabetical) order.
std::span<const HostCommandRow> HostCommandList();

// The bytes that item code 0..31 sends; empty for an unknown code.
Bytes HostCommandBytes(int itemCode, const CommandTable& table);

// The row for an item code, or nullptr.
const HostCommandRow* FindHostCommand(int itemCode);

}  // namespace tkr::protocol
