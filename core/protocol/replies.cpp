#include "core/protocol/replies.h"

#include <array>
#include <utility>

#include "core/protocol/monitor_format.h"

namespace tkr::protocol {

namespace {

constexpr std::array<std::pair<char, std::string_view>, 7> kStatusCodes{{
    {'^', "ACK"},
    {'+', "No Data"},
    {'*', "Error"},
    {'?', "Communication Error"},
    {'!', "Invalid Command"},
    {':', "Power On Report"},
    {'~', "Cannot Execute"},
}};

constexpr std::string_view kType6Caption = "TK1,2&&3 7BPC&&210BPI same SS,ES";

constexpr std::array<std::pair<char, CardTypeTexts>, 7> kCardTypes{{
    {'0', {"unknow", "unknow", "Any type or no data"}},
    {'1', {"CA old DMV", "CA old DMV", "CA old DMV"}},
    {'2', {"AAMVA", "AAMVA", "AAMVA"}},
    {'3', {"ISO", "ISO", "ISO"}},
    {'4', {"JIS", "JIS", "JIS"}},
    {'O', {"Any Type", "Any Type", "Any Type"}},
    {'6', {"TK1, TK2 & TK3 7BPC&210BPI same SS, ES", kType6Caption, kType6Caption}},
}};

template <typename Table>
auto FindOneChar(const Table& table, const Bytes& reply) -> decltype(&table[0].second) {
  if (reply.size() != 1) return nullptr;
  for (const auto& [code, value] : table) {
    if (code == reply[0]) return &value;
  }
  return nullptr;
}

std::string_view EnableText(bool set) {
  return set ? "Enable" : "Disable";
}

}  // namespace

bool IsVersionReport(const Bytes& reply) {
  return reply.starts_with("TKR510") || reply.starts_with("510");
}

bool IsConfigStatus(const Bytes& reply) {
  const auto hex = [](char c) { return HexDigitValue(c, true) >= 0; };
  return reply.size() >= 6 && hex(reply[0]) && hex(reply[2]) && hex(reply[5]);
}

std::optional<std::string_view> StatusText(const Bytes& reply) {
  if (const auto* text = FindOneChar(kStatusCodes, reply)) return *text;
  return std::nullopt;
}

bool PassesCardTypeGate(const Bytes& reply) {
  // Ordinal comparison of the whole reply, so "10" or "0\r" pass too; only exact codes get a text.
  return reply == "O" || (reply >= "0" && reply <= "6" && reply != "5");
}

std::optional<CardTypeTexts> CardTypeFor(const Bytes& reply) {
  if (const auto* texts = FindOneChar(kCardTypes, reply)) return *texts;
  return std::nullopt;
}

bool HexDigitHasBits(char digit, std::uint16_t mask) {
  // Lower case reads as no digit at all: the reader only sends capitals.
  const int value = HexDigitValue(digit, true);
  if (value < 0) return false;
  return (static_cast<unsigned>(value) & mask) == mask;
}

std::vector<ConfigUpdate> DecodeConfigStatus(const Bytes& reply) {
  std::vector<ConfigUpdate> updates;
  if (!reply.empty()) {
    const char c = reply[0];
    const bool sses = HexDigitHasBits(c, 8);
    const bool noLrc = HexDigitHasBits(c, 4);  // set bit means the LRC is left out
    updates.push_back({ConfigItem::SSES, sses ? "Included" : "No SS&&ES", sses ? 1 : 0});
    updates.push_back({ConfigItem::LRC, noLrc ? "No LRC" : "Included", noLrc ? 0 : 1});
  }
  if (reply.size() >= 3) {
    const char c = reply[2];
    const std::string_view protocol = !HexDigitHasBits(c, 8)   ? "0"
                                      : HexDigitHasBits(c, 12) ? "2"
                                                               : "1";
    const bool cts = HexDigitHasBits(c, 1);
    const bool rts = HexDigitHasBits(c, 2);
    updates.push_back({ConfigItem::Protocol, protocol, std::nullopt});
    updates.push_back({ConfigItem::CTS, EnableText(cts), cts ? 1 : 0});
    updates.push_back({ConfigItem::RTS, EnableText(rts), rts ? 1 : 0});
  }
  if (reply.size() >= 6) {
    const char c = reply[5];
    const bool jis = HexDigitHasBits(c, 8);
    const bool selfArm = HexDigitHasBits(c, 4);
    const bool buzzer = HexDigitHasBits(c, 1);
    updates.push_back({ConfigItem::JIS, jis ? "With" : "Without", jis ? 1 : 0});
    updates.push_back({ConfigItem::SelfArm, EnableText(selfArm), selfArm ? 1 : 0});
    updates.push_back({ConfigItem::Buzzer, EnableText(buzzer), buzzer ? 1 : 0});
  }
  return updates;
}

}  // namespace tkr::protocol
