// tkr520-sim: a TKR520 reader on a pseudo-terminal, driven from stdin one command a line.
// The first line on stdout is the device path to open; everything else goes to stderr,
// except what `received` and `help` are asked to print.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "core/protocol/monitor_format.h"
#include "sim/pty_reader.h"
#include "sim/sim_command.h"

namespace {

using tkr::Bytes;

constexpr const char* kUsage =
    "usage: tkr520-sim [--link PATH] [--config WORDS]... [--unplugged] [--no-stdin]\n"
    "                  [--version] [--help]\n";

constexpr const char* kOptions =
    "  --link PATH      serve at PATH (a symlink to the pseudo-terminal)\n"
    "  --config WORDS   start with these settings, the words config prints, parted by commas\n"
    "                   or spaces: buzzer jis lrc selfarm sses rts cts =0/1, protocol=0..2\n"
    "                   (e.g. buzzer=0,lrc=1,protocol=2); may be given again\n"
    "  --unplugged      start with no pseudo-terminal and no link, until replug\n"
    "  --no-stdin       take no commands; run until SIGINT or SIGTERM\n"
    "  --version        print the version and end\n"
    "  --help           print this and end\n";

constexpr const char* kHelp =
    "commands, one a line:\n"
    "  swipe <track1> <track2> <track3> [type]  + for an empty track, * for a bad one,\n"
    "                                          \\xHH for any byte; type is the T answer (3)\n"
    "  swipe sample <n>                        a sample card:\n"
    "%s"
    "  unplug | replug                         pull or put back the cable\n"
    "  silent | garbage | foreign | normal     how the reader answers; foreign: as a device that\n"
    "                                          is no reader: OK to commands, ERROR to frames\n"
    "  ignore <code>                           ACK frames such as BZ, TK, p1 but keep the setting\n"
    "  vanish <code>                           answer the next command of that code (frame BZ,\n"
    "                                          DF, RE... or byte 9, T, Q, 7F, \\xHH), then hear\n"
    "                                          nothing and unplug when the host writes again or\n"
    "                                          1 s on; once\n"
    "  received [times]                        every command heard, in hex, one a line, then END;\n"
    "                                          times: each led by when it came (us since 1970)\n"
    "  flood <count>                           stream count bytes of any value at once\n"
    "  heard | sent                            the bytes heard from / sent to the host since the\n"
    "                                          last ask, in hex, then END (sent: PENDING if more)\n"
    "  config                                  the settings as --config takes them, then END\n"
    "  help | quit\n";

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

void PrintHelp() {
  const auto& samples = tkr::sim::SampleCards();
  std::string list;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    list += "                                            " + std::to_string(i + 1) + "  " +
            samples[i].name + "\n";
  }
  std::printf(kHelp, list.c_str());
  std::fflush(stdout);
}

std::size_t heardSoFar = 0;  // of the host's bytes, already printed by `heard`

bool Run(tkr::sim::PtyReader& reader, const std::string& line) {
  using Kind = tkr::sim::SimCommand::Kind;
  const tkr::sim::SimCommand command = tkr::sim::ParseSimCommand(line);
  switch (command.kind) {
    case Kind::Nothing:
      break;
    case Kind::Quit:
      return false;
    case Kind::Swipe:
      reader.swipe(command.card);
      break;
    case Kind::Unplug:
      reader.unplug();
      break;
    case Kind::Replug:
      reader.replug();
      break;
    case Kind::SetFault:
      reader.setFault(command.fault);
      break;
    case Kind::Ignore:
      reader.ignore(command.code);
      break;
    case Kind::Vanish:
      reader.vanishAfter(command.code);
      break;
    case Kind::Received:
      if (command.times) {
        const auto units = reader.received();
        const auto at = reader.receivedAtUs();
        for (std::size_t i = 0; i < units.size(); ++i) {
          std::cout << (i < at.size() ? at[i] : 0) << ' ' << tkr::protocol::HexBytes(units[i], " ")
                    << '\n';
        }
      } else {
        for (const Bytes& unit : reader.received())
          std::cout << tkr::protocol::HexBytes(unit, " ") << '\n';
      }
      std::cout << "END" << std::endl;  // lets a script know the list is complete
      break;
    case Kind::Flood:
      reader.flood(command.count);
      break;
    case Kind::Heard: {
      const Bytes raw = reader.receivedRaw();
      std::cout << tkr::protocol::HexBytes(raw.substr(std::min(heardSoFar, raw.size())), " ")
                << "\nEND" << std::endl;
      heardSoFar = raw.size();
      break;
    }
    case Kind::Sent: {
      bool pending = false;
      const Bytes sent = reader.takeSent(&pending);
      std::cout << tkr::protocol::HexBytes(sent, " ") << (pending ? "\nPENDING" : "") << "\nEND"
                << std::endl;
      break;
    }
    case Kind::Config: {
      const tkr::sim::ReaderConfig c = reader.config();
      std::cout << "buzzer=" << c.buzzer << " jis=" << c.jis << " lrc=" << c.lrcIncluded
                << " selfarm=" << c.selfArm << " sses=" << c.ssesIncluded << " rts=" << c.rts
                << " cts=" << c.cts << " protocol=" << c.protocol << "\nEND" << std::endl;
      break;
    }
    case Kind::Help:
      PrintHelp();
      break;
    case Kind::Bad:
      std::cerr << "tkr520-sim: " << command.error << '\n';
      break;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tkr::sim::PtyReader::Options options;
  bool commands = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << kOptions;
      PrintHelp();
      return 0;
    }
    if (arg == "--version") {
      std::cout << "tkr520-sim " << TKR_VERSION << std::endl;
      return 0;
    }
    std::string config;
    if (arg == "--no-stdin") {
      commands = false;
    } else if (arg == "--unplugged") {
      options.unplugged = true;
    } else if (arg == "--config" && i + 1 < argc) {
      config = argv[++i];
    } else if (arg.rfind("--config=", 0) == 0) {
      config = arg.substr(9);
    } else if (arg == "--link" && i + 1 < argc) {
      options.linkPath = argv[++i];
    } else if (arg.rfind("--link=", 0) == 0 && arg.size() > 7) {
      options.linkPath = arg.substr(7);
    } else {
      std::cerr << "tkr520-sim: bad option '" << arg << "'; " << kUsage;
      return 2;
    }
    if (const std::string error = tkr::sim::ApplyConfigWords(config, options.config);
        !error.empty()) {
      std::cerr << "tkr520-sim: --config " << error << '\n';
      return 2;
    }
  }
  if (options.unplugged && !commands) {
    std::cerr << "tkr520-sim: --unplugged needs commands to replug; leave out --no-stdin\n";
    return 2;
  }
  try {
    tkr::sim::PtyReader reader(options);
    std::cout << reader.path() << std::endl;
    CatchStopSignals();
    for (std::string line; commands && !gStop && std::getline(std::cin, line);) {
      try {
        if (!Run(reader, line)) break;
      } catch (const std::exception& e) {
        std::cerr << "tkr520-sim: " << e.what() << '\n';
      }
    }
    // Serving in the background: the reader answers on its own threads. The stop signals stay
    // blocked between the check and the wait, so one arriving in between is not slept through.
    if (!commands) {
      sigset_t stops, before;
      sigemptyset(&stops);
      sigaddset(&stops, SIGINT);
      sigaddset(&stops, SIGTERM);
      sigprocmask(SIG_BLOCK, &stops, &before);
      while (!gStop) sigsuspend(&before);
      sigprocmask(SIG_SETMASK, &before, nullptr);
    }
  } catch (const std::exception& e) {
    std::cerr << "tkr520-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
