#include "core/protocol/card_mask.h"

#include <algorithm>
#include <vector>

namespace tkr::protocol {
namespace {

constexpr std::size_t kNone = Bytes::npos;
// The fewest digits the Luhn check alone takes for a card number: shorter runs with no track
// layout around them (dates, counts, settings) are left alone.
constexpr std::size_t kLuhnMinDigits = 12;
// Track 1's cardholder name is at most 26 characters.
constexpr std::size_t kNameMaxChars = 26;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}

// A reader on 7 data bits with parity, read at 8, delivers every character with the parity
// in bit 7; whoever reads the hex still sees the digits, so they are digits here too.
char Seven(char c) {
  return static_cast<char>(static_cast<unsigned char>(c) & 0x7F);
}

bool IsAlnum(char c) {
  c = Seven(c);
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool PanDigitShown(std::size_t index, std::size_t digits) {
  const bool maskAll = digits <= kPanShownFirst + kPanShownLast;
  return !maskAll && (index < kPanShownFirst || index >= digits - kPanShownLast);
}

// Digits next to each other, where a 0x00 between two of them (a break on the line, an unused
// code place) does not part them; and the nearest other byte on each side, kNone at an edge.
struct Run {
  std::vector<std::size_t> digits;
  std::size_t before = kNone;
  std::size_t after = kNone;
};

// Which end of a run certainly belongs to the number: the one next to a sentinel or format
// code, or the one next to the field separator.
enum class Anchor { Start, End };

class Masker {
 public:
  explicit Masker(const Bytes& data) : data_(data), hide_(data.size(), false) {}

  Bytes masked() {
    // The separator after which a track's expiry, service code and discretionary data follow:
    // those digits are no account number, and zero-filled ones would pass the Luhn check.
    std::size_t fieldsAfter = kNone;
    for (std::size_t i = 0; i < data_.size();) {
      if (!IsDigit(at(i))) {
        ++i;
        continue;
      }
      const Run run = runFrom(i);
      i = run.digits.back() + 1;
      if (run.before != kNone && run.before == fieldsAfter) continue;
      const char prev = at(run.before);
      const char next = at(run.after);
      const bool track1 = prev == 'B' && (run.before == 0 || !IsAlnum(data_[run.before - 1]));
      if (track1 || prev == ';') {
        // Track 3 opens with a two-digit format code; no account number starts with 0.
        const bool track3 = !track1 && at(run.digits[0]) == '0';
        hideNumber(run.digits, track3 ? 2 : 0, Anchor::Start);
        if (track1 && next == '^') fieldsAfter = nameEnd(run.after);
        if (!track1 && next == '=') fieldsAfter = run.after;
        continue;
      }
      if (next == '=') {
        // Track 2 or 3 without its start sentinel; a prefix code may have run into it.
        hideNumber(run.digits, 0, Anchor::End);
        fieldsAfter = run.after;
      }
      hideLuhnNumbers(run.digits);
    }
    Bytes out = data_;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (hide_[i]) out[i] = '*';
    }
    return out;
  }

 private:
  char at(std::size_t i) const { return i == kNone ? '\0' : Seven(data_[i]); }

  Run runFrom(std::size_t first) const {
    Run run;
    if (first > 0) {
      std::size_t k = first - 1;
      while (k > 0 && at(k) == '\0') --k;
      if (at(k) != '\0') run.before = k;
    }
    std::size_t j = first;
    for (; j < data_.size() && (IsDigit(at(j)) || at(j) == '\0'); ++j) {
      if (IsDigit(at(j))) run.digits.push_back(j);
    }
    if (j < data_.size()) run.after = j;
    return run;
  }

  // The digits from `from` on are an account number. Past 19 digits its other end is not
  // known, so only the digits at the anchored end may show.
  void hideNumber(const std::vector<std::size_t>& digits, std::size_t from, Anchor anchor) {
    if (from >= digits.size()) return;
    const std::size_t count = digits.size() - from;
    for (std::size_t k = 0; k < count; ++k) {
      const bool shown = count <= kPanMaxDigits    ? PanDigitShown(k, count)
                         : anchor == Anchor::Start ? k < kPanShownFirst
                                                   : k >= count - kPanShownLast;
      if (!shown) hide_[digits[from + k]] = true;
    }
  }

  // Every stretch of 12 to 19 of the digits that passes the Luhn check, wherever it starts:
  // tracks run together or a check character may have joined a number to other digits.
  // A stretch starting with 0 is skipped: no card number does, and zero padding passes.
  void hideLuhnNumbers(const std::vector<std::size_t>& digits) {
    for (std::size_t s = 0; s + kLuhnMinDigits <= digits.size(); ++s) {
      if (at(digits[s]) == '0') continue;
      for (std::size_t len = kLuhnMinDigits; len <= kPanMaxDigits && s + len <= digits.size();
           ++len) {
        if (!passesLuhn(digits, s, len)) continue;
        for (std::size_t k = kPanShownFirst; k < len - kPanShownLast; ++k) {
          hide_[digits[s + k]] = true;
        }
      }
    }
  }

  bool passesLuhn(const std::vector<std::size_t>& digits, std::size_t from,
                  std::size_t count) const {
    int sum = 0;
    for (std::size_t k = 0; k < count; ++k) {
      int d = at(digits[from + count - 1 - k]) - '0';
      if (k % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
      sum += d;
    }
    return sum % 10 == 0;
  }

  // The '^' that ends track 1's name after the one at `caret`, or kNone when the track is cut
  // short or something else follows.
  std::size_t nameEnd(std::size_t caret) const {
    for (std::size_t j = caret + 1; j < data_.size() && j <= caret + 1 + kNameMaxChars; ++j) {
      const char c = at(j);
      if (c == '^') return j;
      if (c < 0x20 || c > 0x5F || c == '%' || c == ';' || c == '?') return kNone;
    }
    return kNone;
  }

  const Bytes& data_;
  std::vector<bool> hide_;
};

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
  std::string out = pan;
  std::size_t seen = 0;
  for (char& c : out) {
    if (!IsDigit(c)) continue;
    if (!PanDigitShown(seen, digits)) c = '*';
    ++seen;
  }
  return out;
}

Bytes MaskCardNumbers(const Bytes& data) {
  return Masker(data).masked();
}

Bytes MaskTrack(int /*track*/, const Bytes& data) {
  return MaskCardNumbers(data);
}

std::optional<FinancialTrack> ParseFinancialTrack(int track, const Bytes& data) {
  const Span span = PanSpan(track, data);
  if (span.begin == span.end) return std::nullopt;
  FinancialTrack out;
  out.pan = data.substr(span.begin, span.end - span.begin);
  // Longer is no card number: MaskPan would then show more than MaskCardNumbers does.
  if (!AllDigits(out.pan) || out.pan.size() > kPanMaxDigits) return std::nullopt;
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
