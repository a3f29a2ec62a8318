#include "core/protocol/card_mask.h"

#include <algorithm>

namespace tkr::protocol {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string& s) { return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit); }

// Where the account number lies in the data: [begin, end), or begin == end when the data
// does not have the layout. Track 1 starts "%B" or "B", track 2 ";" or straight away.
struct Span {
  std::size_t begin = 0, end = 0;
};

Span PanSpan(int track, const Bytes& data) {
  if (track != 1 && track != 2) return {};
  std::size_t at = 0;
  if (track == 1) {
    if (!data.empty() && data[0] == '%') ++at;
    if (at >= data.size() || data[at] != 'B') return {};
    ++at;
  } else if (!data.empty() && data[0] == ';') {
    ++at;
  }
  const std::size_t end = data.find(track == 1 ? '^' : '=', at);
  if (end == Bytes::npos || end == at) return {};
  return {at, end};
}

}  // namespace

std::string MaskPan(const std::string& pan) {
  const auto digits = static_cast<std::size_t>(std::count_if(pan.begin(), pan.end(), IsDigit));
  const bool maskAll = digits <= kPanShownFirst + kPanShownLast;
  std::string out = pan;
  std::size_t seen = 0;
  for (char& c : out) {
    if (!IsDigit(c)) continue;
    const bool shown = seen < kPanShownFirst || seen >= digits - kPanShownLast;
    if (maskAll || !shown) c = '*';
    ++seen;
  }
  return out;
}

Bytes MaskTrack(int track, const Bytes& data) {
  const Span span = PanSpan(track, data);
  if (span.begin == span.end) return data;
  return data.substr(0, span.begin) + MaskPan(data.substr(span.begin, span.end - span.begin)) +
         data.substr(span.end);
}

std::optional<FinancialTrack> ParseFinancialTrack(int track, const Bytes& data) {
  const Span span = PanSpan(track, data);
  if (span.begin == span.end) return std::nullopt;
  FinancialTrack out;
  out.pan = data.substr(span.begin, span.end - span.begin);
  if (!AllDigits(out.pan)) return std::nullopt;
  std::size_t at = span.end + 1;
  if (track == 1) {
    out.formatCode = std::string(1, 'B');
    const std::size_t nameEnd = data.find('^', at);
    if (nameEnd == Bytes::npos) return std::nullopt;
    out.name = data.substr(at, nameEnd - at);
    at = nameEnd + 1;
  }
  if (at + 7 > data.size()) return std::nullopt;
  out.expiry = data.substr(at, 4);
  out.serviceCode = data.substr(at + 4, 3);
  if (!AllDigits(out.expiry) || !AllDigits(out.serviceCode)) return std::nullopt;
  return out;
}

}  // namespace tkr::protocol
namespace tkr::protocol {
Bytes MaskCardNumbers(const Bytes& data) { return MaskTrack(2, MaskTrack(1, data)); }
}
