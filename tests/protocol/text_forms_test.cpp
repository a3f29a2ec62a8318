// Monitor dump, status panel form, line settings strings and the code page 437 glyphs.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/protocol/cp437.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"

namespace tkr::protocol {
namespace {

using namespace std::string_literals;

TEST(MonitorFormat, HexDumpLine) {
  struct Row { const char* name; Bytes data; std::string line; };
  const Row rows[] = {
      {"version command", "9", "39h \r\n"},
      {"empty reception", "", "\r\n"},
      {"CR LF", "\r\n", "0Dh 0Ah \r\n"},
      {"zero and top byte", "\0\xFF"s, "00h FFh \r\n"},
      {"upper case only", "\xAB\x0c", "ABh 0Ch \r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(HexDumpLine(row.data), row.line);
  }
}

TEST(MonitorFormat, ReadableCommand) {
  struct Row { const char* name; Bytes command; Bytes shown; };
  const Row rows[] = {
      {"NUL", "\0"s, "[00]"},
      {"tab", "\t", "[09]"},
      {"fifteen", "\x0F", "[0F]"},
      {"sixteen", "\x10", "[10]"},
      {"ESC", "\x1B", "[1B]"},
      {"unit separator", "\x1F", "[1F]"},
      {"RE1 frame", "\x09\x00\x03RE1,"s, "[09][00][03]RE1,"},
      {"DEL unchanged", "\x7F", "\x7F"},
      {"high bytes unchanged", "\x80\xFF", "\x80\xFF"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ReadableCommand(row.command), row.shown);
  }
}

TEST(MonitorFormat, HexCodeHasNoLeadingZero) {
  EXPECT_EQ(HexCode(0x09), "9");
  EXPECT_EQ(HexCode(0x7F), "7F");
  EXPECT_EQ(HexCode(0x00), "0");
  EXPECT_EQ(HexCode(0x10), "10");
  EXPECT_EQ(HexCode(0xAB), "AB");
}

TEST(MonitorFormat, HexBytesAndHex16) {
  EXPECT_EQ(HexBytes("\x02\x39\xFF"s, " "), "02 39 FF");
  EXPECT_EQ(HexBytes("\0\xab"s), "00AB");
  EXPECT_EQ(HexBytes("", " "), "");
  EXPECT_EQ(Hex16(0x0403), "0403");  // high byte first
}

TEST(LineSettings, Parse) {
  struct Row { const char* name; const char* text; std::optional<LineSettings> settings; };
  const Row rows[] = {
      {"detection setting", "9600,n,8,1", LineSettings{9600, 'n', 8, 1}},
      {"fastest offered", "19200,s,7,1", LineSettings{19200, 's', 7, 1}},
      {"typed rate", "115200,o,7,2", LineSettings{115200, 'o', 7, 2}},
      {"upper-case parity", "4800,M,7,1", LineSettings{4800, 'm', 7, 1}},
      {"empty", "", std::nullopt},
      {"baud only", "9600", std::nullopt},
      {"zero baud", "0,n,8,1", std::nullopt},
      {"baud with blank", "9600 ,n,8,1", std::nullopt},
      {"unknown parity", "9600,x,8,1", std::nullopt},
      {"one and a half stop bits", "9600,n,8,1.5", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto parsed = ParseSettings(row.text);
    ASSERT_EQ(parsed.has_value(), row.settings.has_value());
    if (parsed) {
      EXPECT_EQ(parsed->baud, row.settings->baud);
      EXPECT_EQ(parsed->parity, row.settings->parity);
      EXPECT_EQ(parsed->dataBits, row.settings->dataBits);
      EXPECT_EQ(parsed->stopBits, row.settings->stopBits);
    }
  }
}

TEST(LineSettings, SplitAsTheLabelsShowIt) {
  struct Row { const char* name; const char* text; const char* baud; const char* frame; };
  const Row rows[] = {
      {"usual", "9600,n,8,1", "9600", "n,8,1"},
      {"no comma", "9600", "9600", ""},
      {"empty", "", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto parts = SplitSettings(row.text);
    EXPECT_EQ(parts.baud, row.baud);
    EXPECT_EQ(parts.frame, row.frame);
  }
}

TEST(LineSettings, CharacterTime) {
  EXPECT_DOUBLE_EQ(CharacterTime({9600, 'n', 8, 1}), 10.0 / 9600);
  EXPECT_DOUBLE_EQ(CharacterTime({1200, 'e', 7, 1}), 10.0 / 1200);
  EXPECT_DOUBLE_EQ(CharacterTime({19200, 's', 7, 2}), 11.0 / 19200);
  EXPECT_DOUBLE_EQ(CharacterTime({2400, 'n', 7, 1}), 9.0 / 2400);
}

// Decodes a UTF-8 literal into code points, so glyph rows can be written as they look.
std::u32string Utf8ToCodePoints(std::string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? lead : (lead & (0x3Fu >> extra));
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    out.push_back(cp);
    i += 1 + static_cast<std::size_t>(extra);
  }
  return out;
}

TEST(Cp437, GlyphsOfEveryRange) {
  struct Row { const char* name; std::uint8_t first; std::size_t count; const char* glyphs; };
  const Row rows[] = {
      {"NUL and controls", 0x00, 32, "\u2400☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"},
      {"printable ASCII", 0x20, 96,
       " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~⌂"},
      {"accented", 0x80, 48, "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»"},
      {"box drawing", 0xB0, 48, "░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"},
      {"Greek and maths", 0xE0, 32, "αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::u32string glyphs = Utf8ToCodePoints(row.glyphs);
    ASSERT_EQ(glyphs.size(), row.count);
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
      const auto byte = static_cast<std::uint8_t>(row.first + i);
      EXPECT_EQ(static_cast<std::uint32_t>(Cp437Glyph(byte)), static_cast<std::uint32_t>(glyphs[i]))
          << "byte " << int{byte};
    }
  }
}

TEST(Cp437, ByteIsTheInverseOfGlyph) {
  std::set<char32_t> seen;
  for (int b = 0; b <= 0xFF; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    EXPECT_TRUE(seen.insert(Cp437Glyph(byte)).second) << "two bytes share a glyph at " << b;
    EXPECT_EQ(Cp437Byte(Cp437Glyph(byte)), byte);
  }
  EXPECT_EQ(Cp437Byte(U'\0'), std::uint8_t{0});
  EXPECT_EQ(Cp437Byte(U'\r'), std::nullopt);   // shown as ♪, not as itself
  EXPECT_EQ(Cp437Byte(U'\u20AC'), std::nullopt);  // euro sign is not on the code page
  EXPECT_EQ(Cp437Byte(U'\x7F'), std::nullopt);
}

}  // namespace
}  // namespace tkr::protocol
