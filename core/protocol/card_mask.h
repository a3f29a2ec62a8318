#pragma once
// The primary account number in track data: masking it for display, and the fields of the
// financial card layout (ISO/IEC 7813) of tracks 1 and 2.
#include <optional>
#include <string>

#include "core/protocol/bytes.h"

namespace tkr::protocol {

// Digits of an account number that stay visible at its start and at its end.
constexpr std::size_t kPanShownFirst = 6;
constexpr std::size_t kPanShownLast = 4;

// Every digit but the first 6 and the last 4 as '*'. A number of 10 digits or fewer would
// show whole that way, so all of its digits are masked. Other characters stay as they are.
std::string MaskPan(const std::string& pan);

// Track 1 ("B" account number "^") or track 2 (account number "=") data, with or without
// its start sentinel, with the account number masked; any other data comes back unchanged.
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
namespace tkr::protocol {
Bytes MaskCardNumbers(const Bytes& data);  // TEMP until the masking branch lands
}
