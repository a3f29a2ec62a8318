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
  struct Row {
    const char* name;
    Bytes reply;
    const char* status;
    bool passes;
    std::string types;
  };
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
  static const char* const kNames[] = {"SSES", "LRC", "Protocol", "CTS",
                                       "RTS",  "JIS", "SelfArm",  "Buzzer"};
  std::string out;
  for (const auto& u : updates) {
    if (!out.empty()) out += " | ";
    out.append(kNames[static_cast<int>(u.item)]).append("=").append(u.caption);
    if (u.boxValue) out.append("(").append(std::to_string(*u.boxValue)).append(")");
  }
  return out;
}

TEST(Replies, DecodeConfigStatus) {
  struct Row {
    const char* name;
    Bytes reply;
    const char* updates;
  };
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

// What tkr520ctl prints of data from the reader in its default mode: the bytes with every
// account number masked, and the fields it reads from a financial track 1 or 2 ("-": none).
TEST(CardMask, NoAccountNumberShowsInAnyShapeOfData) {
  struct Row {
    const char* name;
    int track;
    Bytes data, masked;
    const char* fields;
  };
  const Row rows[] = {
      {"track 1 cut after the number", 1, "%B4111111111111111?", "%B411111******1111?", "-"},
      {"track 2 cut after the number", 2, ";4111111111111111?", ";411111******1111?", "-"},
      {"track 1 with a space for its separator", 1, "%B4111111111111111 2512101000?",
       "%B411111******1111 2512101000?", "-"},
      {"track 2 with D for its separator", 2, ";4111111111111111D2512101?",
       ";411111******1111D2512101?", "-"},
      {"track 1 whole, its LRC a ';' with nothing after it", 1,
       "%B4111111111111111^DOE/JOHN^2512101000000000000000?;",
       "%B411111******1111^DOE/JOHN^2512101000000000000000?;",
       "411111******1111|DOE/JOHN|2512|101"},
      {"track 2 whole: discretionary zeros pass the Luhn check but stay", 2,
       ";4111111111111111=25121010000000000000?8", ";411111******1111=25121010000000000000?8",
       "411111******1111||2512|101"},
      {"track 3: format code, number, fields", 3, ";0112345678901234=724724100000000000030300?<",
       ";01123456****1234=724724100000000000030300?<", "-"},
      {"track 3 without sentinels: the format code is taken for digits of the number", 3,
       "0112345678901234=724724100000000000030300", "011234******1234=724724100000000000030300",
       "-"},
      {"track 1 without sentinels", 1, "B4111111111111111^DOE/JOHN^2512101",
       "B411111******1111^DOE/JOHN^2512101", "411111******1111|DOE/JOHN|2512|101"},
      {"track 2 without sentinels, 11 digits: one masked", 2, "12345678901=2512101",
       "123456*8901=2512101", "123456*8901||2512|101"},
      {"10 digits: all masked", 2, ";1234567890=2512101?", ";**********=2512101?",
       "**********||2512|101"},
      {"short number on track 1", 1, "%B12345^A/B^2512101?", "%B*****^A/B^2512101?",
       "*****|A/B|2512|101"},
      {"19 digits", 2, ";4000000000000000006=2512101??", ";400000*********0006=2512101??",
       "400000*********0006||2512|101"},
      {"20 digits after the sentinel: only the first 6 show", 2, ";41111111111111111111=2512101?",
       ";411111**************=2512101?", "-"},
      {"digits run on from the sentinel: only the first 6 show", 2,
       ";4111111111111111251210100000?", ";411111**********************?", "-"},
      {"digits run into the separator: only the last 4 show", 2, "1234567890123456789012=2512101",
       "******************9012=2512101", "-"},
      {"track 2 without sentinels cut short, its check digit run on", 2, "41111111111111111",
       "411111******11111", "-"},
      {"a number alone", 0, "card 4111111111111111 ok", "card 411111******1111 ok", "-"},
      {"15 digits alone", 0, "378282246310005", "378282*****0005", "-"},
      {"12 digits passing the Luhn check are a number, 11 are not", 0, "123456789015 12345678903",
       "123456**9015 12345678903", "-"},
      {"20 digits with no 12 to 19 of them passing the Luhn check stay", 0, "60950703384443371977",
       "60950703384443371977", "-"},
      {"16 digits failing the Luhn check stay", 0, "ref 4111111111111114 ok",
       "ref 4111111111111114 ok", "-"},
      {"a number with its expiry and more run on", 0, "4111111111111111251210100000",
       "411111******************0000", "-"},
      {"digits parted by 0x00", 0,
       "\0"
       "4111111111\0"
       "111111\0"s,
       "\0"
       "411111****\0"
       "**1111\0"s,
       "-"},
      {"bit 7 set by mark parity", 2,
       "\xBB\xB4\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xB1\xBF",
       "\xBB\xB4\xB1\xB1\xB1\xB1\xB1******\xB1\xB1\xB1\xB1\xBF", "-"},
      {"0xFF noise around a number", 0,
       "\xFF\xFF"
       "5500000000000004\xFF",
       "\xFF\xFF"
       "550000******0004\xFF",
       "-"},
      {"two tracks of a swipe", 0,
       "%B5500000000000004^SMITH/ANN^2706101?J\r;5500000000000004=2706101?>\r",
       "%B550000******0004^SMITH/ANN^2706101?J\r;550000******0004=2706101?>\r", "-"},
      {"tracks without sentinels parted by a comma", 0,
       "B4111111111111111^DOE/JOHN^2512101000,4111111111111111=2512101",
       "B411111******1111^DOE/JOHN^2512101000,411111******1111=2512101", "-"},
      {"track 1 cut in the name, then an ACK and a number", 0,
       "%B4111111111111111^DOE/J?^5500000000000004", "%B411111******1111^DOE/J?^550000******0004",
       "-"},
      {"an ACK, then a track 2 without sentinels", 0, "^6012345678901234=30011010000",
       "^601234******1234=30011010000", "-"},
      {"B within a word is no format code", 0, "LAB12345 B12345", "LAB12345 B*****", "-"},
      {"firmware, status, a date, a count and a time stamp stay", 0,
       "TKR510V1.07^80007134 2512 x3 20261231235959", "TKR510V1.07^80007134 2512 x3 20261231235959",
       "-"},
      {"the settings dump's zero padding stays", 0,
       "080007010304000000000000000000000000000000000D",
       "080007010304000000000000000000000000000000000D", "-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(MaskCardNumbers(row.data), row.masked);
    if (row.track == 0) continue;
    EXPECT_EQ(MaskTrack(row.track, row.data), row.masked);
    const auto f = ParseFinancialTrack(row.track, row.data);
    EXPECT_EQ(f ? MaskPan(f->pan) + "|" + f->name + "|" + f->expiry + "|" + f->serviceCode : "-",
              row.fields);
  }
}

}  // namespace
}  // namespace tkr::protocol
