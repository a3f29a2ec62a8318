#pragma once
// Text forms of line data: the monitor's hex dump and the status bar's readable command.
#include <string>
#include <string_view>

#include "core/protocol/bytes.h"

namespace tkr::protocol {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHeaderToReader = "PC-->MSR";
constexpr std::string_view kHeaderFromReader = "PC<--MSR";

// "39h " per byte, upper-case, two digits, then CR LF.
std::string HexDumpLine(const Bytes& data);

// Control characters 0..31 as "[0D]"-style codes; every other byte unchanged.
Bytes ReadableCommand(const Bytes& command);

// Printable ASCII as it is, a backslash doubled, every other byte as \xHH: line data as
// plain text that shows every byte and survives any terminal or text encoding.
std::string EscapeBytes(const Bytes& bytes);

// Upper-case hex of a byte without leading zero ("9", "7F"): the status panel's pre-send mark.
std::string HexCode(std::uint8_t byte);

}  // namespace tkr::protocol
