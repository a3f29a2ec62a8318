#pragma once
// Decoding of the reader's short unframed answers: status codes, card type, configuration.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/protocol/bytes.h"

namespace tkr::protocol {

// The reader's answer to the version command "9" starts "TKR510" or "510".
bool IsVersionReport(const Bytes& reply);

// The configuration answer carries upper-case hexadecimal digits at its 1st, 3rd and 6th
// characters.
bool IsConfigStatus(const Bytes& reply);

// Text for a reply that is exactly one of the seven status characters, else nullopt.
std::optional<std::string_view> StatusText(const Bytes& reply);

// The card type gate: "O", or between "0" and "6" in ordinal string order but not "5".
bool PassesCardTypeGate(const Bytes& reply);

struct CardTypeTexts {
  std::string_view panel;         // InterpretReply: reader-response panel
  std::string_view caption;       // InterpretReply: CardTypeLabel (stored form, "&&")
  std::string_view fetchCaption;  // FetchCardData: CardTypeLabel
};

// Texts for a reply that is exactly "0".."4", "O" or "6"; nullopt otherwise.
std::optional<CardTypeTexts> CardTypeFor(const Bytes& reply);

// True when digit is "0".."9" or "A".."F" and every bit of mask is set in its value.
bool HexDigitHasBits(char digit, std::uint16_t mask);

// The settings that the "RE1" answer carries, in the order they are applied.
enum class ConfigItem { SSES, LRC, Protocol, CTS, RTS, JIS, SelfArm, Buzzer };

struct ConfigUpdate {
  ConfigItem item;
  std::string_view caption;     // stored form ("No SS&&ES")
  std::optional<int> boxValue;  // check box value 0/1; none for the protocol
};

// Updates for the positions 1, 3 and 6 present in the reply, in table order.
std::vector<ConfigUpdate> DecodeConfigStatus(const Bytes& reply);

}  // namespace tkr::protocol
