// tkr520-sim: a TKR520 reader on a pseudo-terminal, driven from stdin one command a line.
// The first line on stdout is the device path to open; everything else goes to stderr,
// except what `received` and `help` are asked to print.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/pty_reader.h"

namespace {

using tkr::Bytes;
using tkr::sim::Card;
using tkr::sim::Fault;
using tkr::sim::Track;

constexpr const char* kUsage = "usage: tkr520-sim [--link PATH]\n";

constexpr const char* kHelp =
    "commands, one a line:\n"
    "  swipe <track1> <track2> <track3> [type]  + for an empty track, * for a bad one,\n"
    "                                          \\xHH for any byte; type is the T answer (3)\n"
    "  swipe sample <n>                        a sample card:\n"
    "%s"
    "  unplug | replug                         pull or put back the cable\n"
    "  silent | garbage | normal               how the reader answers\n"
    "  flood <count>                           stream count bytes of any value at once\n"
    "  received                                every command heard, in hex, one a line, then END\n"
    "  heard | sent                            the bytes heard from / sent to the host since the\n"
    "                                          last ask, in hex, then END (sent: PENDING if more)\n"
    "  config                                  the configuration, name=0/1 words, then END\n"
    "  help | quit\n";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Bytes Unescape(const std::string& text) {
  Bytes out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

Track ParseTrack(const std::string& word) {
  if (word == "+") return Track::None();
  if (word == "*") return Track::Bad();
  return Track::Of(Unescape(word));
}

std::string Hex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (char c : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
  gStop = 1;
}

// No SA_RESTART: the blocking read of stdin returns, and the link is removed on the way out.
void CatchStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

std::size_t heardSoFar = 0;  // of the host's bytes, already printed by `heard`

bool Run(tkr::sim::PtyReader& reader, const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return true;
  const std::string& cmd = words[0];
  const auto& samples = tkr::sim::SampleCards();

  if (cmd == "quit" || cmd == "exit") return false;
  if (cmd == "swipe" && words.size() == 3 && words[1] == "sample") {
    const int n = std::atoi(words[2].c_str());
    if (n < 1 || n > static_cast<int>(samples.size())) {
      std::cerr << "tkr520-sim: no sample card " << words[2] << " (1.." << samples.size() << ")\n";
    } else {
      reader.swipe(samples[static_cast<std::size_t>(n - 1)]);
    }
  } else if (cmd == "swipe" && (words.size() == 4 || words.size() == 5)) {
    Card card{"command line",
              words.size() == 5 ? words[4][0] : '3',
              false,
              {ParseTrack(words[1]), ParseTrack(words[2]), ParseTrack(words[3])}};
    reader.swipe(card);
  } else if (cmd == "unplug" && words.size() == 1) {
    reader.unplug();
  } else if (cmd == "replug" && words.size() == 1) {
    reader.replug();
  } else if (cmd == "silent" || cmd == "garbage" || cmd == "normal") {
    reader.setFault(cmd == "silent"    ? Fault::Silent
                    : cmd == "garbage" ? Fault::Garbage
                                       : Fault::Normal);
  } else if (cmd == "flood" && words.size() == 2) {
    reader.flood(static_cast<std::size_t>(std::strtoul(words[1].c_str(), nullptr, 10)));
  } else if (cmd == "heard") {
    const Bytes raw = reader.receivedRaw();
    std::cout << Hex(raw.substr(std::min(heardSoFar, raw.size()))) << "\nEND" << std::endl;
    heardSoFar = raw.size();
  } else if (cmd == "sent") {
    bool pending = false;
    const Bytes sent = reader.takeSent(&pending);
    std::cout << Hex(sent) << (pending ? "\nPENDING" : "") << "\nEND" << std::endl;
  } else if (cmd == "config") {
    const tkr::sim::ReaderConfig c = reader.config();
    std::cout << "buzzer=" << c.buzzer << " jis=" << c.jis << " lrc=" << c.lrcIncluded
              << " selfarm=" << c.selfArm << " sses=" << c.ssesIncluded << " rts=" << c.rts
              << " cts=" << c.cts << " protocol=" << c.protocol << "\nEND" << std::endl;
  } else if (cmd == "received") {
    for (const Bytes& unit : reader.received()) std::cout << Hex(unit) << '\n';
    std::cout << "END" << std::endl;  // lets a script know the list is complete
  } else if (cmd == "help") {
    std::string list;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      list += "                                            " + std::to_string(i + 1) + "  " +
              samples[i].name + "\n";
    }
    std::printf(kHelp, list.c_str());
    std::fflush(stdout);
  } else {
    std::cerr << "tkr520-sim: cannot do '" << line << "' (try help)\n";
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tkr::sim::PtyReader::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--link" && i + 1 < argc) {
      options.linkPath = argv[++i];
    } else if (arg.rfind("--link=", 0) == 0 && arg.size() > 7) {
      options.linkPath = arg.substr(7);
    } else {
      std::cerr << "tkr520-sim: bad option '" << arg << "'; " << kUsage;
      return 2;
    }
  }
  try {
    tkr::sim::PtyReader reader(options);
    std::cout << reader.path() << std::endl;
    CatchStopSignals();
    for (std::string line; !gStop && std::getline(std::cin, line);) {
      try {
        if (!Run(reader, line)) break;
      } catch (const std::exception& e) {
        std::cerr << "tkr520-sim: " << e.what() << '\n';
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "tkr520-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
