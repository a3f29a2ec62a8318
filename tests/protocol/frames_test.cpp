#include "core/protocol/frames.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/protocol/hex_bytes.h"

namespace tkr::protocol {
namespace {

using test::Hex;

struct TableRow {
  const char* name;
  Cmd cmd;
  const char* hex;
};

const std::vector<TableRow> kTableRows = {
    {"DF", Cmd::DF, "09 00 03 44 46 00 08"},   {"RE", Cmd::RE, "09 00 03 52 45 00 1D"},
    {"RE1", Cmd::RE1, "09 00 03 52 45 31 2C"}, {"RE2", Cmd::RE2, "09 00 03 52 45 32 2F"},
    {"RE3", Cmd::RE3, "09 00 03 52 45 33 2E"}, {"BR0", Cmd::BR0, "09 00 03 42 52 30 2A"},
    {"BR1", Cmd::BR1, "09 00 03 42 52 31 2B"}, {"BR2", Cmd::BR2, "09 00 03 42 52 32 28"},
    {"BR3", Cmd::BR3, "09 00 03 42 52 33 29"}, {"BR4", Cmd::BR4, "09 00 03 42 52 34 2E"},
    {"PT0", Cmd::PT0, "09 00 03 50 54 30 3E"}, {"PT1", Cmd::PT1, "09 00 03 50 54 31 3F"},
    {"PT2", Cmd::PT2, "09 00 03 50 54 32 3C"}, {"PT3", Cmd::PT3, "09 00 03 50 54 33 3D"},
    {"PT4", Cmd::PT4, "09 00 03 50 54 34 3A"}, {"PC1", Cmd::PC1, "09 00 03 50 43 31 28"},
    {"PC2", Cmd::PC2, "09 00 03 50 43 32 2B"}, {"PC3", Cmd::PC3, "09 00 03 50 43 33 2A"},
    {"ESD", Cmd::ESD, "09 00 03 45 53 44 58"}, {"ESE", Cmd::ESE, "09 00 03 45 53 45 59"},
    {"LCD", Cmd::LCD, "09 00 03 4C 43 44 41"}, {"LCE", Cmd::LCE, "09 00 03 4C 43 45 40"},
    {"RTD", Cmd::RTD, "09 00 03 52 54 44 48"}, {"RTE", Cmd::RTE, "09 00 03 52 54 45 49"},
    {"CTD", Cmd::CTD, "09 00 03 43 54 44 59"}, {"CTE", Cmd::CTE, "09 00 03 43 54 45 58"},
    {"BZD", Cmd::BZD, "09 00 03 42 5A 44 56"}, {"BZE", Cmd::BZE, "09 00 03 42 5A 45 57"},
    {"JHD", Cmd::JHD, "09 00 03 4A 48 44 4C"}, {"JHE", Cmd::JHE, "09 00 03 4A 48 45 4D"},
    {"SAD", Cmd::SAD, "09 00 03 53 41 44 5C"}, {"SAE", Cmd::SAE, "09 00 03 53 41 45 5D"},
    {"TK1", Cmd::TK1, "09 00 03 54 4B 31 24"}, {"TK2", Cmd::TK2, "09 00 03 54 4B 32 27"},
    {"TK3", Cmd::TK3, "09 00 03 54 4B 33 26"}, {"TK4", Cmd::TK4, "09 00 03 54 4B 34 21"},
    {"TK5", Cmd::TK5, "09 00 03 54 4B 35 20"}, {"TK6", Cmd::TK6, "09 00 03 54 4B 36 23"},
    {"TK7", Cmd::TK7, "09 00 03 54 4B 37 22"}, {"p1", Cmd::p1, "09 00 03 70 31 00 4B"},
    {"p2", Cmd::p2, "09 00 03 70 32 00 48"},   {"p3", Cmd::p3, "09 00 03 70 33 00 49"},
    {"s1", Cmd::s1, "09 00 03 73 31 00 48"},   {"s2", Cmd::s2, "09 00 03 73 32 00 4B"},
    {"s3", Cmd::s3, "09 00 03 73 33 00 4A"},   {"SP", Cmd::SP, "09 00 03 53 50 00 09"},
    {"SP head", Cmd::SPHead, "09 00 03 53 50"},
};

TEST(CommandTable, EveryEntryIsByteExact) {
  CommandTable table;
  EXPECT_FALSE(table.built());
  table.BuildCommandTable();
  EXPECT_TRUE(table.built());
  ASSERT_EQ(kTableRows.size(), static_cast<std::size_t>(Cmd::Count)) << "a table entry has no row";
  for (const auto& row : kTableRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(table[row.cmd], Hex(row.hex));
  }
}

// The dialog's own test sends typed codes; here the frames no operator types easily.
TEST(Frames, CodeAndSeparatorFrames) {
  struct Row { const char* name; Bytes frame; const char* hex; };
  const Row rows[] = {
      // all-zero codes still make a 12-byte frame, unlike the one-argument "Default" entry
      {"all zero codes", BuildCodeFrame('p', 1, {}), "09 00 08 70 31 00 00 00 00 00 00 40"},
      {"high codes", BuildCodeFrame('s', 2, {0xFF, 0x80, 0, 0, 0, 0x01}),
       "09 00 08 73 32 FF 80 00 00 00 01 3E"},
      {"separator FF", BuildSeparatorFrame(0xFF), "09 00 03 53 50 FF F6"},
      {"last code head", BuildCodeFrameHeads()[5], "09 00 08 73 33"},
      // 300 bytes need both length bytes (the table's frames only the low one); 'A's XOR to 0
      {"300 bytes: length high byte first", MakeFrame(Bytes(300, 'A')).erase(3, 300), "09 01 2C 24"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.frame, Hex(row.hex));
  }
}

}  // namespace
}  // namespace tkr::protocol
