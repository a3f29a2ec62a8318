#pragma once
// Text forms of line data: the monitor's hex dump, the status bar's readable command, and
// the hex the programs print. Hex digits are upper-case everywhere.
#include <cstdint>
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

// The digit of a value 0..15 (higher bits are ignored).
char HexDigit(unsigned value);
// The value of a hexadecimal digit, 0..15: "0".."9", "A".."F" and, unless upperOnly, "a".."f";
// -1 for any other character.
int HexDigitValue(char c, bool upperOnly = false);
// Two digits per byte, `separator` between bytes: ("\x02\x39", " ") gives "02 39".
std::string HexBytes(const Bytes& bytes, std::string_view separator = {});
// Four digits, as USB vendor and product ids are written: 0x403 gives "0403".
std::string Hex16(std::uint16_t value);

}  // namespace tkr::protocol
