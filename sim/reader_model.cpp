#include "sim/reader_model.h"

#include <algorithm>
#include <string_view>

#include "core/protocol/frames.h"
#include "core/protocol/monitor_format.h"

namespace tkr::sim {
namespace {

using namespace std::string_literals;
using protocol::HexBytes;
using protocol::HexDigit;

constexpr std::uint8_t kXoff = 0x13;
constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::size_t kCodesPerTrack = 6;

// "BR0".."BR4" and "PT0".."PT4", in the digit's order.
constexpr std::array<int, 5> kBauds = {1200, 2400, 4800, 9600, 19200};
struct Format {
  char parity;
  int dataBits;
};
constexpr std::array<Format, 5> kFormats = {{{'e', 7}, {'o', 7}, {'m', 7}, {'s', 7}, {'n', 8}}};

// Six code bytes as the reader stores them: unused places are 0x00.
Bytes Padded(const Bytes& codes) {
  Bytes out = codes.substr(0, kCodesPerTrack);
  out.resize(kCodesPerTrack, '\0');
  return out;
}

int BaudIndex(const protocol::LineSettings& s) {
  for (std::size_t i = 0; i < kBauds.size(); ++i) {
    if (kBauds[i] == s.baud) return static_cast<int>(i);
  }
  return 3;
}

int FormatIndex(const protocol::LineSettings& s) {
  for (std::size_t i = 0; i < kFormats.size(); ++i) {
    if (kFormats[i].parity == s.parity && kFormats[i].dataBits == s.dataBits) {
      return static_cast<int>(i);
    }
  }
  return 4;
}

// What a command unit is known by: its one byte, or a frame's first two payload bytes.
Bytes UnitCode(const Bytes& unit) {
  if (unit.size() == 1) return unit;
  return unit.size() >= 6 ? unit.substr(3, 2) : Bytes{};
}

// Track 1 is written in 6-bit characters from 0x20, tracks 2 and 3 in 4-bit characters
// from 0x30; the check character is the XOR of every character from SS to ES.
Bytes WithSentinels(int track, const Bytes& data, bool sentinels, bool lrc) {
  const char ss = track == 0 ? '%' : ';';
  const std::uint8_t base = track == 0 ? 0x20 : 0x30;
  const std::uint8_t mask = track == 0 ? 0x3F : 0x0F;
  const Bytes encoded = ss + data + '?';
  int check = 0;
  for (char c : encoded) check ^= (static_cast<std::uint8_t>(c) - base) & mask;
  Bytes out = sentinels ? encoded : data;
  if (lrc) out += static_cast<char>(check + base);
  return out;
}

}  // namespace

bool SameLine(const protocol::LineSettings& a, const protocol::LineSettings& b) {
  return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits;
}

std::string FormatLine(const protocol::LineSettings& s) {
  return std::to_string(s.baud) + ',' + s.parity + ',' + std::to_string(s.dataBits) + ',' +
         std::to_string(s.stopBits);
}

const std::vector<Card>& SampleCards() {
  static const std::vector<Card> cards = {
      {"ISO bank card",
       '3',
       false,
       {Track::Of("B4111111111111111^DOE/JOHN^2512101000000000000000"),
        Track::Of("4111111111111111=25121010000000000000"),
        Track::Of("0112345678901234=724724100000000000030300")}},
      {"Track 2 only",
       '3',
       false,
       {Track::None(), Track::Of("6012345678901234=30011010000"), Track::None()}},
      {"Bad track 3",
       '3',
       false,
       {Track::Of("B5500000000000004^SMITH/ANN^2706101"), Track::Of("5500000000000004=2706101"),
        Track::Bad()}},
      {"JIS card", '4', true, {Track::Of("JIS2 0123456789 ABCDEF"), Track::None(), Track::None()}},
  };
  return cards;
}

ReaderModel::ReaderModel(std::uint32_t seed) : rng_(seed) {}

std::vector<ReaderModel::Reply> ReaderModel::hostWrote(const Bytes& data,
                                                       const protocol::LineSettings& host) {
  if (!hears(host)) {
    ignored_ += data.size();
    return {};
  }
  return hostWrote(data);
}

std::vector<ReaderModel::Reply> ReaderModel::hostWrote(const Bytes& data) {
  std::vector<Reply> replies;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char byte = data[i];
    raw_ += byte;
    Bytes unit;
    if (frame_.empty() && static_cast<std::uint8_t>(byte) != protocol::kLeadByte) {
      unit = Bytes(1, byte);
    } else {
      frame_ += byte;
      if (frame_.size() < 3) continue;
      const std::size_t length = ByteAt(frame_, 1) * 256u + ByteAt(frame_, 2);
      if (frame_.size() < length + 4) continue;  // payload and LRC still to come
      unit.swap(frame_);
    }
    commands_.push_back(unit);
    const bool vanish = !vanishCode_.empty() && UnitCode(unit) == vanishCode_;
    if (vanish) vanishCode_.clear();
    Bytes answer = fault_ == Fault::Foreign ? foreignAnswer(unit) : answerFor(unit);
    if (fault_ == Fault::Silent) answer.clear();
    if (fault_ == Fault::Garbage) answer = garbage();
    if (!answer.empty() || vanish) replies.push_back({i, std::move(answer), vanish});
    if (vanish) break;
  }
  return replies;
}

