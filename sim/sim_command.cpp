#include "sim/sim_command.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "core/protocol/monitor_format.h"

namespace tkr::sim {

namespace {

Track ParseTrack(const std::string& word) {
  if (word == "+") return Track::None();
  if (word == "*") return Track::Bad();
  return Track::Of(UnescapeBytes(word));
}

}  // namespace

Bytes UnescapeBytes(const std::string& text) {
  Bytes out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        protocol::HexDigitValue(text[i + 2]) >= 0 && protocol::HexDigitValue(text[i + 3]) >= 0) {
      out += static_cast<char>(protocol::HexDigitValue(text[i + 2]) * 16 +
                               protocol::HexDigitValue(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

SimCommand ParseSimCommand(const std::string& line) {
  using Kind = SimCommand::Kind;
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  SimCommand out;
  if (words.empty()) return out;
  const std::string& cmd = words[0];
  const auto& samples = SampleCards();

  if (cmd == "quit" || cmd == "exit") {
    out.kind = Kind::Quit;
  } else if (cmd == "swipe" && words.size() == 3 && words[1] == "sample") {
    const int n = std::atoi(words[2].c_str());
    if (n < 1 || n > static_cast<int>(samples.size())) {
      out.kind = Kind::Bad;
      out.error = "no sample card " + words[2] + " (1.." + std::to_string(samples.size()) + ")";
    } else {
      out.kind = Kind::Swipe;
      out.card = samples[static_cast<std::size_t>(n - 1)];
    }
  } else if (cmd == "swipe" && (words.size() == 4 || words.size() == 5)) {
    out.kind = Kind::Swipe;
    out.card = Card{"command line",
                    words.size() == 5 ? words[4][0] : '3',
                    false,
                    {ParseTrack(words[1]), ParseTrack(words[2]), ParseTrack(words[3])}};
  } else if ((cmd == "unplug" || cmd == "replug") && words.size() == 1) {
    out.kind = cmd == "unplug" ? Kind::Unplug : Kind::Replug;
  } else if (cmd == "silent" || cmd == "garbage" || cmd == "foreign" || cmd == "normal") {
    out.kind = Kind::SetFault;
    out.fault = cmd == "silent"    ? Fault::Silent
                : cmd == "garbage" ? Fault::Garbage
                : cmd == "foreign" ? Fault::Foreign
                                   : Fault::Normal;
  } else if (cmd == "ignore" && words.size() == 2 && words[1].size() == 2) {
    out.kind = Kind::Ignore;
    out.code = words[1];
  } else if (cmd == "vanish" && words.size() == 2) {
    // 7F names the warm reset, which has no letter; any other byte is one character or \xHH.
    const Bytes code = words[1] == "7F" ? Bytes(1, '\x7F') : UnescapeBytes(words[1]);
    if (code.empty() || code.size() > 2 || code == "\x09") {
      out.kind = Kind::Bad;
      out.error =
          "vanish needs a frame's code such as BZ or RE, or one command byte such as "
          "9, T or 7F";
    } else {
      out.kind = Kind::Vanish;
      out.code = code;
    }
  } else if (cmd == "received" &&
             (words.size() == 1 || (words.size() == 2 && words[1] == "times"))) {
    out.kind = Kind::Received;
    out.times = words.size() == 2;
  } else if (cmd == "flood" && words.size() == 2) {
    out.kind = Kind::Flood;
    out.count = static_cast<std::size_t>(std::strtoul(words[1].c_str(), nullptr, 10));
  } else if (cmd == "heard" || cmd == "sent" || cmd == "config") {
    out.kind = cmd == "heard" ? Kind::Heard : cmd == "sent" ? Kind::Sent : Kind::Config;
  } else if (cmd == "help") {
    out.kind = Kind::Help;
  } else {
    out.kind = Kind::Bad;
    out.error = "cannot do '" + line + "' (try help)";
  }
  return out;
}

std::string ApplyConfigWords(const std::string& words, ReaderConfig& config) {
  static constexpr std::pair<std::string_view, bool ReaderConfig::*> kSwitches[] = {
      {"buzzer", &ReaderConfig::buzzer},
      {"jis", &ReaderConfig::jis},
      {"lrc", &ReaderConfig::lrcIncluded},
      {"selfarm", &ReaderConfig::selfArm},
      {"sses", &ReaderConfig::ssesIncluded},
      {"rts", &ReaderConfig::rts},
      {"cts", &ReaderConfig::cts}};
  std::string spaced = words;
  std::replace(spaced.begin(), spaced.end(), ',', ' ');
  std::istringstream in(spaced);
  for (std::string word; in >> word;) {
    const std::size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    bool known = false;
    for (const auto& [key, member] : kSwitches) {
      if (name != key) continue;
      if (value != "0" && value != "1") return word + ": give " + name + "=0 or " + name + "=1";
      config.*member = value == "1";
      known = true;
    }
    if (name == "protocol") {
      if (value.size() != 1 || value[0] < '0' || value[0] > '2') {
        return word + ": give protocol=0, 1 or 2";
      }
      config.protocol = value[0] - '0';
      known = true;
    }
    if (!known) return word + ": no such setting (buzzer jis lrc selfarm sses rts cts protocol)";
  }
  return {};
}

}  // namespace tkr::sim
