// Line settings strings and the code page 437 glyphs (the text controls' test
// takes every byte through its glyph and back).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>

#include "core/protocol/cp437.h"
#include "core/protocol/line_settings.h"

namespace tkr::protocol {
namespace {

// The monitor's hex forms are pinned by the link tests' exchanges, the port listing's and the
// simulator's tests; any byte through the monitor by the link fuzz target.
TEST(LineSettings, ParseAndCharacterBits) {
  struct Row { const char* name; const char* text; const char* settings; };
  const Row rows[] = {
      {"detection setting", "9600,n,8,1", "9600 n 8 1 10"},
      {"no parity seven bits", "2400,n,7,1", "2400 n 7 1 9"},
      {"fastest offered", "19200,s,7,1", "19200 s 7 1 10"},
      {"typed rate", "115200,o,7,2", "115200 o 7 2 11"},
      {"upper-case parity", "4800,M,7,1", "4800 m 7 1 10"},
      {"empty", "", "none"},
      {"baud only", "9600", "none"},
      {"zero baud", "0,n,8,1", "none"},
      {"baud with blank", "9600 ,n,8,1", "none"},
      {"unknown parity", "9600,x,8,1", "none"},
      {"one and a half stop bits", "9600,n,8,1.5", "none"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto p = ParseSettings(row.text);
    EXPECT_EQ(p ? std::to_string(p->baud) + " " + p->parity + " " + std::to_string(p->dataBits) + " " +
                      std::to_string(p->stopBits) + " " + std::to_string(std::lround(CharacterTime(*p) * p->baud))
                : "none",
              row.settings);
  }
}

TEST(Cp437, GlyphsOfEveryRange) {
  struct Row { const char* name; std::size_t first; std::u32string_view glyphs; };
  const Row rows[] = {
      {"NUL and controls", 0x00, U"\u2400☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"},
      {"printable ASCII", 0x20,
       U" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~⌂"},
      {"accented", 0x80, U"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»"},
      {"box drawing", 0xB0, U"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"},
      {"Greek and maths", 0xE0, U"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
  };
  std::size_t next = 0;  // the ranges follow each other up to 0xFF
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(row.first, next);
    for (char32_t glyph : row.glyphs) {
      EXPECT_EQ(std::uint32_t{Cp437Glyph(std::uint8_t(next))}, std::uint32_t{glyph}) << "byte " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, 256u);
}

}  // namespace
}  // namespace tkr::protocol
