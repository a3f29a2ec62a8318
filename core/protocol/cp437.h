#pragma once
// The OEM code page 437 glyphs that the console's fixed-pitch boxes show for each byte.
#include <cstdint>
#include <optional>

namespace tkr::protocol {

// Unicode code point of the glyph for a byte (0x00 shows as U+2400 so it is never invisible).
char32_t Cp437Glyph(std::uint8_t byte);

// The byte whose glyph is the code point (printable ASCII maps to itself), or nullopt.
std::optional<std::uint8_t> Cp437Byte(char32_t glyph);

}  // namespace tkr::protocol