Bytes ReaderModel::foreignAnswer(const Bytes& unit) {
  return ByteAt(unit, 0) == protocol::kLeadByte ? "ERROR\r\n" : "OK\r\n";
}

Bytes ReaderModel::answerFor(const Bytes& unit) {
  if (unit.size() == 1) return answerSingle(ByteAt(unit, 0));
  const Bytes head = unit.substr(0, unit.size() - 1);
  if (protocol::ComputeLrc(head) != unit.substr(unit.size() - 1)) return "?";
  return answerFrame(unit.substr(3, unit.size() - 4));
}

Bytes ReaderModel::answerSingle(std::uint8_t cmd) {
  switch (cmd) {
    case '9':
      return "TKR510V1.07";
    case protocol::kWarmReset:
      // New line settings take effect here; the power-on report already goes out on them.
      line_ = pendingLine_;
      return ":";
    case 'T':
      return Bytes(1, haveCard_ ? card_.type : '0');
    case 'Q':
    case 'R':
    case 'S':
      return trackText(cmd - 'Q');
    case 'U':
    case 'V':
    case 'W':
      return customData(cmd - 'U', false);
    case 'u':
    case 'v':
    case 'w':
      return customData(cmd - 'u', true);
    case '#':
      return configStatus();
    case '$':
      return "READY";
    case 'P':
    case 'p':
    case 'L':
    case 'l':
    case 'M':
    case 'm':
    case '(':
    case ')':
    case 'Z':
    case 'z':
    case kEsc:
    case kXoff:
    case kXon:
    case '%':
      return "^";
    default:
      return "!";
  }
}

Bytes ReaderModel::answerFrame(const Bytes& payload) {
  if (payload.size() < 2) return "!";
  const std::string_view code(payload.data(), 2);
  const bool threeBytes = payload.size() == 3;
  const char arg = threeBytes ? payload[2] : '\0';
  if (std::find(ignoredCodes_.begin(), ignoredCodes_.end(), code) != ignoredCodes_.end()) {
    return "^";
  }

  static constexpr std::pair<std::string_view, bool ReaderConfig::*> kToggles[] = {
      {"BZ", &ReaderConfig::buzzer},       {"JH", &ReaderConfig::jis},
      {"LC", &ReaderConfig::lrcIncluded},  {"SA", &ReaderConfig::selfArm},
      {"ES", &ReaderConfig::ssesIncluded}, {"RT", &ReaderConfig::rts},
      {"CT", &ReaderConfig::cts}};
  for (const auto& [name, member] : kToggles) {
    if (code == name && threeBytes && (arg == 'E' || arg == 'D')) {
      config_.*member = arg == 'E';
      return "^";
    }
  }
  if (threeBytes && code == "TK" && arg >= '1' && arg <= '7') {
    config_.trackMask = arg - '0';
    return "^";
  }
  if (threeBytes && code == "PC" && arg >= '1' && arg <= '3') {
    config_.protocol = arg - '1';
    return "^";
  }
  // Line changes wait for the warm reset: the host must first learn them and reopen.
  if (threeBytes && code == "BR" && arg >= '0' && arg <= '4') {
    pendingLine_.baud = kBauds[static_cast<std::size_t>(arg - '0')];
    return "^";
  }
  if (threeBytes && code == "PT" && arg >= '0' && arg <= '4') {
    const Format& f = kFormats[static_cast<std::size_t>(arg - '0')];
    pendingLine_.parity = f.parity;
    pendingLine_.dataBits = f.dataBits;
    pendingLine_.stopBits = 1;
    return "^";
  }
  if (payload == "DF\0"s) {
    config_ = ReaderConfig{};
    pendingLine_ = protocol::LineSettings{};
    return "^";
  }
  if (payload == "RE\0"s) return eepromText();
  if (payload == "RE1") return configStatus();
  if (payload == "RE2") return codesText();
  if (payload == "RE3") return "RS-232";
  if ((code[0] == 'p' || code[0] == 's') && code[1] >= '1' && code[1] <= '3') {
    auto& slot = (code[0] == 'p' ? config_.prefix : config_.suffix)[code[1] - '1'];
    if (threeBytes && arg == '\0') {
      slot.clear();
      return "^";
    }
    if (payload.size() == 2 + kCodesPerTrack) {
      slot = payload.substr(2);
      std::erase(slot, '\0');  // 0x00 marks an unused place
      return "^";
    }
    return "!";
  }
  if (code == "SP" && threeBytes) {
    config_.separator = arg == '\0' ? ReaderConfig{}.separator : Bytes(1, arg);
    return "^";
  }
  return "!";
}

