#include "core/protocol/host_commands.h"

#include <gtest/gtest.h>

#include "tests/protocol/hex_bytes.h"

namespace tkr::protocol {
namespace {

using test::Hex;

struct ListRow {
  const char* text;
  int itemCode;
  SideEffect effect;
  const char* bytes;  // hex
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
    EXPECT_EQ(HostCommandBytes(want.itemCode, table), Hex(want.bytes));
    const HostCommandRow* found = FindHostCommand(want.itemCode);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &list[i]);  // the two "Ready to read" rows stay apart
  }
  for (int code : {-1, 32}) {
    EXPECT_EQ(HostCommandBytes(code, table), Bytes()) << code;
    EXPECT_EQ(FindHostCommand(code), nullptr) << code;
  }
}

}  // namespace
}  // namespace tkr::protocol
