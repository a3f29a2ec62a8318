// Reply texts and the masking of account numbers.
#include "core/protocol/replies.h"

#include <gtest/gtest.h>

#include <string>

#include "core/protocol/card_mask.h"

namespace tkr::protocol {
namespace {

using namespace std::string_literals;

// "panel|caption|fetch caption" of a card type reply, "-" for none.
std::string TypeTexts(const Bytes& reply) {
  const auto t = CardTypeFor(reply);
  return t ? std::string(t->panel) + "|" + std::string(t->caption) + "|" +
                 std::string(t->fetchCaption)
           : "-";
}

// Each reply read as a status, through the card type gate and as a card type.
TEST(Replies, StatusAndCardTypeTexts) {
  const std::string k6 = "TK1,2&&3 7BPC&&210BPI same SS,ES";
  struct Row { const char* name; Bytes reply; const char* status; bool passes; std::string types; };
  const Row rows[] = {
      {"ack", "^", "ACK", false, "-"},
      {"no data", "+", "No Data", false, "-"},
      {"error", "*", "Error", false, "-"},
      {"communication error", "?", "Communication Error", false, "-"},
      {"invalid command", "!", "Invalid Command", false, "-"},
      {"power on", ":", "Power On Report", false, "-"},
      {"cannot execute", "~", "Cannot Execute", false, "-"},
      {"status with trailing CR", "^\r", "-", false, "-"},
      {"empty", "", "-", false, "-"},
      {"0", "0", "-", true, "unknow|unknow|Any type or no data"},
      {"1", "1", "-", true, "CA old DMV|CA old DMV|CA old DMV"},
      {"2", "2", "-", true, "AAMVA|AAMVA|AAMVA"},
      {"3", "3", "-", true, "ISO|ISO|ISO"},
      {"4", "4", "-", true, "JIS|JIS|JIS"},
      {"capital O", "O", "-", true, "Any Type|Any Type|Any Type"},
      {"6", "6", "-", true, "TK1, TK2 & TK3 7BPC&210BPI same SS, ES|" + k6 + "|" + k6},
      {"5 is held back", "5", "-", false, "-"},
      {"two digits pass the gate", "10", "-", true, "-"},
      {"5 with a tail passes", "5x", "-", true, "-"},
      {"7", "7", "-", false, "-"},
      {"lower case o", "o", "-", false, "-"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(StatusText(row.reply).value_or("-"), row.status);
    EXPECT_EQ(PassesCardTypeGate(row.reply), row.passes);
    EXPECT_EQ(TypeTexts(row.reply), row.types);
  }
}

std::string Describe(const std::vector<ConfigUpdate>& updates) {
  static const char* const kNames[] = {"SSES", "LRC",  "Protocol", "CTS",
                                       "RTS",  "JIS",  "SelfArm",  "Buzzer"};
  std::string out;
  for (const auto& u : updates) {
    if (!out.empty()) out += " | ";
    out.append(kNames[static_cast<int>(u.item)]).append("=").append(u.caption);
    if (u.boxValue) out.append("(").append(std::to_string(*u.boxValue)).append(")");
  }
  return out;
}

TEST(Replies, DecodeConfigStatus) {
  struct Row { const char* name; Bytes reply; const char* updates; };
  const Row rows[] = {
      {"empty reply changes nothing", "", ""},
      {"position 1 C", "C", "SSES=Included(1) | LRC=No LRC(0)"},
      {"position 3 4 is protocol 0", "004",
       "SSES=No SS&&ES(0) | LRC=Included(1) | Protocol=0 | CTS=Disable(0) | RTS=Disable(0)"},
      {"position 3 C is protocol 2", "C0C",
       "SSES=Included(1) | LRC=No LRC(0) | Protocol=2 | CTS=Disable(0) | RTS=Disable(0)"},
      {"five chars stop before position 6", "003FF",
       "SSES=No SS&&ES(0) | LRC=Included(1) | Protocol=0 | CTS=Enable(1) | RTS=Enable(1)"},
      {"position 6 D", "00000D",
       "SSES=No SS&&ES(0) | LRC=Included(1) | Protocol=0 | CTS=Disable(0) | RTS=Disable(0)"
       " | JIS=With(1) | SelfArm=Enable(1) | Buzzer=Enable(1)"},
      {"other positions and the tail are ignored", "4FBFF1\r\n",
       "SSES=No SS&&ES(0) | LRC=No LRC(0) | Protocol=1 | CTS=Enable(1) | RTS=Enable(1)"
       " | JIS=Without(0) | SelfArm=Disable(0) | Buzzer=Enable(1)"},
      {"no hex digits, lower case ones neither", "x\0\xFF..e"s,
       "SSES=No SS&&ES(0) | LRC=Included(1) | Protocol=0 | CTS=Disable(0) | RTS=Disable(0)"
       " | JIS=Without(0) | SelfArm=Disable(0) | Buzzer=Disable(0)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Describe(DecodeConfigStatus(row.reply)), row.updates);
  }
}

TEST(CardMask, AccountNumberKeepsFirstSixAndLastFourOnTracks1And2) {
  struct Row { const char* name; int track; Bytes data; Bytes masked; };
  const Row rows[] = {
      {"track 1 with sentinel", 1, "%B4111111111111111^DOE/JOHN^2512101?",
       "%B411111******1111^DOE/JOHN^2512101?"},
      {"track 2 with sentinel", 2, ";4111111111111111=2512101?", ";411111******1111=2512101?"},
      {"11 digits: one masked", 2, "12345678901=2512", "123456*8901=2512"},
      {"10 digits would show whole: all masked", 2, "1234567890=2512", "**********=2512"},
      {"short number all masked", 1, "B12345^A/B^2512101", "B*****^A/B^2512101"},
      {"track 1 without format code stays", 1, "A4111111111111111^X^2512",
       "A4111111111111111^X^2512"},
      {"track 2 without separator stays", 2, "4111111111111111", "4111111111111111"},
      {"track 3 stays", 3, "0112345678901234=7247", "0112345678901234=7247"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(MaskTrack(row.track, row.data), row.masked);
  }
  // tkr520ctl shows the fields of a financial track 1 with the number masked as above.
  const auto f = ParseFinancialTrack(1, "%B4111111111111111^DOE/JOHN^2512101000?");
  ASSERT_TRUE(f);
  EXPECT_EQ((std::vector<std::string>{f->pan, f->name, f->expiry, f->serviceCode}),
            (std::vector<std::string>{"4111111111111111", "DOE/JOHN", "2512", "101"}));
  EXPECT_FALSE(ParseFinancialTrack(1, "%B4111^DOE/JOHN^25"));
}

}  // namespace
}  // namespace tkr::protocol