Bytes ReaderModel::swipe(const Card& card) {
  if (fault_ == Fault::Foreign) return {};
  haveCard_ = true;
  card_ = card;
  if (card.jis && !config_.jis) {
    // The ISO heads see nothing on a JIS II stripe.
    card_.type = '0';
    card_.tracks = {Track::None(), Track::None(), Track::None()};
  }
  if (fault_ == Fault::Silent) return {};
  if (fault_ == Fault::Garbage) return garbage();
  Bytes out;
  bool first = true;
  for (int t = 0; t < 3; ++t) {
    if (!(config_.trackMask & (1 << t))) continue;
    if (!first) out += config_.separator;
    first = false;
    out += config_.prefix[t] + trackText(t) + config_.suffix[t];
  }
  return out + '\r';
}

Bytes ReaderModel::trackText(int track) const {
  if (!haveCard_) return "+";
  const Track& t = card_.tracks[static_cast<std::size_t>(track)];
  switch (t.state) {
    case Track::State::Empty:
      return "+";
    case Track::State::Error:
      return "*";
    case Track::State::Data:
      break;
  }
  return WithSentinels(track, t.data, config_.ssesIncluded, config_.lrcIncluded);
}

Bytes ReaderModel::customData(int track, bool reversed) const {
  Bytes text = trackText(track);
  if (text == "+" || text == "*") return text;
  if (reversed) std::reverse(text.begin(), text.end());
  return config_.prefix[track] + text + config_.suffix[track];
}

Bytes ReaderModel::configStatus() const {
  const int protocolBits = config_.protocol == 0 ? 0 : config_.protocol == 1 ? 8 : 12;
  Bytes s(8, '0');
  s[0] = HexDigit((config_.ssesIncluded ? 8 : 0) | (config_.lrcIncluded ? 0 : 4));
  s[2] = HexDigit(protocolBits | (config_.rts ? 2 : 0) | (config_.cts ? 1 : 0));
  s[4] = HexDigit(config_.trackMask);
  s[5] = HexDigit((config_.jis ? 8 : 0) | (config_.selfArm ? 4 : 0) | (config_.buzzer ? 1 : 0));
  s[6] = HexDigit(BaudIndex(line_));
  s[7] = HexDigit(FormatIndex(line_));
  return s;
}

Bytes ReaderModel::codesText() const {
  Bytes codes;
  for (const auto& p : config_.prefix) codes += Padded(p);
  for (const auto& s : config_.suffix) codes += Padded(s);
  return HexBytes(codes + config_.separator);
}

Bytes ReaderModel::eepromText() const {
  // The settings bytes as RE1 reports them, then the prefix/suffix/separator codes.
  const Bytes status = configStatus();
  Bytes image;
  for (int i : {0, 2, 4, 5, 6, 7}) {
    const char c = status[static_cast<std::size_t>(i)];
    image += static_cast<char>(protocol::HexDigitValue(c));
  }
  return HexBytes(image) + codesText();
}

Bytes ReaderModel::garbage() {
  std::uniform_int_distribution<int> length(1, 64);
  std::uniform_int_distribution<int> value(0, 255);
  Bytes out(static_cast<std::size_t>(length(rng_)), '\0');
  for (char& c : out) c = static_cast<char>(value(rng_));
  return out;
}

}  // namespace tkr::sim
