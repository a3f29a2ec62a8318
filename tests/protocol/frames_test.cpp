// Command frames, the host command list, line settings strings and the code page 437 glyphs.
#include "core/protocol/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core/protocol/cp437.h"
#include "core/protocol/host_commands.h"
#include "core/protocol/line_settings.h"
#include "tests/protocol/hex_bytes.h"

namespace tkr::protocol {
namespace {

using test::Hex;

struct TableRow {
  const char* name;
  Cmd cmd;
  const char* hex;
};

// The entries whose frames no other test shows: the toggles', the defaults', the dialogs' and
// tkr520ctl's frames are pinned on the line, the read-outs with the command list below.
const std::vector<TableRow> kTableRows = {
    {"BR0", Cmd::BR0, "09 00 03 42 52 30 2A"},  {"BR1", Cmd::BR1, "09 00 03 42 52 31 2B"},
    {"BR2", Cmd::BR2, "09 00 03 42 52 32 28"},  {"BR3", Cmd::BR3, "09 00 03 42 52 33 29"},
    {"PT1", Cmd::PT1, "09 00 03 50 54 31 3F"},  {"PT2", Cmd::PT2, "09 00 03 50 54 32 3C"},
    {"PT3", Cmd::PT3, "09 00 03 50 54 33 3D"},  {"PT4", Cmd::PT4, "09 00 03 50 54 34 3A"},
    {"ESE", Cmd::ESE, "09 00 03 45 53 45 59"},  {"LCE", Cmd::LCE, "09 00 03 4C 43 45 40"},
    {"BZE", Cmd::BZE, "09 00 03 42 5A 45 57"},  {"JHD", Cmd::JHD, "09 00 03 4A 48 44 4C"},
    {"SAD", Cmd::SAD, "09 00 03 53 41 44 5C"},  {"TK1", Cmd::TK1, "09 00 03 54 4B 31 24"},
    {"TK2", Cmd::TK2, "09 00 03 54 4B 32 27"},  {"TK3", Cmd::TK3, "09 00 03 54 4B 33 26"},
    {"TK7", Cmd::TK7, "09 00 03 54 4B 37 22"},  {"s3", Cmd::s3, "09 00 03 73 33 00 4A"},
    {"SP head", Cmd::SPHead, "09 00 03 53 50"},
};

TEST(CommandTable, EntriesAreByteExact) {
  CommandTable table;
  table.BuildCommandTable();
  for (const auto& row : kTableRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(table[row.cmd], Hex(row.hex));
  }
}

// The dialog's own test sends typed codes; here the frames no operator types easily.
TEST(Frames, CodeAndSeparatorFrames) {
  struct Row {
    const char* name;
    Bytes frame;
    const char* hex;
  };
  const Row rows[] = {
      // all-zero codes still make a 12-byte frame, unlike the one-argument "Default" entry
      {"all zero codes", BuildCodeFrame('p', 1, {}), "09 00 08 70 31 00 00 00 00 00 00 40"},
      {"high codes", BuildCodeFrame('s', 2, {0xFF, 0x80, 0, 0, 0, 0x01}),
       "09 00 08 73 32 FF 80 00 00 00 01 3E"},
      // 300 bytes need both length bytes (the table's frames only the low one); 'A's XOR to 0
      {"300 bytes: length high byte first", MakeFrame(Bytes(300, 'A')).erase(3, 300),
       "09 01 2C 24"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.frame, Hex(row.hex));
  }
}

struct ListRow {
  const char* text;
  int itemCode;
  SideEffect effect;
  const char* hex;
};

// The command box as the operator sees it, top to bottom.
const ListRow kList[] = {
    {"Abort", 24, SideEffect::None, "1B"},
    {"Card Type Report", 23, SideEffect::CardTypeReport, "54"},
    {"Configuration Request", 12, SideEffect::None, "23"},
    {"Green LED Blinking", 17, SideEffect::None, "28"},
    {"Green LED Off", 14, SideEffect::None, "6C"},
    {"Green LED On", 13, SideEffect::None, "4C"},
    {"One Long Beep", 19, SideEffect::None, "5A"},
    {"One Short Beep", 20, SideEffect::None, "7A"},
    {"Pause Transmit", 21, SideEffect::PauseBox, "13"},
    {"Read Channel Setting", 31, SideEffect::None, "09 00 03 52 45 33 2E"},
    {"Read Config Status", 29, SideEffect::None, "09 00 03 52 45 31 2C"},
    {"Read EEPROM Data", 28, SideEffect::None, "09 00 03 52 45 00 1D"},
    {"Read Prefix & Suffix Setting", 30, SideEffect::None, "09 00 03 52 45 32 2F"},
    {"Reader Status Report", 27, SideEffect::None, "24"},
    {"Ready to read", 1, SideEffect::None, "70"},
    {"Ready to read", 0, SideEffect::None, "50"},
    {"Red LED Blinking", 18, SideEffect::None, "29"},
    {"Red LED Off", 16, SideEffect::None, "6D"},
    {"Red LED On", 15, SideEffect::None, "4D"},
    {"Resume Transmit", 22, SideEffect::ResumeBox, "11"},
    {"Retransmit", 11, SideEffect::None, "25"},
    {"Transmit Customized Data, Track 1", 5, SideEffect::None, "55"},
    {"Transmit Customized Data, Track 2", 6, SideEffect::None, "56"},
    {"Transmit Customized Data, Track 3", 7, SideEffect::None, "57"},
    {"Transmit Reverse Customized Data, Track 1", 8, SideEffect::None, "75"},
    {"Transmit Reverse Customized Data, Track 2", 9, SideEffect::None, "76"},
    {"Transmit Reverse Customized Data, Track 3", 10, SideEffect::None, "77"},
    {"Transmit Standard Data, Track 1", 2, SideEffect::None, "51"},
    {"Transmit Standard Data, Track 2", 3, SideEffect::None, "52"},
    {"Transmit Standard Data, Track 3", 4, SideEffect::None, "53"},
    {"Version Report", 25, SideEffect::None, "39"},
    {"Warm Reset", 26, SideEffect::None, "7F"},
};

TEST(HostCommands, ListRowsInDisplayedOrderWithTheirBytesAndNoOthers) {
  CommandTable table;
  table.BuildCommandTable();
  const auto list = HostCommandList();
  ASSERT_EQ(list.size(), std::size(kList));
  for (std::size_t i = 0; i < list.size(); ++i) {
    const ListRow& want = kList[i];
    SCOPED_TRACE(std::string(want.text) + " #" + std::to_string(want.itemCode));
    EXPECT_EQ(list[i].text, want.text);
    EXPECT_EQ(list[i].itemCode, want.itemCode);
    EXPECT_EQ(list[i].effect, want.effect);
    EXPECT_EQ(HostCommandBytes(want.itemCode, table), Hex(want.hex));
    const HostCommandRow* found = FindHostCommand(want.itemCode);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &list[i]);  // the two "Ready to read" rows stay apart
  }
}

// Line settings strings and the code page 437 glyphs (the text controls' test
// takes every byte through its glyph and back).
// The monitor's hex forms are pinned by the link tests' exchanges, the port listing's and the
// simulator's tests; any byte through the monitor by the link fuzz target.
TEST(LineSettings, ParseAndCharacterBits) {
  struct Row {
    const char* name;
    const char* text;
    const char* settings;
  };
  const Row rows[] = {
      {"detection setting", "9600,n,8,1", "9600 n 8 1 10"},
      {"typed rate", "115200,o,7,2", "115200 o 7 2 11"},
      {"upper-case parity", "4800,M,7,1", "4800 m 7 1 10"},
      {"unknown parity", "9600,x,8,1", "none"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto p = ParseSettings(row.text);
    const auto bits = [&] { return std::lround(CharacterTime(*p) * p->baud); };
    EXPECT_EQ(p ? std::to_string(p->baud) + " " + p->parity + " " + std::to_string(p->dataBits) +
                      " " + std::to_string(p->stopBits) + " " + std::to_string(bits())
                : "none",
              row.settings);
  }
}

TEST(Cp437, GlyphsOfEveryRange) {
  struct Row {
    const char* name;
    std::size_t first;
    std::u32string_view glyphs;
  };
  const Row rows[] = {
      {"NUL and controls", 0x00, U"\u2400☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"},
      {"printable ASCII", 0x20,
       U" !\"#$%&'()*+,-./"
       U"0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~⌂"},
      {"accented", 0x80, U"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»"},
      {"box drawing", 0xB0, U"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"},
      {"Greek and maths", 0xE0, U"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0"},
  };
  std::size_t next = 0;  // the ranges follow each other up to 0xFF
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(row.first, next);
    for (char32_t glyph : row.glyphs) {
      EXPECT_EQ(std::uint32_t{Cp437Glyph(std::uint8_t(next))}, std::uint32_t{glyph})
          << "byte " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, 256u);
}

}  // namespace
}  // namespace tkr::protocol
