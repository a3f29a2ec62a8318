#pragma once
// The primary account number in data from the reader: masking it for display wherever it
// stands, and the fields of the financial card layout (ISO/IEC 7813) of tracks 1 and 2.
#include <optional>
#include <string>

#include "core/protocol/bytes.h"

namespace tkr::protocol {

// Digits of an account number that stay visible at its start and at its end.
constexpr std::size_t kPanShownFirst = 6;
constexpr std::size_t kPanShownLast = 4;
// The longest account number a card carries.
constexpr std::size_t kPanMaxDigits = 19;

// Every digit but the first 6 and the last 4 as '*'. A number of 10 digits or fewer would
// show whole that way, so all of its digits are masked. Other characters stay as they are.
std::string MaskPan(const std::string& pan);

// Any bytes (a track, a swipe of several tracks, a reply, a monitor record) with every
// account number in them masked as MaskPan does: one '*' per hidden digit, nothing else
// changed, the length kept. Numbers are found by the track layouts, whole or cut short:
//   track 1  [%]B<number>^name^...    track 2  [;]<number>=...    track 3  ;<2 digits><number>=...
// and, with no layout around them, as 12 to 19 digits that pass the Luhn check, also inside a
// longer run of digits. Where a number's end cannot be told (its digits run on past 19),
// fewer digits show, never more. A 0x00 inside a number (a break on the line) does not end
// it, and a digit with bit 7 set (7 data bits and parity read at 8) is still a digit.
Bytes MaskCardNumbers(const Bytes& data);

// MaskCardNumbers: the data's own shape, not the track it came from, tells where the
// number is.
Bytes MaskTrack(int track, const Bytes& data);

struct FinancialTrack {
  std::string formatCode;  // "B" on track 1, empty on track 2
  std::string pan;         // as on the card: mask it before showing it
  std::string name;        // track 1 only
  std::string expiry;      // YYMM
  std::string serviceCode;
};

// The fields when the data follows the financial layout of its track (1 or 2), else nullopt.
std::optional<FinancialTrack> ParseFinancialTrack(int track, const Bytes& data);

}  // namespace tkr::protocol
